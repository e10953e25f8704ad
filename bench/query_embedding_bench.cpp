// Client-side query embedding of a RECOMMEND with 1,000 TEXT inputs (statements per second): the
// collection walk plus the write-back, and the four steps with a fake embedder answering at once.
#include <benchmark/benchmark.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <memory>
#include <string>
#include <vector>

#include "core/parser/parser.h"
#include "embed/embedding_cursor.h"
#include "embed/fake_query_embedder.h"
#include "embed/query_embedding.h"

namespace {

using zorv::embed::EmbeddingCursor;
using zorv::embed::EmbeddingJob;
using zorv::embed::EmbeddingOutput;

constexpr std::size_t kInputs = 1000;
constexpr std::size_t kDimension = 64;

zorv::core::Query recommend_query() {
    std::string text = "QUERY RECOMMEND POSITIVE (";
    for (std::size_t i = 0; i < kInputs; ++i)
        text += (i ? ", TEXT 'red shoes " : "TEXT 'red shoes ") + std::to_string(i) + "'";
    text += ") FROM docs USING v AS DENSE LIMIT 10";
    auto statement = zorv::core::parse_statement(text);
    return statement ? *statement->get<zorv::core::StatementKind::Query>() : zorv::core::Query{};
}

std::shared_ptr<zorv::test_support::FakeQueryEmbedder> fake_embedder() {
    auto embedder = std::make_shared<zorv::test_support::FakeQueryEmbedder>();
    embedder->dense = [](const std::string&) { return zorv::embed::DenseVector(kDimension, 0.125F); };
    return embedder;
}

std::vector<EmbeddingOutput> canned_outputs() {
    return std::vector<EmbeddingOutput>(kInputs, EmbeddingOutput::dense(zorv::embed::DenseVector(kDimension, 0.125F)));
}

void query_embedding_collect_write_back(benchmark::State& state) {
    const zorv::core::Query source = recommend_query();
    const std::vector<EmbeddingOutput> outputs = canned_outputs();
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        zorv::core::Query query = source;
        EmbeddingCursor cursor{{}, outputs};
        state.ResumeTiming();
        ok = ok && zorv::embed::check_query_vector_kinds(query, cursor.jobs, 0).has_value();
        ok = ok && zorv::embed::start_query_write_back(query, cursor).has_value();
        ok = ok && zorv::embed::finish_embedding_cursor(std::move(cursor)).has_value();
        benchmark::DoNotOptimize(query);
    }
    if (!ok) state.SkipWithError("an embedding step failed");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(query_embedding_collect_write_back);

boost::asio::awaitable<bool> embed_steps(std::shared_ptr<const zorv::embed::Embedder> embedder,
                                         zorv::core::Query* query) {
    std::vector<EmbeddingJob> jobs;
    if (!zorv::embed::check_query_vector_kinds(*query, jobs, 0)) co_return false;
    auto outputs = co_await zorv::embed::resolve_query_embeddings(std::move(embedder), jobs);
    if (!outputs) co_return false;
    EmbeddingCursor cursor{std::move(jobs), std::move(*outputs)};
    if (!zorv::embed::start_query_write_back(*query, cursor)) co_return false;
    co_return zorv::embed::finish_embedding_cursor(std::move(cursor)).has_value();
}

void query_embedding_steps(benchmark::State& state) {
    const zorv::core::Query source = recommend_query();
    auto embedder = fake_embedder();
    boost::asio::io_context context;
    bool ok = true;
    for (auto _ : state) {
        state.PauseTiming();
        zorv::core::Query query = source;
        embedder->calls.clear();
        state.ResumeTiming();
        boost::asio::co_spawn(context, embed_steps(embedder, &query),
                              [&ok](const std::exception_ptr& error, bool out) { ok = ok && !error && out; });
        context.run();
        context.restart();
        benchmark::DoNotOptimize(query);
    }
    if (!ok) state.SkipWithError("an embedding step failed");
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(query_embedding_steps);

}  // namespace
