// UPSERT embedding of 1,000 rows with a Hybrid target: dense vectors from an in-process fake (384
// wide), sparse vectors from the local BM25 encoder. Items are rows.
#include <benchmark/benchmark.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <cstdlib>
#include <string>

#include "core/parser/parser.h"
#include "embed/bm25_config.h"
#include "embed/bm25_encoder.h"
#include "embed/fake_embedder.h"
#include "embed/upsert_embedding.h"

namespace {

constexpr int kRows = 1000;

// Fake dense vectors, real BM25 document vectors.
class HybridBenchEmbedder final : public zorv::embed::test_support::FakeEmbedder {
public:
    HybridBenchEmbedder() : encoder_(zorv::embed::build_bm25_encoder(*zorv::embed::build_bm25_config({}))) {
        width = 384;
    }

    zorv::embed::AsyncResult<std::vector<zorv::embed::SparseVector>> embed_sparse_document_batch(
        std::string /*model*/, std::vector<std::string> texts) const override {
        std::vector<zorv::embed::SparseVector> out;
        out.reserve(texts.size());
        for (const std::string& text : texts) {
            auto encoded = zorv::embed::encode_document(encoder_, text);
            if (!encoded) co_return std::unexpected(std::move(encoded.error()));
            out.push_back(std::move(*encoded));
        }
        co_return out;
    }

private:
    zorv::embed::Bm25Encoder encoder_;
};

zorv::core::Upsert hybrid_upsert() {
    std::string text = "UPSERT INTO docs VALUES ";
    for (int row = 0; row < kRows; ++row) {
        if (row > 0) text += ", ";
        text += "{id: " + std::to_string(row) + ", title: 'Running shoes number " + std::to_string(row) +
                " for trail and road, light and waterproof'}";
    }
    text += " USING HYBRID DENSE INTO dense SPARSE INTO sparse";
    auto statement = zorv::core::parse_statement(text);
    if (!statement) std::abort();
    return *statement->get<zorv::core::StatementKind::Upsert>();
}

void upsert_embedding_hybrid(benchmark::State& state) {
    const zorv::core::Upsert source = hybrid_upsert();
    HybridBenchEmbedder embedder;
    boost::asio::io_context context;
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        zorv::core::Upsert upsert = source;
        state.ResumeTiming();
        boost::asio::co_spawn(
            context,
            [](const HybridBenchEmbedder* e, zorv::core::Upsert* u, bool* ok_out) -> boost::asio::awaitable<void> {
                auto out = co_await zorv::embed::resolve_upsert_embeddings(*e, *u);
                *ok_out = *ok_out && out.has_value();
            }(&embedder, &upsert, &ok),
            boost::asio::detached);
        context.run();
        context.restart();
        embedder.calls.clear();
        benchmark::DoNotOptimize(upsert);
    }
    if (!ok) state.SkipWithError("the embedding failed");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * kRows);
}
BENCHMARK(upsert_embedding_hybrid)->Unit(benchmark::kMillisecond);

}  // namespace
