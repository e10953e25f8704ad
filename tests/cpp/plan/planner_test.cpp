#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/params/scan.h"
#include "core/parser/parser.h"
#include "plan/planner.h"
#include "plan/values.h"
#include "test_support.h"

namespace zorv::plan {
namespace {

using core::StatementKind;

core::Statement must_parse_statement(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement.has_value()) << text;
    return statement ? std::move(*statement) : core::Statement{};
}

void expect_plan_error(const core::Result<PlanOp>& result, const std::string& code, const std::string& message) {
    ASSERT_FALSE(result.has_value()) << message;
    EXPECT_EQ(result.error().code, code);
    EXPECT_EQ(result.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(result.error().message, message);
    EXPECT_FALSE(result.error().span.has_value());
    EXPECT_TRUE(result.error().fields.empty());
    EXPECT_EQ(result.error().cause, nullptr);
}

struct LowerCase {
    std::string text;
    PlanOp expected;
};

void PrintTo(const LowerCase& c, std::ostream* os) { *os << c.text; }

class CopyOnlyKinds : public ::testing::TestWithParam<LowerCase> {};

TEST_P(CopyOnlyKinds, PlanTheNamesAsWritten) {
    auto op = plan_statement(must_parse_statement(GetParam().text));
    ASSERT_TRUE(op.has_value()) << op.error().message;
    EXPECT_EQ(*op, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, CopyOnlyKinds,
    ::testing::Values(LowerCase{"SHOW COLLECTIONS", make_op<PlanOpKind::ShowCollections>()},
                      LowerCase{"SHOW QUOTAS", make_op<PlanOpKind::ShowQuotas>()},
                      LowerCase{"SHOW COLLECTION Docs", make_op<PlanOpKind::ShowCollection>(CollectionOp{"Docs"})},
                      LowerCase{"SHOW SHARD KEYS ON COLLECTION docs",
                                make_op<PlanOpKind::ShowShardKeys>(CollectionOp{"docs"})},
                      LowerCase{"DROP COLLECTION docs", make_op<PlanOpKind::DropCollection>(CollectionOp{"docs"})},
                      LowerCase{"DROP INDEX ON COLLECTION docs FOR city",
                                make_op<PlanOpKind::DropIndex>(DropIndexOp{"docs", "city"})},
                      LowerCase{"DROP SHARD KEY 7 ON COLLECTION docs",
                                make_op<PlanOpKind::DropShardKey>(DropShardKeyOp{"docs", std::uint64_t{7}})},
                      LowerCase{"DROP SHARD KEY '7' ON COLLECTION docs",
                                make_op<PlanOpKind::DropShardKey>(DropShardKeyOp{"docs", std::string("7")})}));

TEST(LowerStatement, PassesAnEmptyFieldNameOnWhilePlanningRefusesIt) {
    const core::Statement drop = must_parse_statement("DROP INDEX ON COLLECTION docs FOR ''");
    auto lowered = lower_statement(drop);
    ASSERT_TRUE(lowered.has_value());
    EXPECT_EQ(*lowered, make_op<PlanOpKind::DropIndex>(DropIndexOp{"docs", ""}));
    expect_plan_error(plan_statement(drop), "ZORV-PLAN-PATH-NAME",
                      "field name '' cannot be a REST path segment; empty, '.' and '..' are refused");
}

struct PathCase {
    std::string text;
    std::string message;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.text; }

class PathNames : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathNames, RefuseNamesThatAreNotPathSegments) {
    const core::Statement statement = must_parse_statement(GetParam().text);
    expect_plan_error(plan_statement(statement), "ZORV-PLAN-PATH-NAME", GetParam().message);
    expect_plan_error(plan_prepared_statement(statement), "ZORV-PLAN-PATH-NAME", GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, PathNames,
    ::testing::Values(PathCase{"DROP COLLECTION '..'",
                               "collection name '..' cannot be a REST path segment; empty, '.' and '..' are refused"},
                      PathCase{"SHOW COLLECTION '.'",
                               "collection name '.' cannot be a REST path segment; empty, '.' and '..' are refused"},
                      PathCase{"DROP INDEX ON COLLECTION '' FOR '..'",
                               "collection name '' cannot be a REST path segment; empty, '.' and '..' are refused"},
                      PathCase{"DROP INDEX ON COLLECTION docs FOR '.'",
                               "field name '.' cannot be a REST path segment; empty, '.' and '..' are refused"},
                      PathCase{"DROP SHARD KEY 1 ON COLLECTION ''",
                               "collection name '' cannot be a REST path segment; empty, '.' and '..' are refused"}));

TEST(PlanStatement, ReturnsThePlaceholderScanErrorUnlowered) {
    for (const std::string text : {"DROP SHARD KEY :k ON COLLECTION docs", "DROP SHARD KEY ? ON COLLECTION docs"}) {
        const core::Statement statement = must_parse_statement(text);
        auto planned = plan_statement(statement);
        auto scanned = core::ensure_fully_bound(statement);
        ASSERT_FALSE(planned.has_value()) << text;
        ASSERT_FALSE(scanned.has_value()) << text;
        EXPECT_EQ(planned.error().code, "ZORV-BIND-MISSING-PARAM");
        EXPECT_EQ(planned.error().code, scanned.error().code);
        EXPECT_EQ(planned.error().message, scanned.error().message);
        EXPECT_EQ(planned.error().span, scanned.error().span);
    }
}

TEST(PlanScript, ReturnsTheStatementsOrTheFirstError) {
    auto planned = plan_script("SHOW COLLECTIONS; DROP INDEX ON COLLECTION docs FOR city");
    ASSERT_TRUE(planned.has_value());
    ASSERT_EQ(planned->size(), 2U);
    EXPECT_EQ((*planned)[1].kind(), StatementKind::DropIndex);

    auto failed = plan_script("SHOW COLLECTIONS; DROP COLLECTION '.'; DROP COLLECTION '..'");
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().message,
              "collection name '.' cannot be a REST path segment; empty, '.' and '..' are refused");

    const std::string broken = "SHOW COLLECTIONS; DROP COLLECTION '..'; SHOW";
    auto parse_error = plan_script(broken);
    auto expected = core::parse_script(broken);
    ASSERT_FALSE(parse_error.has_value());
    ASSERT_FALSE(expected.has_value());
    EXPECT_EQ(parse_error.error().code, expected.error().code);
    EXPECT_EQ(parse_error.error().message, expected.error().message);
    EXPECT_EQ(parse_error.error().span, expected.error().span);
}

// The parser refuses these values itself, so the trees are built here.
struct ShardKeyCase {
    std::optional<std::uint32_t> shards_number;
    std::optional<std::uint32_t> replication_factor;
    std::optional<std::string> initial_state;
    std::string error;  // empty: plans, with `state` stored
    std::optional<std::string> state;
};

void PrintTo(const ShardKeyCase& c, std::ostream* os) { *os << (c.error.empty() ? c.state.value_or("-") : c.error); }

class CreateShardKeyLowering : public ::testing::TestWithParam<ShardKeyCase> {};

TEST_P(CreateShardKeyLowering, ChecksCountsThenTheReplicaState) {
    const ShardKeyCase& c = GetParam();
    core::CreateShardKey create{"docs",
                                core::ShardKey{std::string("eu")},
                                c.shards_number,
                                c.replication_factor,
                                std::vector<std::uint64_t>{5, 6},
                                c.initial_state};
    core::Statement statement{
        core::Statement::Node(std::in_place_index<static_cast<std::size_t>(StatementKind::CreateShardKey)>, create)};
    auto op = plan_statement(statement);
    if (!c.error.empty()) {
        expect_plan_error(op, "ZORV-PLAN-SHARD-KEY", c.error);
        return;
    }
    ASSERT_TRUE(op.has_value()) << op.error().message;
    EXPECT_EQ(*op, make_op<PlanOpKind::CreateShardKey>(CreateShardKeyOp{"docs", std::string("eu"), c.shards_number,
                                                                        c.replication_factor,
                                                                        std::vector<std::uint64_t>{5, 6}, c.state}));
}

INSTANTIATE_TEST_SUITE_P(
    Edges, CreateShardKeyLowering,
    ::testing::Values(
        ShardKeyCase{0, std::nullopt, std::nullopt, "shards_number must be within 1..=4294967295", std::nullopt},
        ShardKeyCase{4294967295U, 1, std::nullopt, "", std::nullopt},
        ShardKeyCase{1, 0, std::nullopt, "replication_factor must be within 1..=4294967295", std::nullopt},
        ShardKeyCase{0, 0, "nowhere", "shards_number must be within 1..=4294967295", std::nullopt},
        ShardKeyCase{std::nullopt, std::nullopt, "partialsnapshot", "", "PartialSnapshot"},
        ShardKeyCase{std::nullopt, std::nullopt, "ACTIVE", "", "Active"},
        ShardKeyCase{std::nullopt, std::nullopt, "partial snapshot", "unknown replica state 'partial snapshot'",
                     std::nullopt}));

using LowerStatementDeathTest = ::testing::Test;

// Lowering is only reached through the binding check; a placeholder past it is a planner bug.
TEST_F(LowerStatementDeathTest, StopsOnAPlaceholderPastTheBindingCheck) {
    EXPECT_DEATH((void)lower_statement(must_parse_statement("DROP SHARD KEY :k ON COLLECTION docs")),
                 "invariant violation: unbound parameter :k reached PlanShardKey");
    EXPECT_DEATH((void)to_plan_point_id(core::PointId{core::Placeholder::positional(2)}),
                 "invariant violation: unbound positional parameter \\?2 reached PlanPointId");
}

}  // namespace
}  // namespace zorv::plan
