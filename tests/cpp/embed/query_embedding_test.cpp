#include "embed/query_embedding.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/parser/parser.h"
#include "embed/fake_query_embedder.h"
#include "net/run_awaitable.h"
#include "test_support.h"

namespace zorv::embed {
namespace {

using test_support::FakeCall;
using test_support::FakeQueryEmbedder;

core::Query parse_query(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement && statement->kind() == core::StatementKind::Query)
        << text << ": " << (statement ? "" : statement.error().message);
    if (!statement || statement->kind() != core::StatementKind::Query) return {};
    return *statement->get<core::StatementKind::Query>();
}

// "kind/model/input; ..." of the collected jobs, or "CODE: message".
std::string collected(const std::string& text) {
    std::vector<EmbeddingJob> jobs;
    auto out = check_query_vector_kinds(parse_query(text), jobs, 0);
    if (!out) return out.error().code + ": " + out.error().message;
    std::string rendered;
    for (const EmbeddingJob& job : jobs) {
        if (!rendered.empty()) rendered += "; ";
        rendered += std::string(embed_kind_name(job.kind)) + "/" + job.model + "/" + job.input;
    }
    return rendered;
}

struct CollectCase {
    std::string text;
    std::string expected;
};

void PrintTo(const CollectCase& c, std::ostream* os) { *os << c.text; }

class CollectJobs : public testing::TestWithParam<CollectCase> {};

TEST_P(CollectJobs, InWalkOrderOrFail) { EXPECT_EQ(collected(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Cases, CollectJobs,
    testing::Values(
        CollectCase{"QUERY POINTS (1) FROM docs", ""}, CollectCase{"QUERY TEXT 'x' FROM docs", "dense/default/x"},
        CollectCase{"QUERY RECOMMEND POSITIVE (TEXT 'a', POINT 1, [1.0]) NEGATIVE (TEXT 'b' MODEL 'm') FROM docs "
                    "USING v AS MULTI",
                    "multi/default/a; multi/m/b"},
        CollectCase{"QUERY CONTEXT (POSITIVE TEXT 'p' NEGATIVE TEXT 'n') FROM docs USING s AS SPARSE",
                    "sparse/default/p; sparse/default/n"},
        // A RERANK's own MODEL is its input's default; its PREFETCH comes after it.
        CollectCase{"QUERY RERANK TEXT 'q' MODEL 'r' FROM docs USING v AS DENSE PREFETCH (QUERY TEXT 'p' USING s AS "
                    "SPARSE)",
                    "dense/r/q; sparse/default/p"},
        CollectCase{"QUERY HYBRID TEXT 'x' MODEL 'm' DENSE d SPARSE s FROM docs", "dense/m/x; sparse/m/x"},
        CollectCase{"QUERY HYBRID TEXT 'x' DENSE d SPARSE s FROM docs", "dense/default/x; sparse/default/x"},
        // CTEs first, in declaration order, then the node, then its inline PREFETCH queries.
        CollectCase{"WITH c AS (QUERY TEXT 'c' USING v AS DENSE) QUERY FUSION RRF FROM docs PREFETCH (c, QUERY IMAGE "
                    "'i.png' USING v AS DENSE)",
                    "dense/default/c; image/default/i.png"},
        CollectCase{"QUERY TEXT 'x' FROM docs USING v",
                    "ZORV-VECTOR-KIND: vector kind for 'v' is unknown; use `USING v AS DENSE|SPARSE|MULTI` or resolve "
                    "kinds from the collection schema before embedding"},
        CollectCase{"QUERY RERANK TEXT 'q' MODEL 'r' FROM docs USING v AS SPARSE PREFETCH (QUERY [1.0])",
                    "ZORV-VECTOR-KIND: RERANK requires a dense (or multivector) target, not sparse"},
        CollectCase{"QUERY IMAGE 'i.png' FROM docs USING v AS SPARSE",
                    "ZORV-VECTOR-KIND: IMAGE input requires a dense target, not sparse"},
        CollectCase{"QUERY IMAGE 'i.png' FROM docs USING v AS MULTI",
                    "ZORV-VECTOR-KIND: IMAGE input produces single-vector dense, not multivector; use TEXT with AS "
                    "MULTI for ColBERT"},
        CollectCase{"QUERY TEXT 'x' OPTIONS {lang: 'en'} FROM docs",
                    "ZORV-EMBEDDING: OPTIONS on TEXT requires server-side inference; the configured client embedder "
                    "cannot honor it. Remove the OPTIONS clause or detach the client embedder"},
        CollectCase{"QUERY IMAGE 'i.png' OPTIONS {size: 3} FROM docs USING v AS SPARSE",
                    "ZORV-EMBEDDING: OPTIONS on IMAGE requires server-side inference; the configured client embedder "
                    "cannot honor it. Remove the OPTIONS clause or detach the client embedder"},
        CollectCase{"QUERY TEXT :q FROM docs",
                    "ZORV-EMBEDDING: cannot client-embed TEXT with an unbound parameter; bind the statement before "
                    "embedding"},
        CollectCase{"QUERY HYBRID TEXT :q DENSE d SPARSE s FROM docs",
                    "ZORV-EMBEDDING: cannot client-embed TEXT with an unbound parameter; bind the statement before "
                    "embedding"},
        CollectCase{"QUERY HYBRID TEXT 'x' DENSE d SPARSE s FROM docs LIMIT 1844674407370955162",
                    "ZORV-VALIDATION-LIMIT-OVERFLOW: hybrid query LIMIT 1844674407370955162 overflows the candidate "
                    "limit (LIMIT * 10); reduce LIMIT"}));

std::string nested_prefetch(std::size_t levels) {
    using core::test_support::repeat;
    return "QUERY TEXT 'x' FROM docs USING v AS DENSE" + repeat(" PREFETCH (QUERY TEXT 'x' USING v AS DENSE", levels) +
           repeat(")", levels);
}

TEST(CollectJobs, SixtyFourNestedPrefetchLevelsPassSixtyFiveFail) {
    std::vector<EmbeddingJob> jobs;
    EXPECT_TRUE(check_query_vector_kinds(parse_query(nested_prefetch(64)), jobs, 0));
    EXPECT_EQ(jobs.size(), 65U);
    jobs.clear();
    auto deeper = check_query_vector_kinds(parse_query(nested_prefetch(65)), jobs, 0);
    ASSERT_FALSE(deeper);
    EXPECT_EQ(deeper.error().code, "ZORV-VALIDATION-NESTING");
    EXPECT_EQ(deeper.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(deeper.error().message,
              "query nesting exceeds the supported depth of 64 levels; flatten the CTE / PREFETCH chain");
}

core::Result<std::vector<EmbeddingOutput>> resolve(const std::shared_ptr<FakeQueryEmbedder>& embedder,
                                                   std::vector<EmbeddingJob> jobs) {
    auto out = zorv::test_support::run_awaitable(resolve_query_embeddings(embedder, std::move(jobs)));
    if (!out) return core::fail(core::Diag::Embedding, "did not finish");
    return std::move(*out);
}

TEST(ResolveEmbeddings, OneCallPerKindAndModelInAscendingModelOrder) {
    auto embedder = std::make_shared<FakeQueryEmbedder>();
    embedder->dense = [](const std::string& text) { return DenseVector{static_cast<float>(text.size())}; };
    const std::vector<EmbeddingJob> jobs{{"b", "t", EmbedKind::Dense},
                                         {"s", "sparse", EmbedKind::Sparse},
                                         {"a", "tt", EmbedKind::Dense},
                                         {"i", "img", EmbedKind::Image},
                                         {"b", "ttt", EmbedKind::Dense}};
    auto outputs = resolve(embedder, jobs);
    ASSERT_TRUE(outputs) << outputs.error().message;
    const std::vector<FakeCall> expected_calls{{"embed_dense_batch", "a", {"tt"}},
                                               {"embed_dense_batch", "b", {"t", "ttt"}},
                                               {"embed_sparse_query_batch", "s", {"sparse"}},
                                               {"embed_image_batch", "i", {"img"}}};
    EXPECT_EQ(embedder->calls, expected_calls);
    const std::vector<EmbeddingOutput> expected{EmbeddingOutput::dense({1.0F}), EmbeddingOutput::sparse({{7}, {1.0F}}),
                                                EmbeddingOutput::dense({2.0F}), EmbeddingOutput::image({3.0F}),
                                                EmbeddingOutput::dense({3.0F})};
    EXPECT_EQ(*outputs, expected);
}

TEST(ResolveEmbeddings, NoJobsNoCall) {
    auto embedder = std::make_shared<FakeQueryEmbedder>();
    auto outputs = resolve(embedder, {});
    ASSERT_TRUE(outputs);
    EXPECT_TRUE(outputs->empty());
    EXPECT_TRUE(embedder->calls.empty());
}

TEST(ResolveEmbeddings, EmbedderErrorPassesUnchangedAndStopsTheCalls) {
    auto embedder = std::make_shared<FakeQueryEmbedder>();
    embedder->failure = core::make_error(core::Diag::EmbeddingUnavailable, "down");
    auto outputs = resolve(embedder, {{"a", "x", EmbedKind::Dense}, {"b", "y", EmbedKind::Dense}});
    ASSERT_FALSE(outputs);
    EXPECT_EQ(outputs.error().code, "ZORV-EMBEDDING-UNAVAILABLE");
    EXPECT_EQ(outputs.error().message, "down");
    EXPECT_EQ(embedder->calls.size(), 1U);
}

struct CountCase {
    EmbedKind kind;
    std::string code;
    std::string message;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << embed_kind_name(c.kind); }

class ResolveCounts : public testing::TestWithParam<CountCase> {};

TEST_P(ResolveCounts, TooFewResultsFailWithTheKindsMessage) {
    auto embedder = std::make_shared<FakeQueryEmbedder>();
    embedder->answer_count = 2;
    const EmbedKind kind = GetParam().kind;
    auto outputs = resolve(embedder, {{"default", "x", kind}, {"default", "y", kind}, {"default", "z", kind}});
    ASSERT_FALSE(outputs);
    EXPECT_EQ(outputs.error().code, GetParam().code);
    EXPECT_EQ(outputs.error().kind, core::ErrorKind::Execution);
    EXPECT_EQ(outputs.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ResolveCounts,
    testing::Values(CountCase{EmbedKind::Dense, "ZORV-EMBEDDING",
                              "embed_dense_batch returned 2 vectors for 3 texts (model=default)"},
                    CountCase{EmbedKind::Sparse, "ZORV-EMBEDDING-SPARSE",
                              "embed_sparse_query_batch returned 2 vectors for 3 texts (model=default)"},
                    CountCase{EmbedKind::Multi, "ZORV-EMBEDDING-MULTI",
                              "embed_multi_batch returned 2 bags for 3 texts (model=default)"},
                    CountCase{EmbedKind::Image, "ZORV-EMBEDDING-IMAGE",
                              "embed_image_batch returned 2 vectors for 3 sources (model=default)"}));

TEST(GroupByModel, StableGroupsInByteOrderWithAProperPrefixFirst) {
    const std::string b = "b";
    const std::string a = "a";
    const std::string ab = "ab";
    const std::string none;
    const std::vector<std::vector<std::size_t>> expected{{3}, {1}, {4}, {0, 2}};
    EXPECT_EQ(group_by_model({&b, &a, &b, &none, &ab}), expected);
    const std::vector<std::vector<std::size_t>> one{{0, 1}};
    EXPECT_EQ(group_by_model({&b, &b}), one);
}

}  // namespace
}  // namespace zorv::embed
