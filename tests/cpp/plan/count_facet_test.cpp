#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "core/ast/read.h"
#include "core/parser/parser.h"
#include "plan/count_facet.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/point_ids.h"
#include "plan/rest/filter_body.h"

namespace zorv::plan {
namespace {

core::Result<PlanOp> plan_text(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement.has_value()) << text;
    if (!statement) return std::unexpected(statement.error());
    return plan_statement(*statement);
}

std::string filter_json(const std::optional<PlanFilter>& filter) {
    return filter ? json_text(filter_to_value(*filter)) : "absent";
}

TEST(CountLowering, CopiesTheOptionsAndLowersTheFilter) {
    auto op = plan_text("COUNT FROM c WHERE a = 1 SHARD 'x' WITH (exact = true)");
    ASSERT_TRUE(op.has_value()) << op.error().message;
    const CountOp& count = op->get<PlanOpKind::Count>();
    EXPECT_EQ(count.collection, "c");
    EXPECT_EQ(filter_json(count.filter), R"({"must":[{"key":"a","match":{"value":1}}]})");
    EXPECT_EQ(count.exact, true);
    EXPECT_EQ(count.shard_key, PlanShardKey(std::string("x")));

    auto bare = plan_text("COUNT FROM c");
    ASSERT_TRUE(bare.has_value());
    EXPECT_EQ(bare->get<PlanOpKind::Count>(), (CountOp{"c", std::nullopt, std::nullopt, std::nullopt}));
}

TEST(FacetLowering, CopiesTheKeyLimitAndOptionsAndLowersTheFilter) {
    auto op = plan_text("FACET city FROM docs WHERE price >= 10 LIMIT 5 EXACT FALSE SHARD 3");
    ASSERT_TRUE(op.has_value()) << op.error().message;
    const FacetOp& facet = op->get<PlanOpKind::Facet>();
    EXPECT_EQ(facet.collection, "docs");
    EXPECT_EQ(facet.key, "city");
    EXPECT_EQ(filter_json(facet.filter), R"({"must":[{"key":"price","range":{"gte":10}}]})");
    EXPECT_EQ(facet.limit, 5U);
    EXPECT_EQ(facet.exact, false);
    EXPECT_EQ(facet.shard_key, PlanShardKey(std::uint64_t{3}));
}

struct RefusalCase {
    std::string text;
    std::string code;
    std::string message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.text; }

class CountFacetRefusals : public testing::TestWithParam<RefusalCase> {};

TEST_P(CountFacetRefusals, FailWithTheCodeAndMessage) {
    auto op = plan_text(GetParam().text);
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, GetParam().code);
    EXPECT_EQ(op.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(op.error().message, GetParam().message);
}

const std::string kNotUuid = "\" is not a UUID; point IDs must be unsigned integers or UUIDs";

INSTANTIATE_TEST_SUITE_P(
    Statements, CountFacetRefusals,
    testing::Values(
        RefusalCase{"COUNT FROM docs WHERE tag IN (1, 'a')", "ZORV-PLAN-MATCH-TYPE",
                    R"(match list mixes strings and integers at entry 2 ("a"): match lists must be all strings or all )"
                    "integers"},
        RefusalCase{"FACET city FROM docs WHERE SLICE(4294967296, 0)", "ZORV-PLAN-SLICE",
                    "SLICE requires 1 <= total <= 4294967295 and index < total, got total=4294967296, index=0"},
        // The walk reaches has_id inside groups and nested filters.
        RefusalCase{"COUNT FROM docs WHERE a = 1 AND NOT (b = 2 OR NESTED('n', id IN (1, 'bad')))",
                    "ZORV-PLAN-POINT-ID", "point ID \"bad" + kNotUuid},
        RefusalCase{"FACET city FROM docs WHERE MIN SHOULD 1 (a = 1, id = 'late')", "ZORV-PLAN-POINT-ID",
                    "point ID \"late" + kNotUuid},
        RefusalCase{"COUNT FROM docs WHERE id = 'x' OR id = 'y'", "ZORV-PLAN-POINT-ID", "point ID \"x" + kNotUuid}));

PlanCondition has_id(const char* id) { return PlanCondition{PlanCondition::HasId{{std::string(id)}}}; }

TEST(FilterPointIds, WalkMustThenShouldThenMustNotThenMinShould) {
    PlanClauses clauses;
    clauses.min_should = PlanMinShould{{has_id("min")}, 1};
    clauses.must_not.push_back(has_id("not"));
    clauses.should.push_back(has_id("should"));
    clauses.must.push_back(PlanCondition{PlanCondition::HasId{{std::uint64_t{5}}}});
    const char* expected[] = {"should", "not", "min"};
    for (const char* id : expected) {
        auto checked = validate_filter_point_ids(PlanFilter::of(clauses));
        ASSERT_FALSE(checked.has_value());
        EXPECT_EQ(checked.error().message, "point ID \"" + std::string(id) + kNotUuid);
        if (!clauses.should.empty()) {
            clauses.should.clear();
        } else {
            clauses.must_not.clear();
        }
    }
}

TEST(CountFacetLowering, RefuseAMissingOrEmptyCollection) {
    struct Case {
        core::Result<PlanOp> result;
        const char* message;
    };
    core::Count count;
    core::Facet facet;
    facet.key = "city";
    Case cases[] = {{lower_count(count), "count requires an explicit collection (FROM ...)"},
                    {lower_facet(facet), "facet requires an explicit collection (FROM ...)"}};
    count.collection.name = "";
    facet.collection.name = "";
    Case empty[] = {{lower_count(count), "count collection name must not be empty"},
                    {lower_facet(facet), "facet collection name must not be empty"}};
    for (const Case* list : {cases, empty}) {
        for (int i = 0; i < 2; ++i) {
            ASSERT_FALSE(list[i].result.has_value()) << list[i].message;
            EXPECT_EQ(list[i].result.error().code, "ZORV-PLAN-COLLECTION");
            EXPECT_EQ(list[i].result.error().message, list[i].message);
        }
    }
}

}  // namespace
}  // namespace zorv::plan
