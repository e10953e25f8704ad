#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

#include "core/error.h"
#include "core/parser/parser.h"
#include "plan/compile_route.h"
#include "plan/json_write.h"
#include "plan/rest/route.h"

namespace zorv::plan {
namespace {

struct RouteCase {
    const char* text;
    const char* stmt_type;
    HttpMethod method;
    const char* path;
    const char* body;  // compact value-form text; nullptr when the request has none
};

void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.text; }

class RouteTable : public testing::TestWithParam<RouteCase> {};

TEST_P(RouteTable, CompilesStatementToRequest) {
    const RouteCase& c = GetParam();
    auto statement = core::parse_statement(c.text);
    ASSERT_TRUE(statement) << core::format_error(statement.error());
    auto route = compile_route(*statement);
    ASSERT_TRUE(route) << core::format_error(route.error());
    EXPECT_EQ(route->stmt_type, c.stmt_type);
    const auto* request = std::get_if<RestRequest>(&route->target);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->method, c.method);
    EXPECT_EQ(request->path, c.path);
    EXPECT_TRUE(request->query.empty());
    if (c.body == nullptr) {
        EXPECT_FALSE(request->body.has_value());
    } else {
        ASSERT_TRUE(request->body.has_value());
        EXPECT_EQ(json_text(*request->body), c.body);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RouteTable,
    testing::Values(
        RouteCase{"SHOW COLLECTIONS", "show_collections", HttpMethod::Get, "/collections", nullptr},
        RouteCase{"SHOW COLLECTION 'My Coll'", "show_collection", HttpMethod::Get, "/collections/My%20Coll", nullptr},
        RouteCase{"SHOW SHARD KEYS ON COLLECTION 'a/b'", "show_shard_keys", HttpMethod::Get,
                  "/collections/a%2Fb/shards", nullptr},
        RouteCase{"SHOW QUOTAS", "show_quotas", HttpMethod::Get, "/quotas", nullptr},
        RouteCase{"DROP COLLECTION 'my-coll'", "drop_collection", HttpMethod::Delete, "/collections/my-coll", nullptr},
        RouteCase{"DROP INDEX ON COLLECTION c FOR city", "drop_index", HttpMethod::Delete, "/collections/c/index/city",
                  nullptr},
        RouteCase{"DROP INDEX ON COLLECTION 'my docs' FOR 'x/../..'", "drop_index", HttpMethod::Delete,
                  "/collections/my%20docs/index/x%2F..%2F..", nullptr},
        RouteCase{"CREATE SHARD KEY 'eu' ON COLLECTION docs", "create_shard_key", HttpMethod::Put,
                  "/collections/docs/shards", R"({"shard_key":"eu"})"},
        RouteCase{"CREATE SHARD KEY 'us-east' ON COLLECTION t WITH (SHARDS_NUMBER = 2, replication_factor = 3, "
                  "placement = [1, 2, 5], initial_state = 'partialsnapshot')",
                  "create_shard_key", HttpMethod::Put, "/collections/t/shards",
                  R"({"initial_state":"PartialSnapshot","placement":[1,2,5],"replication_factor":3,)"
                  R"("shard_key":"us-east","shards_number":2})"},
        RouteCase{"DROP SHARD KEY 7 ON COLLECTION docs", "drop_shard_key", HttpMethod::Post,
                  "/collections/docs/shards/delete", R"({"shard_key":7})"}));

struct SegmentCase {
    const char* name;
    const char* encoded;
};

void PrintTo(const SegmentCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class PathSegment : public testing::TestWithParam<SegmentCase> {};

TEST_P(PathSegment, KeepsOnlyUnreservedBytes) { EXPECT_EQ(encode_path_segment(GetParam().name), GetParam().encoded); }

INSTANTIATE_TEST_SUITE_P(Names, PathSegment,
                         testing::Values(SegmentCase{"AZaz09-._~", "AZaz09-._~"}, SegmentCase{"a b", "a%20b"},
                                         SegmentCase{"a/b", "a%2Fb"}, SegmentCase{"..", ".."},
                                         SegmentCase{"100%?#", "100%25%3F%23"}, SegmentCase{"\xC3\xA9", "%C3%A9"},
                                         SegmentCase{"\x7F\x01+", "%7F%01%2B"}));

TEST(QueryParams, TimeoutBeforeConsistencyEachWhenSet) {
    EXPECT_EQ(timeout_consistency_params(5, Consistency::majority()),
              (QueryParams{{"timeout", "5"}, {"consistency", "majority"}}));
    EXPECT_EQ(timeout_consistency_params(0, Consistency::factor(2)),
              (QueryParams{{"timeout", "0"}, {"consistency", "2"}}));
    EXPECT_EQ(timeout_consistency_params(std::nullopt, Consistency::quorum()),
              (QueryParams{{"consistency", "quorum"}}));
    EXPECT_EQ(timeout_consistency_params(std::nullopt, std::nullopt), QueryParams{});
    EXPECT_EQ(consistency_param(Consistency::all()), "all");
    QueryParams query = wait_param(false);
    push_timeout_consistency_params(query, 12, std::nullopt);
    EXPECT_EQ(query, (QueryParams{{"wait", "false"}, {"timeout", "12"}}));
    EXPECT_EQ(wait_param(true), (QueryParams{{"wait", "true"}}));
}

struct ErrorCase {
    const char* name;
    RouteError error;
    const char* code;
    const char* message;
    core::ErrorKind kind;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class RouteErrorToError : public testing::TestWithParam<ErrorCase> {};

TEST_P(RouteErrorToError, OneRowPerVariant) {
    const ErrorCase& c = GetParam();
    const core::ZorvError error = route_error_to_error(c.error);
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message, c.message);
    EXPECT_EQ(error.kind, c.kind);
    EXPECT_FALSE(error.span.has_value());
    EXPECT_TRUE(error.fields.empty());
    EXPECT_EQ(error.cause, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Variants, RouteErrorToError,
    testing::Values(
        ErrorCase{"client_side", RouteError{RouteError::ClientSide{"cross_rerank"}}, "ZORV-REST-CLIENT-SIDE",
                  "cross_rerank is client-side and has no single Qdrant REST route; execute via the runtime "
                  "client-side path",
                  core::ErrorKind::Validation},
        ErrorCase{"overwrite", RouteError{RouteError::OverwriteBatchOnly{}}, "ZORV-REST-OVERWRITE-BATCH-ONLY",
                  "OVERWRITE has no single Qdrant REST route: POST /points/payload is merge-only; run the statement "
                  "inside a BATCH block (POST /points/batch with overwrite_payload)",
                  core::ErrorKind::Validation},
        ErrorCase{"multi_step", RouteError{RouteError::MultiStep{"create_collection"}}, "ZORV-REST-MULTI-STEP",
                  "create_collection projects to a multi-step REST sequence (a conditional PATCH and/or per-key "
                  "shard writes); it has no single Qdrant REST route",
                  core::ErrorKind::Validation},
        ErrorCase{"batch_invariant", RouteError{RouteError::BatchInvariant{"members differ"}}, "ZORV-BATCH-INVARIANT",
                  "members differ", core::ErrorKind::Execution},
        ErrorCase{"serialize", RouteError{RouteError::Serialize{"payload too deep"}}, "ZORV-PLAN-SERIALIZE",
                  "plan IR REST request body serialization failed: payload too deep", core::ErrorKind::Execution}));

TEST(BatchRouteError, KeepsOnlyTheMessage) {
    core::ZorvError error("ZORV-X", "members differ", core::ErrorKind::Validation);
    error.add_field("k", "v").set_cause(core::ZorvError("ZORV-Y", "inner", core::ErrorKind::Parse));
    EXPECT_EQ(batch_route_error(std::move(error)), RouteError{RouteError::BatchInvariant{"members differ"}});
}

// Operations the planner cannot produce yet are built here directly.
TEST(CompiledRoutes, RoutesWithoutRequestShowNulls) {
    const auto rerank = compile_op_route(make_op<PlanOpKind::CrossRerank>());
    ASSERT_TRUE(rerank);
    EXPECT_EQ(json_text(route_to_json(*rerank)),
              R"({"method":null,"path":null,"payload":null,"stmt_type":"cross_rerank"})");
}

TEST(CompiledRoutes, ShowsMethodPathAndPayloadButNoQuery) {
    auto statement = core::parse_statement("DROP SHARD KEY 'eu' ON COLLECTION 'a b'");
    ASSERT_TRUE(statement);
    const auto route = compile_route(*statement);
    ASSERT_TRUE(route);
    EXPECT_EQ(json_text(route_to_json(*route)),
              R"({"method":"POST","path":"/collections/a%20b/shards/delete","payload":{"shard_key":"eu"},)"
              R"("stmt_type":"drop_shard_key"})");
}

TEST(CompiledRoutes, PlanningErrorsComeBackUnchanged) {
    struct Case {
        const char* text;
        const char* code;
    };
    for (const Case& c : {Case{"DROP COLLECTION '..'", "ZORV-PLAN-PATH-NAME"},
                          Case{"DROP SHARD KEY :k ON COLLECTION docs", "ZORV-BIND-MISSING-PARAM"},
                          Case{"DROP INDEX ON COLLECTION c FOR '.'", "ZORV-PLAN-PATH-NAME"}}) {
        auto statement = core::parse_statement(c.text);
        ASSERT_TRUE(statement) << c.text;
        const auto route = compile_route(*statement);
        ASSERT_FALSE(route) << c.text;
        EXPECT_EQ(route.error().code, c.code) << c.text;
    }
}

TEST(RouteNames, BatchNamedByItsMembers) {
    PlanBatch queries{"c", {}};
    queries.members.push_back(make_op<PlanOpKind::Query>(QueryOp{"c"}));
    EXPECT_EQ(route_name(make_op<PlanOpKind::Batch>(queries)), "query_batch");
    PlanBatch updates{"c", {}};
    updates.members.push_back(make_op<PlanOpKind::Delete>(PointSelectionOp{"c"}));
    EXPECT_EQ(route_name(make_op<PlanOpKind::Batch>(updates)), "update_batch");
    EXPECT_EQ(route_name(make_op<PlanOpKind::GetPoints>()), "points");
    EXPECT_EQ(route_name(make_op<PlanOpKind::AlterCollection>()), "update_collection");
}

TEST(QueryBatchRoute, OneSearchPerMember) {
    auto statement = core::parse_statement(
        "BATCH { QUERY [0.5] FROM docs USING dense LIMIT 1; QUERY [0.25] FROM docs USING dense LIMIT 2 }");
    ASSERT_TRUE(statement) << core::format_error(statement.error());
    auto route = compile_route(*statement);
    ASSERT_TRUE(route) << core::format_error(route.error());
    EXPECT_EQ(route->stmt_type, "query_batch");
    const auto* request = std::get_if<RestRequest>(&route->target);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->method, HttpMethod::Post);
    EXPECT_EQ(request->path, "/collections/docs/points/query/batch");
    EXPECT_TRUE(request->query.empty());
    ASSERT_TRUE(request->body.has_value());
    EXPECT_EQ(json_text(*request->body),
              R"({"searches":[{"limit":1,"query":{"nearest":[0.5]},"using":"dense","with_payload":true},)"
              R"({"limit":2,"query":{"nearest":[0.25]},"using":"dense","with_payload":true}]})");
}

}  // namespace
}  // namespace zorv::plan
