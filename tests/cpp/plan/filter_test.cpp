#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

#include "core/ast/read.h"
#include "core/parser/parser.h"
#include "plan/filter.h"
#include "plan/json_read.h"
#include "plan/json_write.h"
#include "plan/rest/filter_body.h"

namespace zorv::plan {
namespace {

using core::Filter;
using core::Literal;

// The WHERE of "COUNT FROM docs WHERE ...", as the parser builds it.
Filter parse_where(const std::string& where) {
    auto statement = core::parse_statement("COUNT FROM docs WHERE " + where);
    EXPECT_TRUE(statement.has_value()) << where;
    if (!statement) return Filter{};
    return **statement->get<core::StatementKind::Count>()->filter;
}

void expect_validation_error(const core::ZorvError& error, const std::string& code, const std::string& message) {
    EXPECT_EQ(error.code, code);
    EXPECT_EQ(error.kind, core::ErrorKind::Validation);
    EXPECT_EQ(error.message, message);
    EXPECT_TRUE(error.fields.empty());
    EXPECT_EQ(error.cause, nullptr);
}

struct FilterJsonCase {
    std::string where;
    std::string value_form;
};

void PrintTo(const FilterJsonCase& c, std::ostream* os) { *os << c.where; }

class WhereJson : public testing::TestWithParam<FilterJsonCase> {};

TEST_P(WhereJson, LowersToTheValueFormAndTheTextFormReadsBackTheSame) {
    auto filter = lower_where(parse_where(GetParam().where));
    ASSERT_TRUE(filter.has_value()) << filter.error().message;
    ASSERT_FALSE(filter->is_single());
    const JsonValue value = filter_to_value(*filter);
    EXPECT_EQ(json_text(value), GetParam().value_form);
    std::string text;
    write_filter(text, *filter);
    EXPECT_EQ(test_support::reread(text), json_text(value));
}

const std::string kGeoPoints = R"({"points":[{"lat":1.0,"lon":2.0},{"lat":3.0,"lon":4.0},{"lat":5.0,"lon":6.0}]})";

INSTANTIATE_TEST_SUITE_P(
    Filters, WhereJson,
    testing::Values(
        FilterJsonCase{"price != 10", R"({"must_not":[{"key":"price","match":{"value":10}}]})"},
        FilterJsonCase{"price = 1.5", R"({"must":[{"key":"price","range":{"gte":1.5,"lte":1.5}}]})"},
        FilterJsonCase{"price = 1", R"({"must":[{"key":"price","match":{"value":1}}]})"},
        FilterJsonCase{"flag = true", R"({"must":[{"key":"flag","match":{"value":true}}]})"},
        FilterJsonCase{"tag IN ('b', 'a', 'b')", R"({"must":[{"key":"tag","match":{"any":["b","a"]}}]})"},
        FilterJsonCase{"n IN (1, 1, 2)", R"({"must":[{"key":"n","match":{"any":[1,2]}}]})"},
        FilterJsonCase{
            "NESTED('items', qty = 1)",
            R"({"must":[{"nested":{"filter":{"must":[{"key":"qty","match":{"value":1}}]},"key":"items"}}]})"},
        FilterJsonCase{"NESTED('items', qty > 1 OR sku = 'x')",
                       R"({"must":[{"nested":{"filter":{"should":[{"key":"qty","range":{"gt":1}},)"
                       R"({"key":"sku","match":{"value":"x"}}]},"key":"items"}}]})"},
        FilterJsonCase{"created BETWEEN '2024-01-01T00:00:00Z' AND 'abc'",
                       R"({"must":[{"key":"created","range":{"gte":"2024-01-01T00:00:00Z","lte":"abc"}}]})"},
        FilterJsonCase{
            "NOT (a = 1 AND b = 'x')",
            R"({"must_not":[{"must":[{"key":"a","match":{"value":1}},{"key":"b","match":{"value":"x"}}]}]})"},
        FilterJsonCase{"loc GEO_POLYGON {exterior: [{lat: 1, lon: 2}, {lat: 3, lon: 4}, {lat: 5, lon: 6}]}",
                       R"({"must":[{"geo_polygon":{"exterior":)" + kGeoPoints + R"(,"interiors":[]},"key":"loc"}]})"},
        FilterJsonCase{"loc GEO_RADIUS {center: {lat: 0, lon: 0.5}, radius: 10}",
                       R"({"must":[{"geo_radius":{"center":{"lat":0.0,"lon":0.5},"radius":10.0},"key":"loc"}]})"},
        FilterJsonCase{"n VALUES_COUNT = 3", R"({"must":[{"key":"n","values_count":{"gte":3,"lte":3}}]})"},
        FilterJsonCase{"n VALUES_COUNT < 3", R"({"must":[{"key":"n","values_count":{"lt":3}}]})"},
        FilterJsonCase{"MIN SHOULD 2 (a = 1, b = 2) AND c = 3",
                       R"({"must":[{"min_should":{"conditions":[{"key":"a","match":{"value":1}},)"
                       R"({"key":"b","match":{"value":2}}],"min_count":2}},{"key":"c","match":{"value":3}}]})"},
        FilterJsonCase{"a = 1 OR b IS NULL", R"({"should":[{"key":"a","match":{"value":1}},{"is_null":{"key":"b"}}]})"},
        FilterJsonCase{"id IN (7, '1b4e28ba-2fa1-11d2-883f-0016d3cca427') AND HAS_VECTOR dense",
                       R"({"must":[{"has_id":[7,"1b4e28ba-2fa1-11d2-883f-0016d3cca427"]},{"has_vector":"dense"}]})"},
        FilterJsonCase{"SLICE(4294967295, 4294967294)",
                       R"({"must":[{"slice":{"index":4294967294,"total":4294967295}}]})"},
        FilterJsonCase{"x > 9223372036854775808", R"({"must":[{"key":"x","range":{"gt":9223372036854775808.0}}]})"},
        FilterJsonCase{"x >= -5 AND x < 2.5",
                       R"({"must":[{"key":"x","range":{"gte":-5}},{"key":"x","range":{"lt":2.5}}]})"}));

struct RefusalCase {
    std::string where;
    std::string code;
    std::string message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.where; }

class WhereRefusals : public testing::TestWithParam<RefusalCase> {};

TEST_P(WhereRefusals, FailWithTheCodeAndMessage) {
    auto filter = lower_where(parse_where(GetParam().where));
    ASSERT_FALSE(filter.has_value());
    expect_validation_error(filter.error(), GetParam().code, GetParam().message);
    EXPECT_FALSE(filter.error().span.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Filters, WhereRefusals,
    testing::Values(
        RefusalCase{"tag IN (1, 'a')", "ZORV-PLAN-MATCH-TYPE",
                    R"(match list mixes strings and integers at entry 2 ("a"): match lists must be all strings or all )"
                    "integers"},
        RefusalCase{"x IN (1.5)", "ZORV-PLAN-MATCH-TYPE",
                    "match list entry 1.5 cannot be represented on any transport: match lists are homogeneous string "
                    "or int64 arrays; use a range filter for floats"},
        RefusalCase{"x IN (1, 9223372036854775808)", "ZORV-PLAN-MATCH-TYPE",
                    "match list entry 9223372036854775808 is above the int64 range match lists support; use a range "
                    "filter"},
        RefusalCase{"n = 9223372036854775808", "ZORV-PLAN-MATCH-TYPE",
                    "match value 9223372036854775808 is above the int64 range match values support; use a range "
                    "filter"},
        RefusalCase{"SLICE(4294967296, 0)", "ZORV-PLAN-SLICE",
                    "SLICE requires 1 <= total <= 4294967295 and index < total, got total=4294967296, index=0"},
        RefusalCase{"a = 1 AND NOT NESTED('n', tag IN ('a', 2))", "ZORV-PLAN-MATCH-TYPE",
                    R"(match list mixes strings and integers at entry 2 (2): match lists must be all strings or all )"
                    "integers"}));

Filter compare(core::CompareOp op, Literal value) { return Filter{Filter::Compare{"x", op, std::move(value)}}; }

TEST(LowerWhere, RefusesMinShouldZeroAtAnyDepth) {
    Filter min_should{Filter::MinShould{0, {compare(core::CompareOp::Eq, Literal::int64(1))}}};
    Filter tree{Filter::Or{{compare(core::CompareOp::Eq, Literal::int64(2)), min_should}}};
    auto filter = lower_where(tree);
    ASSERT_FALSE(filter.has_value());
    expect_validation_error(filter.error(), "ZORV-PLAN-MIN-SHOULD", "MIN SHOULD requires min_count >= 1");
}

// The parser refuses these bounds itself; a tree built in code still meets the check.
TEST(LowerWhere, RefusesABooleanRangeBoundInsideNested) {
    Filter nested{Filter::Nested{"n", compare(core::CompareOp::Lt, Literal::boolean(true))}};
    auto filter = lower_where(Filter{Filter::And{{compare(core::CompareOp::Eq, Literal::int64(1)), nested}}});
    ASSERT_FALSE(filter.has_value());
    expect_validation_error(filter.error(), "ZORV-PLAN-RANGE-TYPE",
                            "range bound has non-scalar value Bool(true); expected a number, string, or datetime");
    auto between =
        lower_where(Filter{Filter::Between{"x", Literal::list({Literal::int64(1)}), Literal::boolean(true)}});
    ASSERT_FALSE(between.has_value());
    EXPECT_EQ(between.error().message,
              "range bound has non-scalar value List([Int(1)]); expected a number, string, or datetime");
}

TEST(LowerWhere, RefusesANonFiniteRangeBound) {
    auto filter = lower_where(compare(core::CompareOp::Gt, Literal::f64(std::numeric_limits<double>::infinity())));
    ASSERT_FALSE(filter.has_value());
    expect_validation_error(filter.error(), "ZORV-PLAN-NON-FINITE",
                            "null is not a finite number; JSON has no NaN/infinity representation");
}

TEST(LowerWhere, RefusesSliceIndexEqualToTotal) {
    auto filter = lower_where(Filter{Filter::Slice{3, 3}});
    ASSERT_FALSE(filter.has_value());
    expect_validation_error(filter.error(), "ZORV-PLAN-SLICE",
                            "SLICE requires 1 <= total <= 4294967295 and index < total, got total=3, index=3");
}

TEST(LowerMatchList, ABadPlaceholderEntryCarriesItsSpan) {
    auto condition = lower_match_list("x", {Literal::int64(1), Literal::param("p", core::Span{4, 6})}, false);
    ASSERT_FALSE(condition.has_value());
    EXPECT_EQ(condition.error().code, "ZORV-PLAN-MATCH-TYPE");
    EXPECT_EQ(condition.error().span, (core::Span{4, 6}));
}

TEST(LowerMatchList, TreatsEqualIntAndUIntAsDuplicatesAndKeepsTheFirst) {
    auto condition = lower_match_list("x", {Literal::int64(1), Literal::uint64(1), Literal::uint64(2)}, true);
    ASSERT_TRUE(condition.has_value());
    PlanFieldCondition expected;
    expected.key = "x";
    expected.match = PlanMatch::make<PlanMatch::Kind::Except>(core::LiteralList{Literal::int64(1), Literal::uint64(2)});
    EXPECT_EQ(*condition, PlanCondition::field(expected));
}

struct BoundCase {
    const char* name;
    Literal literal;
    PlanRangeBound bound;
};

void PrintTo(const BoundCase& c, std::ostream* os) { *os << c.name; }

class RangeBounds : public testing::TestWithParam<BoundCase> {};

TEST_P(RangeBounds, KeepTheKindTheServerCompares) {
    auto bound = lower_range_bound(GetParam().literal);
    ASSERT_TRUE(bound.has_value());
    EXPECT_EQ(*bound, GetParam().bound);
}

INSTANTIATE_TEST_SUITE_P(Literals, RangeBounds,
                         testing::Values(BoundCase{"text", Literal::str("abc"), PlanRangeBound::text("abc")},
                                         BoundCase{"datetime", Literal::str("2024-01-01T00:00:00Z"),
                                                   PlanRangeBound::datetime("2024-01-01T00:00:00Z")},
                                         BoundCase{"int", Literal::int64(-3), PlanRangeBound::integer(-3)},
                                         BoundCase{"uint_in_range", Literal::uint64(9223372036854775807u),
                                                   PlanRangeBound::integer(9223372036854775807)},
                                         BoundCase{"uint_above", Literal::uint64(9223372036854775808u),
                                                   PlanRangeBound::float64(9223372036854775808.0)}));

TEST(LowerFilter, KeepsTheSingleFormInsideNested) {
    auto filter = lower_filter(parse_where("NESTED('items', qty = 1)"));
    ASSERT_TRUE(filter.has_value());
    ASSERT_TRUE(filter->is_single());
    const auto& nested = filter->single().get<PlanCondition::Kind::Nested>();
    EXPECT_EQ(nested.key, "items");
    EXPECT_TRUE(nested.filter->is_single());
}

TEST(AndFilters, ConjoinsPresentFiltersAsMustConditions) {
    const PlanFilter single = *lower_filter(parse_where("a = 1"));
    const PlanFilter clauses = *lower_where(parse_where("b = 2 OR c = 3"));
    EXPECT_EQ(and_filters(std::nullopt, std::nullopt), std::nullopt);
    EXPECT_EQ(and_filters(clauses, std::nullopt), clauses);
    EXPECT_EQ(and_filters(std::nullopt, single), single);
    auto both = and_filters(single, clauses);
    ASSERT_TRUE(both.has_value());
    EXPECT_EQ(json_text(filter_to_value(*both)),
              R"({"must":[{"key":"a","match":{"value":1}},{"should":[{"key":"b","match":{"value":2}},)"
              R"({"key":"c","match":{"value":3}}]}]})");
}

TEST(FilterBody, WritesAnEmptyClauseSetAndAnEmptyMinShould) {
    PlanClauses clauses;
    EXPECT_EQ(json_text(filter_to_value(PlanFilter::of(clauses))), "{}");
    clauses.min_should = PlanMinShould{{}, 2};
    std::string text;
    write_filter(text, PlanFilter::of(clauses));
    EXPECT_EQ(text, R"({"min_should":{"conditions":[],"min_count":2}})");
}

TEST(FilterBody, WritesTextKeysInTheServersOrder) {
    const PlanFilter filter = *lower_where(parse_where("NESTED('items', n VALUES_COUNT = 2)"));
    std::string text;
    write_filter(text, filter);
    EXPECT_EQ(
        text,
        R"({"must":[{"nested":{"key":"items","filter":{"must":[{"key":"n","values_count":{"gte":2,"lte":2}}]}}}]})");
    JsonObjectWriter object(text = "");
    write_filter_entry(object, "filter", filter);
    object.close();
    JsonObject value;
    filter_entry_to_value(value, "filter", filter);
    EXPECT_EQ(test_support::reread(text), json_text(JsonValue(value)));
}

}  // namespace
}  // namespace zorv::plan
