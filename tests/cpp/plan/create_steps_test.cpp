#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/parser/parser.h"
#include "plan/create_steps.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/route.h"

namespace zorv::plan {
namespace {

struct StepsCase {
    const char* text;
    std::vector<std::string> steps;  // "METHOD path body"
};

void PrintTo(const StepsCase& c, std::ostream* os) { *os << c.text; }

CreateCollectionOp plan_create(const char* text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement) << core::format_error(statement.error());
    if (!statement) return {};
    auto op = plan_statement(*statement);
    EXPECT_TRUE(op) << core::format_error(op.error());
    if (!op || op->kind() != PlanOpKind::CreateCollection) return {};
    return op->get<PlanOpKind::CreateCollection>();
}

std::string step_text(const RestStep& step) {
    return std::string(http_method_name(step.method)) + " " + step.path + " " + json_text(step.body);
}

class CreateSteps : public testing::TestWithParam<StepsCase> {};

TEST_P(CreateSteps, CreateThenFanOutThenShardKeys) {
    const CreateCollectionOp create = plan_create(GetParam().text);
    std::vector<std::string> steps;
    for (const RestStep& step : create_collection_steps(create.collection, create.config))
        steps.push_back(step_text(step));
    EXPECT_EQ(steps, GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, CreateSteps,
    testing::Values(
        StepsCase{"CREATE COLLECTION docs (v VECTOR(4, DOT)) WITH PARAMS (sharding_method = 'custom', "
                  "shard_keys = ['eu', 7])",
                  {R"(PUT /collections/docs {"sharding_method":"custom","vectors":{"v":{"distance":"Dot","size":4}}})",
                   R"(PUT /collections/docs/shards {"shard_key":"eu"})",
                   R"(PUT /collections/docs/shards {"shard_key":7})"}},
        StepsCase{"CREATE COLLECTION docs (v VECTOR(4, DOT)) WITH PARAMS (read_fan_out_delay_ms = 50)",
                  {R"(PUT /collections/docs {"vectors":{"v":{"distance":"Dot","size":4}}})",
                   R"(PATCH /collections/docs {"params":{"read_fan_out_delay_ms":50}})"}},
        StepsCase{"CREATE COLLECTION 'a/b' (v VECTOR(4, DOT)) WITH PARAMS (shard_keys = [7], "
                  "read_fan_out_factor = 2, sharding_method = 'custom', read_fan_out_delay_ms = 0)",
                  {R"(PUT /collections/a%2Fb {"sharding_method":"custom","vectors":{"v":{"distance":"Dot","size":4}}})",
                   R"(PATCH /collections/a%2Fb {"params":{"read_fan_out_delay_ms":0,"read_fan_out_factor":2}})",
                   R"(PUT /collections/a%2Fb/shards {"shard_key":7})"}}));

// Without fan-out settings or shard keys the one step is the statement's single route.
TEST(CreateSteps, SingleStepEqualsTheRoute) {
    std::vector<CreateCollectionOp> creates = {
        plan_create("CREATE COLLECTION docs (v VECTOR(4, DOT))"),
        plan_create("CREATE COLLECTION 'my docs' (a VECTOR(8, COSINE), s SPARSE) WITH PARAMS "
                    "(shard_number = 2, on_disk_payload = true) WITH WAL (wal_capacity_mb = 32)"),
        plan_create("CREATE COLLECTION docs (v VECTOR(4, DOT)) WITH PARAMS (sharding_method = 'custom')"),
    };
    // The parser refuses an empty list; the plan may still hold one.
    creates.back().config.shard_keys.emplace();
    for (const CreateCollectionOp& create : creates) {
        SCOPED_TRACE(create.collection);
        const auto steps = create_collection_steps(create.collection, create.config);
        const auto route = plan_to_rest_request(make_op<PlanOpKind::CreateCollection>(create));
        ASSERT_TRUE(route);
        ASSERT_EQ(steps.size(), 1U);
        EXPECT_EQ(steps[0].method, route->method);
        EXPECT_EQ(steps[0].path, route->path);
        EXPECT_EQ(std::optional<JsonValue>(steps[0].body), route->body);
        EXPECT_TRUE(route->query.empty());
    }
}

}  // namespace
}  // namespace zorv::plan
