// QUERY compile throughput: parse, plan and route of the query corpus, statements per second.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "alloc_count.h"
#include "core/parser/parser.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/route.h"

namespace {

using namespace zorv;

// The corpus lines that compile without parameters, as applications send them.
std::vector<std::string> query_corpus() {
    std::ifstream in(ZORV_BENCH_DATA_DIR "/query_corpus.zorv");
    std::vector<std::string> kept;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.starts_with("--")) continue;
        auto statement = core::parse_statement(line);
        if (!statement) continue;
        auto op = plan::plan_statement(*statement);
        if (!op || !plan::plan_to_rest_request(*op)) continue;
        kept.push_back(line);
    }
    return kept;
}

// Items per second, and the heap allocations per statement as a counter beside them.
class StatementCounters {
public:
    explicit StatementCounters(std::size_t statements) : statements_(statements) {}
    void finish(benchmark::State& state) const {
        const auto items = static_cast<double>(state.iterations()) * static_cast<double>(statements_);
        state.SetItemsProcessed(static_cast<std::int64_t>(items));
        const auto allocations = static_cast<double>(bench::allocations_on_this_thread() - start_);
        state.counters["allocs_per_statement"] = items > 0 ? allocations / items : 0.0;
    }

private:
    std::size_t statements_;
    std::uint64_t start_ = bench::allocations_on_this_thread();
};

// The parse alone, to tell the stages apart.
void BM_QueryCorpusParse(benchmark::State& state) {
    const std::vector<std::string> corpus = query_corpus();
    const StatementCounters counters(corpus.size());
    for (auto _ : state) {
        for (const std::string& text : corpus) benchmark::DoNotOptimize(core::parse_statement(text));
    }
    counters.finish(state);
}
BENCHMARK(BM_QueryCorpusParse);

// Parse and plan.
void BM_QueryCorpusPlan(benchmark::State& state) {
    const std::vector<std::string> corpus = query_corpus();
    const StatementCounters counters(corpus.size());
    for (auto _ : state) {
        for (const std::string& text : corpus) {
            auto statement = core::parse_statement(text);
            benchmark::DoNotOptimize(plan::plan_statement(*statement));
        }
    }
    counters.finish(state);
}
BENCHMARK(BM_QueryCorpusPlan);

void BM_QueryCorpusCompile(benchmark::State& state) {
    const std::vector<std::string> corpus = query_corpus();
    if (corpus.empty()) {
        state.SkipWithError("no compilable query corpus lines");
        return;
    }
    const StatementCounters counters(corpus.size());
    for (auto _ : state) {
        for (const std::string& text : corpus) {
            auto statement = core::parse_statement(text);
            auto op = plan::plan_statement(*statement);
            auto request = plan::plan_to_rest_request(*op);
            benchmark::DoNotOptimize(request);
        }
    }
    counters.finish(state);
}
BENCHMARK(BM_QueryCorpusCompile);

// The same with the body written as the text sent on the wire.
void BM_QueryCorpusCompileToText(benchmark::State& state) {
    const std::vector<std::string> corpus = query_corpus();
    if (corpus.empty()) {
        state.SkipWithError("no compilable query corpus lines");
        return;
    }
    std::string body;
    const StatementCounters counters(corpus.size());
    for (auto _ : state) {
        for (const std::string& text : corpus) {
            auto statement = core::parse_statement(text);
            auto op = plan::plan_statement(*statement);
            auto request = plan::plan_to_rest_request(*op);
            body.clear();
            if (request->body) plan::write_json(body, *request->body);
            benchmark::DoNotOptimize(body);
        }
    }
    counters.finish(state);
}
BENCHMARK(BM_QueryCorpusCompileToText);

}  // namespace
