// The four embedding steps as the executor runs them, then planning and compiling: statements with
// client-embedded inputs compile to the requests of statements written with the vectors.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/parser/parser.h"
#include "embed/embedding_cursor.h"
#include "embed/fake_query_embedder.h"
#include "embed/http_embedder.h"
#include "embed/query_embedding.h"
#include "embed/query_vector_kinds.h"
#include "net/loopback_server.h"
#include "net/run_awaitable.h"
#include "plan/compile_route.h"
#include "plan/json_write.h"
#include "plan/planner.h"

namespace zorv::embed {
namespace {

using test_support::FakeQueryEmbedder;

core::Statement parse(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement) << text << ": " << (statement ? "" : statement.error().message);
    return statement ? *statement : core::Statement{};
}

// Resolution against `names` (when the query asks for it), collection, embedding, write-back, finish.
core::Result<void> embed_query(core::Query& query, const VectorNameLists& names,
                               std::shared_ptr<const Embedder> embedder) {
    if (query_needs_client_embedding(query)) ZORV_CHECK(resolve_query_vector_names(query, "docs", names));
    std::vector<EmbeddingJob> jobs;
    ZORV_CHECK(check_query_vector_kinds(query, jobs, 0));
    auto outputs = zorv::test_support::run_awaitable(resolve_query_embeddings(std::move(embedder), jobs));
    if (!outputs) return core::fail(core::Diag::Embedding, "did not finish");
    if (!*outputs) return std::unexpected(std::move(*outputs).error());
    EmbeddingCursor cursor{std::move(jobs), std::move(**outputs)};
    ZORV_CHECK(start_query_write_back(query, cursor));
    return finish_embedding_cursor(std::move(cursor));
}

// The compiled body, or "CODE: message".
std::string compiled_body(const core::Statement& statement) {
    auto route = plan::compile_route(statement);
    if (!route) return route.error().code + ": " + route.error().message;
    const auto* request = std::get_if<plan::RestRequest>(&route->target);
    if (request == nullptr || !request->body) return "no body";
    return plan::json_text(*request->body);
}

std::string embedded_body(const std::string& text, const VectorNameLists& names,
                          std::shared_ptr<const Embedder> embedder) {
    core::Statement statement = parse(text);
    auto embedded = embed_query(*statement.get<core::StatementKind::Query>(), names, std::move(embedder));
    if (!embedded) return embedded.error().code + ": " + embedded.error().message;
    return compiled_body(statement);
}

TEST(QueryEmbeddingPlan, DenseTextBecomesTheAnsweredVector) {
    auto embedder = std::make_shared<FakeQueryEmbedder>();
    EXPECT_EQ(embedded_body("QUERY TEXT 'red shoes' FROM docs USING d LIMIT 3", {{"d"}, {"s"}, {}}, embedder),
              R"({"limit":3,"query":{"nearest":[0.5,0.25]},"using":"d","with_payload":true})");
    const std::vector<test_support::FakeCall> calls{{"embed_dense_batch", "default", {"red shoes"}}};
    EXPECT_EQ(embedder->calls, calls);
}

TEST(QueryEmbeddingPlan, SparseTextIsEncodedLocallyWithoutARequest) {
    zorv::test_support::LoopbackServer service(zorv::test_support::CannedReply{500, "{}"});
    HttpEmbedderConfig config;
    config.endpoint = service.url();
    config.model = "mini";
    config.dimension = 2;
    auto embedder = build_http_embedder(config);
    ASSERT_TRUE(embedder) << embedder.error().message;
    EXPECT_EQ(embedded_body("QUERY TEXT 'The cats' FROM docs USING s LIMIT 3", {{"d"}, {"s"}, {}}, *embedder),
              R"({"limit":3,"query":{"nearest":{"indices":[1751422759],"values":[1.0]}},"using":"s",)"
              R"("with_payload":true})");
    EXPECT_TRUE(service.requests().empty());
}

// The server-side plan of a HYBRID with the two stage inputs replaced by the vectors.
TEST(QueryEmbeddingPlan, HybridPlansAsOnTheServerButForTheStageInputs) {
    const std::string text =
        "QUERY HYBRID 'red shoes' DENSE d SPARSE s FROM docs WHERE city = 'x' PARAMS (hnsw_ef = 64, rrf_k = 60) "
        "SCORE THRESHOLD 0.1 LIMIT 7";
    auto embedder = std::make_shared<FakeQueryEmbedder>();
    core::Statement statement = parse(text);
    ASSERT_TRUE(embed_query(*statement.get<core::StatementKind::Query>(), {{"d"}, {"s"}, {}}, embedder));
    auto client_side = plan::plan_statement(statement);
    auto server_side = plan::plan_statement(parse(text));
    ASSERT_TRUE(client_side) << client_side.error().message;
    ASSERT_TRUE(server_side) << server_side.error().message;
    auto& stages = server_side->get<plan::PlanOpKind::Query>().request.prefetch;
    ASSERT_EQ(stages.size(), 2U);
    stages[0].query = plan::PlanQuery{
        plan::PlanQuery::Nearest{plan::PlanQueryInput{core::VectorValue{core::VectorValue::Dense{{0.5F, 0.25F}}}},
                                 std::nullopt}};
    stages[1].query = plan::PlanQuery{
        plan::PlanQuery::Nearest{plan::PlanQueryInput{core::VectorValue{core::VectorValue::Sparse{{7}, {1.0F}}}},
                                 std::nullopt}};
    EXPECT_EQ(*client_side, *server_side);
    EXPECT_EQ(compiled_body(statement),
              R"({"filter":{"must":[{"key":"city","match":{"value":"x"}}]},"limit":7,"params":{"hnsw_ef":64},)"
              R"("prefetch":[{"filter":{"must":[{"key":"city","match":{"value":"x"}}]},"limit":70,)"
              R"("params":{"hnsw_ef":64},"query":{"nearest":[0.5,0.25]},"score_threshold":0.1,"using":"d"},)"
              R"({"filter":{"must":[{"key":"city","match":{"value":"x"}}]},"limit":70,"params":{"hnsw_ef":64},)"
              R"("query":{"nearest":{"indices":[7],"values":[1.0]}},"score_threshold":0.1,"using":"s"}],)"
              R"("query":{"rrf":{"k":60}},"score_threshold":0.1,"with_payload":true})");
}

}  // namespace
}  // namespace zorv::embed
