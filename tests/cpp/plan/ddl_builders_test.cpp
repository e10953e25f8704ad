#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/parser/parser.h"
#include "plan/ddl_builders.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/route.h"

namespace zorv::plan {
namespace {

PlanOp plan_text(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement) << core::format_error(statement.error());
    if (!statement) return {};
    auto op = plan_statement(*statement);
    EXPECT_TRUE(op) << core::format_error(op.error());
    if (!op) return {};
    return *std::move(op);
}

// "METHOD path?k=v&k=v body", the query in route order.
std::string request_text(const PlanOp& op) {
    const auto request = plan_to_rest_request(op);
    if (!request) return "no request";
    std::string text = std::string(http_method_name(request->method)) + " " + request->path;
    char sep = '?';
    for (const auto& [name, value] : request->query) {
        text += sep;
        text += name;
        text += '=';
        text += value;
        sep = '&';
    }
    return text + " " + (request->body ? json_text(*request->body) : "-");
}

struct DdlRouteCase {
    const char* text;
    const char* request;
};

void PrintTo(const DdlRouteCase& c, std::ostream* os) { *os << c.text; }

class DdlRoutes : public testing::TestWithParam<DdlRouteCase> {};

TEST_P(DdlRoutes, MethodPathQueryAndBody) { EXPECT_EQ(request_text(plan_text(GetParam().text)), GetParam().request); }

INSTANTIATE_TEST_SUITE_P(
    Statements, DdlRoutes,
    testing::Values(
        DdlRouteCase{"CREATE COLLECTION 'my docs' (v VECTOR(4, DOT))",
                     R"(PUT /collections/my%20docs {"vectors":{"v":{"distance":"Dot","size":4}}})"},
        DdlRouteCase{"ALTER COLLECTION docs WITH PARAMS (replication_factor = 2)",
                     R"(PATCH /collections/docs {"params":{"replication_factor":2}})"},
        DdlRouteCase{"CREATE INDEX ON COLLECTION docs FOR city TYPE keyword",
                     R"(PUT /collections/docs/index?wait=true {"field_name":"city","field_schema":"keyword"})"},
        DdlRouteCase{"CREATE INDEX ON COLLECTION 'a/b' FOR tenant TYPE keyword WITH (is_tenant = true) WAIT false",
                     R"(PUT /collections/a%2Fb/index?wait=false )"
                     R"({"field_name":"tenant","field_schema":{"is_tenant":true,"type":"keyword"}})"},
        DdlRouteCase{"SET QUOTA (ENABLED = true, release_margin_percent = 0)",
                     R"(PUT /quotas {"enabled":true,"release_margin_percent":0})"},
        DdlRouteCase{"SET QUOTA (enabled = true, release_margin_percent = 0) WAIT true",
                     R"(PUT /quotas?wait=true {"enabled":true,"release_margin_percent":0})"},
        DdlRouteCase{"SET QUOTA () WAIT false", R"(PUT /quotas?wait=false {})"}));

TEST(DdlBuilders, DropIndexPlanMatchesTheStatement) {
    const PlanOp built = drop_index_plan("my docs", "a/b");
    EXPECT_EQ(built, plan_text("DROP INDEX ON COLLECTION 'my docs' FOR 'a/b'"));
    EXPECT_EQ(request_text(built), "DELETE /collections/my%20docs/index/a%2Fb -");
}

// The statement's own WAIT does not matter: the backend call always waits.
TEST(DdlBuilders, CreateIndexPlanAlwaysWaits) {
    const PlanOp planned = plan_text(
        "CREATE INDEX ON COLLECTION docs FOR body TYPE text WITH (tokenizer = 'prefix', "
        "stopwords = ['a']) WAIT false");
    const CreateIndexOp& create = planned.get<PlanOpKind::CreateIndex>();
    ASSERT_FALSE(create.wait);
    const PlanOp built = create_index_plan("other", create.index);
    ASSERT_EQ(built.kind(), PlanOpKind::CreateIndex);
    EXPECT_EQ(built.get<PlanOpKind::CreateIndex>().index, create.index);
    EXPECT_EQ(request_text(built), R"(PUT /collections/other/index?wait=true {"field_name":"body","field_schema":)"
                                   R"({"stopwords":{"custom":["a"]},"tokenizer":"prefix","type":"text"}})");
}

TEST(DdlBuilders, AlterCollectionPlanKeepsQuantizationRemoval) {
    const PlanOp planned = plan_text(
        "ALTER COLLECTION docs WITH VECTOR v (QUANTIZATION (disabled = true)) WITH QUANTIZATION (disabled = true)");
    const PlanCollectionUpdate& update = planned.get<PlanOpKind::AlterCollection>().update;
    const PlanOp built = alter_collection_plan("docs", update);
    EXPECT_EQ(built, planned);
    EXPECT_EQ(request_text(built), R"(PATCH /collections/docs {"quantization_config":"Disabled",)"
                                   R"("vectors":{"v":{"quantization_config":"Disabled"}}})");
}

}  // namespace
}  // namespace zorv::plan
