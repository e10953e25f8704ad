// The executor's own work around a dispatch: a schema-cache hit (read lock, lookup, reference
// count), and the client-side rerank orders over the hits of several candidate searches.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/executor.h"
#include "runtime/executor/rerank_order.h"
#include "runtime/executor/schema_cache.h"

namespace {

using namespace zorv;

void BM_SchemaCacheHit(benchmark::State& state) {
    auto executor = runtime::build_executor(nullptr, std::nullopt, nullptr);
    for (int i = 0; i < 1000; ++i) {
        executor->schema_cache.insert("collection_" + std::to_string(i),
                                      runtime::SchemaCacheEntry{std::make_shared<protocol::CollectionSchema>(),
                                                                std::make_shared<embed::VectorNameLists>()});
    }
    const std::string wanted = "collection_517";
    for (auto _ : state) benchmark::DoNotOptimize(runtime::cached_schema(*executor, wanted));
}
BENCHMARK(BM_SchemaCacheHit);

// Four candidates over two collections, state.range(0) hits each, every hit with a document.
void BM_RerankOrders(benchmark::State& state) {
    const auto per_candidate = static_cast<std::size_t>(state.range(0));
    std::vector<plan::QueryOp> candidates(4);
    for (std::size_t c = 0; c < candidates.size(); ++c) candidates[c].collection = c % 2 == 0 ? "docs_b" : "docs_a";
    runtime::RerankCandidates collected;
    std::vector<double> scores;
    for (std::size_t c = 0; c < candidates.size(); ++c) {
        for (std::size_t i = 0; i < per_candidate; ++i) {
            protocol::ScoredPoint hit;
            hit.id = static_cast<std::uint64_t>((i * 7919) % (per_candidate * 2));
            hit.payload = protocol::HitPayload{{"text", plan::JsonValue("document text")}};
            collected.hits.push_back(std::move(hit));
            collected.origins.push_back(c);
            scores.push_back(static_cast<double>((i * 31) % 97) / 97.0);
        }
    }
    for (auto _ : state) {
        auto order = runtime::candidate_hit_positions(candidates, collected);
        std::size_t texts = 0;
        for (std::size_t position : order) texts += runtime::document_text(collected.hits[position], "text") ? 1 : 0;
        benchmark::DoNotOptimize(texts);
        benchmark::DoNotOptimize(runtime::score_order(scores));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * collected.hits.size()));
}
BENCHMARK(BM_RerankOrders)->Arg(25)->Arg(250);

}  // namespace
