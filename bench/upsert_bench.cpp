// Compile of a bulk UPSERT: 100 points of 1536 dimensions (~3 MB of body text), planned, written
// as the value-form body and printed as compact text. Bytes are those of the body text.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <string>

#include "core/error.h"
#include "core/parser/parser.h"
#include "plan/batch.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/point_body.h"

namespace {

constexpr int kPoints = 100;
constexpr int kDims = 1536;

std::string upsert_text() {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> value(-1.0F, 1.0F);
    std::string text = "UPSERT INTO docs VALUES ";
    for (int p = 0; p < kPoints; ++p) {
        if (p > 0) text += ", ";
        text += "{id: " + std::to_string(p) + ", vector: [";
        for (int d = 0; d < kDims; ++d) {
            if (d > 0) text += ", ";
            zorv::plan::write_json_f32(text, value(rng));
        }
        text += "], title: 'document " + std::to_string(p) + "', rank: " + std::to_string(p) + "}";
    }
    return text;
}

zorv::core::Statement upsert_statement() {
    auto statement = zorv::core::parse_statement(upsert_text());
    if (!statement) std::abort();
    return std::move(*statement);
}

// Plan, value-form body, compact text: what `compile` does for the statement.
void BM_UpsertCompile(benchmark::State& state) {
    const zorv::core::Statement statement = upsert_statement();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto op = zorv::plan::plan_statement(statement);
        if (!op) {
            state.SkipWithError(zorv::core::format_error(op.error()).c_str());
            return;
        }
        const std::string text =
            zorv::plan::json_text(zorv::plan::upsert_body_to_value(op->get<zorv::plan::PlanOpKind::Upsert>().request));
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.counters["body_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_UpsertCompile)->Unit(benchmark::kMillisecond);

// The text form straight from the plan, as the REST backend writes an update batch.
void BM_UpsertTextBody(benchmark::State& state) {
    auto op = zorv::plan::plan_statement(upsert_statement());
    if (!op) {
        state.SkipWithError(zorv::core::format_error(op.error()).c_str());
        return;
    }
    const auto operation = zorv::plan::to_update_operation(*op)->second;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string text;
        zorv::plan::write_update_operation_body(text, operation);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_UpsertTextBody)->Unit(benchmark::kMillisecond);

}  // namespace
