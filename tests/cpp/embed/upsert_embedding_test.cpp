// UPSERT rows getting vectors from their text and image fields, through a recording embedder.
#include "embed/upsert_embedding.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "core/fmt/statement.h"
#include "embed/embedding_dimension.h"
#include "embed/fake_embedder.h"
#include "embed/http_embedder.h"
#include "net/loopback_server.h"
#include "net/run_awaitable.h"
#include "plan/compile_route.h"
#include "plan/json_write.h"
#include "plan/rest/route.h"
#include "test_support.h"

namespace zorv::embed {
namespace {

using core::StatementKind;
using core::test_support::must_parse;
using test_support::FakeCall;
using test_support::FakeEmbedder;

core::Result<void> run(boost::asio::awaitable<core::Result<void>> work) {
    auto out = zorv::test_support::run_awaitable(std::move(work));
    if (!out) return std::unexpected(core::ZorvError("TEST", "did not finish", core::ErrorKind::Execution));
    return *out;
}

core::Result<void> resolve(const Embedder& embedder, core::Upsert& upsert) {
    return run(resolve_upsert_embeddings(embedder, upsert));
}

// The rows in canonical statement text on one line, the clauses dropped, to compare outcomes compactly.
std::string rows_text(core::Upsert upsert) {
    upsert.embedding.reset();
    upsert.embed.clear();
    std::string text = core::format_statement(core::Statement{std::move(upsert)});
    for (std::size_t at = text.find("\n  "); at != std::string::npos; at = text.find("\n  ", at)) {
        text.replace(at, 3, " ");
    }
    return text;
}

// --- default dense embedding and the EMBED clauses -----------------------------------------------

struct ResolveCase {
    const char* name;
    const char* statement;
    std::vector<FakeCall> calls;
    const char* rows;  // canonical text after the rewrite
};

void PrintTo(const ResolveCase& c, std::ostream* os) { *os << c.name; }

class UpsertEmbeddingResolves : public testing::TestWithParam<ResolveCase> {};

TEST_P(UpsertEmbeddingResolves, OneCallPerTargetInStatementOrder) {
    const ResolveCase& c = GetParam();
    core::Upsert upsert = must_parse<StatementKind::Upsert>(c.statement);
    FakeEmbedder embedder;
    ASSERT_TRUE(resolve(embedder, upsert));
    EXPECT_EQ(embedder.calls, c.calls);
    EXPECT_EQ(rows_text(upsert), c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpsertEmbeddingResolves,
    testing::Values(
        ResolveCase{"default_text_keys",
                    "UPSERT INTO d VALUES {id: 1, Text: 'a'}, {id: 2, title: ''}, {id: 3, vector: [1.0], body: 'x'}",
                    {{"embed_dense_batch", {"a"}, "default"}},
                    "UPSERT INTO d VALUES {id: 1, vector: {dense: [1.0, 0.5]}, Text: 'a'}, {id: 2, title: ''}, "
                    "{id: 3, vector: [1.0], body: 'x'}"},
        ResolveCase{"number_moves_on_to_next_key",
                    "UPSERT INTO d VALUES {id: 1, text: 5, body: 'bb'}",
                    {{"embed_dense_batch", {"bb"}, "default"}},
                    "UPSERT INTO d VALUES {id: 1, vector: {dense: [2.0, 0.5]}, text: 5, body: 'bb'}"},
        ResolveCase{"no_text_no_call",
                    "UPSERT INTO d VALUES {id: 1, n: 'x'}, ?",
                    {},
                    "UPSERT INTO d VALUES {id: 1, n: 'x'}, ?"},
        ResolveCase{"embed_key_ignores_case_number_gives_no_input",
                    "UPSERT INTO d VALUES {id: 1, Body: 'abc'}, {id: 2, body: 3, text: 'late'} "
                    "EMBED body INTO v USING DENSE MODEL 'm'",
                    {{"embed_dense_batch", {"abc"}, "m"}},
                    "UPSERT INTO d VALUES {id: 1, vector: {v: [3.0, 0.5]}, Body: 'abc'}, {id: 2, body: 3, text: "
                    "'late'}"},
        ResolveCase{"clauses_in_order_rows_with_vectors_included",
                    "UPSERT INTO d VALUES {id: 1, vector: {v: [9.0]}, t: 'ab'}, {id: 2, t: 'c', p: 'img'} "
                    "EMBED t INTO v, t INTO s USING SPARSE, t INTO m USING MULTI, p INTO i USING IMAGE MODEL 'clip', "
                    "nothing INTO z",
                    {{"embed_dense_batch", {"ab", "c"}, "default"},
                     {"embed_sparse_document_batch", {"ab", "c"}, "default"},
                     {"embed_multi_batch", {"ab", "c"}, "default"},
                     {"embed_image_batch", {"img"}, "clip"}},
                    "UPSERT INTO d VALUES {id: 1, vector: {v: [2.0, 0.5], s: {indices: [2], values: [1.0]}, m: "
                    "[[2.0, 0.5], [2.0, 0.5]]}, t: 'ab'}, {id: 2, vector: {v: [1.0, 0.5], s: {indices: [1], "
                    "values: [1.0]}, m: [[1.0, 0.5], [1.0, 0.5]], i: [3.0, 0.5]}, t: 'c', p: 'img'}"},
        ResolveCase{"hybrid_dense_then_sparse",
                    "UPSERT INTO d VALUES {id: 1, a: 'x', b: 'yy'} USING HYBRID DENSE MODEL 'dm' INTO dv ON a "
                    "SPARSE INTO sv ON b",
                    {{"embed_dense_batch", {"x"}, "dm"}, {"embed_sparse_document_batch", {"yy"}, "default"}},
                    "UPSERT INTO d VALUES {id: 1, vector: {dv: [1.0, 0.5], sv: {indices: [2], values: [1.0]}}, "
                    "a: 'x', b: 'yy'}"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- failures ------------------------------------------------------------------------------------

struct FailCase {
    const char* name;
    const char* statement;
    std::size_t missing;  // results the embedder leaves out
    std::size_t calls;    // embedder calls made before the failure
    const char* code;
    const char* message;
};

void PrintTo(const FailCase& c, std::ostream* os) { *os << c.name; }

class UpsertEmbeddingFails : public testing::TestWithParam<FailCase> {};

TEST_P(UpsertEmbeddingFails, WithCodeAndMessage) {
    const FailCase& c = GetParam();
    core::Upsert upsert = must_parse<StatementKind::Upsert>(c.statement);
    FakeEmbedder embedder;
    embedder.missing = c.missing;
    auto out = resolve(embedder, upsert);
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error().code, c.code);
    EXPECT_EQ(out.error().kind, core::ErrorKind::Execution);
    EXPECT_EQ(out.error().message, c.message);
    EXPECT_EQ(embedder.calls.size(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpsertEmbeddingFails,
    testing::Values(
        FailCase{"duplicate_clause_even_without_input", "UPSERT INTO d VALUES {id: 1} EMBED t INTO v, u INTO v", 0, 0,
                 "ZORV-EMBEDDING", "duplicate target vector 'v' in UPSERT embedding clauses"},
        FailCase{"clause_repeats_using_vector",
                 "UPSERT INTO d VALUES {id: 1, text: 'a'} USING DENSE MODEL 'm' INTO v EMBED text INTO v", 0, 1,
                 "ZORV-EMBEDDING", "duplicate target vector 'v' in UPSERT embedding clauses"},
        FailCase{"unnamed_target", "UPSERT INTO d VALUES {id: 1, text: 'a'} USING DENSE MODEL 'm' INTO ''", 0, 1,
                 "ZORV-EMBEDDING", "cannot embed into an unnamed vector target; name the target vector"},
        FailCase{"row_with_unnamed_vector", "UPSERT INTO d VALUES {id: 1, vector: [1.0], t: 'a'} EMBED t INTO v", 0, 1,
                 "ZORV-EMBEDDING",
                 "cannot add named vector 'v' to a point that already has an unnamed vector; provide an explicit "
                 "named-vector topology or omit EMBED for this point"},
        FailCase{"dense_count", "UPSERT INTO d VALUES {id: 1, t: 'a'}, {id: 2, t: 'b'}, {id: 3, t: 'c'} EMBED t INTO v",
                 1, 1, "ZORV-EMBEDDING", "embed_dense_batch returned 2 vectors for 3 texts (model=default)"},
        FailCase{"sparse_count", "UPSERT INTO d VALUES {id: 1, t: 'a'} EMBED t INTO v USING SPARSE MODEL 'bm'", 1, 1,
                 "ZORV-EMBEDDING", "embed_sparse_document_batch returned 0 vectors for 1 texts (model=bm)"},
        FailCase{"multi_count", "UPSERT INTO d VALUES {id: 1, t: 'a'} EMBED t INTO v USING MULTI", 1, 1,
                 "ZORV-EMBEDDING-MULTI", "embed_multi_batch returned 0 bags for 1 texts (model=default)"},
        FailCase{"image_count", "UPSERT INTO d VALUES {id: 1, t: 'a'} EMBED t INTO v USING IMAGE", 1, 1,
                 "ZORV-EMBEDDING-IMAGE", "embed_image_batch returned 0 vectors for 1 sources (model=default)"},
        FailCase{"image_no_field", "UPSERT INTO d VALUES {id: 1, a: 1, b: 2}, ?, {id: 3, a: 1, c: 'x'} USING IMAGE", 0,
                 0, "ZORV-EMBEDDING",
                 "USING IMAGE MODEL specified but no text payload field found. Expected one of: image, image_path, "
                 "image_url, photo, picture, img, path, url. Found fields: a, b, c"},
        FailCase{"dense_no_field_only_first_five_rows",
                 "UPSERT INTO d VALUES {id: 1, a: 1}, {id: 2, a: 1}, {id: 3, b: 1}, {id: 4, b: 1}, {id: 5, c: 1}, "
                 "{id: 6, z: 1} USING DENSE",
                 0, 0, "ZORV-EMBEDDING",
                 "USING DENSE MODEL specified but no text payload field found. Expected one of: text, body, content, "
                 "title, description, name, summary, document. Found fields: a, b, c"},
        FailCase{"hybrid_sparse_field_missing",
                 "UPSERT INTO d VALUES {id: 1, d: 'x', t: 2} USING HYBRID DENSE ON d SPARSE ON s", 0, 0,
                 "ZORV-EMBEDDING",
                 "USING SPARSE MODEL specified with ON FIELD 's' but no matching text payload field found. Found "
                 "fields: d, t"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpsertEmbedding, EmptyMultivectorFailsWhenItsTurnComes) {
    core::Upsert upsert =
        must_parse<StatementKind::Upsert>("UPSERT INTO d VALUES {id: 1, t: 'a'} EMBED t INTO m USING MULTI");
    FakeEmbedder embedder;
    embedder.empty_multi = true;
    auto out = resolve(embedder, upsert);
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error().code, "ZORV-EMBEDDING-MULTI");
    EXPECT_EQ(out.error().message, "embed_multi returned an empty multivector");
}

// The parser refuses repeated keys; rows from bound parameters may still carry them.
TEST(UpsertEmbedding, EmbedSourceFirstEntryDecidesEvenWhenALaterOneHoldsText) {
    core::Upsert upsert =
        must_parse<StatementKind::Upsert>("UPSERT INTO d VALUES {id: 1, body: 3, other: 'late'} EMBED body INTO v");
    std::get<core::UpsertRow::Point>(upsert.points[0].value).payload[1].first = "BODY";
    FakeEmbedder embedder;
    ASSERT_TRUE(resolve(embedder, upsert));
    EXPECT_TRUE(embedder.calls.empty());
    EXPECT_FALSE(std::get<core::UpsertRow::Point>(upsert.points[0].value).vectors);
}

TEST(UpsertEmbedding, PutNamedVectorReplacesAnEntryOfTheSameName) {
    core::Upsert upsert =
        must_parse<StatementKind::Upsert>("UPSERT INTO d VALUES {id: 1, vector: {a: [1.0], v: [7.0]}}");
    const core::VectorValue value{core::VectorValue::Dense{{4.0F}}};
    ASSERT_TRUE(put_named_vector(upsert.points[0], "v", value));
    ASSERT_TRUE(put_named_vector(upsert.points[0], "w", value));
    EXPECT_EQ(rows_text(upsert), "UPSERT INTO d VALUES {id: 1, vector: {a: [1.0], v: [4.0], w: [4.0]}}");
}

TEST(UpsertEmbedding, ClaimedVectorsAreComparedByteForByte) {
    std::vector<std::string> claimed;
    ASSERT_TRUE(claim_target_vector(claimed, "v"));
    ASSERT_TRUE(claim_target_vector(claimed, "V"));
    EXPECT_FALSE(claim_target_vector(claimed, "v"));
    EXPECT_EQ(claimed, (std::vector<std::string>{"v", "V"}));
}

TEST(UpsertEmbedding, AnswersOfTheWrongLengthFailTheDimensionCheck) {
    core::Upsert upsert = must_parse<StatementKind::Upsert>("UPSERT INTO docs VALUES {id: 1, text: 'hello'}");
    FakeEmbedder embedder;
    embedder.width = 3;
    ASSERT_TRUE(resolve(embedder, upsert));
    protocol::CollectionSchema schema;
    schema.schema.vectors.push_back({.name = "dense", .size = 4});
    auto checked = check_embedding_dimension(upsert, schema);
    ASSERT_FALSE(checked);
    EXPECT_EQ(checked.error().code, "ZORV-EMBEDDING-DIM");
    EXPECT_EQ(checked.error().message,
              "embedding dimension mismatch for collection 'docs' vector 'dense': model produced 3, collection "
              "expects 4");
}

TEST(UpsertEmbedding, TwoDenseVectorsLeaveNoTargetToInfer) {
    protocol::CollectionSchema schema;
    schema.schema.vectors.push_back({.name = "a", .size = 4});
    schema.schema.vectors.push_back({.name = "b", .size = 4});
    const VectorNameLists lists = vector_name_lists(schema);
    auto target = infer_embedding_targets("docs", lists.dense, lists.sparse, lists.multivector);
    ASSERT_FALSE(target);
    EXPECT_EQ(target.error().code, "ZORV-EMBEDDING-TOPOLOGY");
    EXPECT_EQ(target.error().message,
              "cannot infer text embedding targets for collection 'docs': 2 dense and 0 sparse vectors. Add USING "
              "DENSE/SPARSE/HYBRID/MULTI or explicit EMBED directives");
}

// --- the whole road for a local BM25 sparse vector -----------------------------------------------

protocol::CollectionSchema sparse_only_schema() {
    protocol::CollectionSchema schema;
    schema.schema.sparse_vectors.push_back({.name = "s", .index = std::nullopt, .modifier = std::nullopt});
    return schema;
}

TEST(UpsertEmbedding, LocalSparseEmbeddingCompilesToThePointsRequest) {
    zorv::test_support::LoopbackServer server(zorv::test_support::CannedReply{500, "{}"});
    HttpEmbedderConfig config;
    config.endpoint = server.url();
    config.model = "mini";
    config.dimension = 4;
    auto embedder = build_http_embedder(config);
    ASSERT_TRUE(embedder);
    core::Statement statement =
        must_parse("UPSERT INTO docs VALUES {id: 1, body: 'cats'} EMBED body INTO s USING SPARSE");
    auto& upsert = *statement.get<StatementKind::Upsert>();
    const protocol::CollectionSchema schema = sparse_only_schema();
    apply_single_vector_name(upsert, schema);
    ASSERT_TRUE(resolve_embedding_targets(upsert, vector_name_lists(schema)));
    ASSERT_TRUE(resolve(**embedder, upsert));
    ASSERT_TRUE(check_embedding_dimension(upsert, schema));
    EXPECT_TRUE(server.requests().empty());

    auto route = plan::compile_route(statement);
    ASSERT_TRUE(route) << core::format_error(route.error());
    const auto* request = std::get_if<plan::RestRequest>(&route->target);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->method, plan::HttpMethod::Put);
    EXPECT_EQ(request->path, "/collections/docs/points");
    EXPECT_EQ(request->query, (plan::QueryParams{{"wait", "true"}}));
    ASSERT_TRUE(request->body);
    EXPECT_EQ(plan::json_text(*request->body),
              R"({"points":[{"id":1,"payload":{"body":"cats"},"vector":{"s":{"indices":[1751422759],)"
              R"("values":[1.6877434253692627]}}}]})");

    core::Upsert named_model = must_parse<StatementKind::Upsert>(
        "UPSERT INTO docs VALUES {id: 1, body: 'cats'} EMBED body INTO s USING SPARSE MODEL 'bm25'");
    auto refused = resolve(**embedder, named_model);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, "ZORV-EMBEDDING-SPARSE");
}

}  // namespace
}  // namespace zorv::embed
