// Lexer throughput on a realistic mixed script of about 1 MiB.
#include <benchmark/benchmark.h>

#include "core/lexer.h"
#include "corpus.h"

namespace {

void BM_LexAll(benchmark::State& state) {
    const std::string script = zorv::bench::mixed_script(1 << 20);
    std::size_t tokens = 0;
    for (auto _ : state) {
        auto result = zorv::core::lex_all(script);
        if (!result) {
            state.SkipWithError(zorv::core::format_error(result.error()).c_str());
            return;
        }
        tokens = result->size();
        benchmark::DoNotOptimize(result->data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * script.size()));
    state.counters["tokens"] = static_cast<double>(tokens);
    state.counters["tokens/s"] =
        benchmark::Counter(static_cast<double>(tokens), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LexAll)->Unit(benchmark::kMillisecond);

}  // namespace
