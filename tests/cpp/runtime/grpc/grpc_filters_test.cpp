// Plan filters as Qdrant's Filter messages: every condition and match kind, and the values the
// messages cannot hold refused with their exact codes and messages.
#include <google/protobuf/text_format.h>
#include <google/protobuf/util/message_differencer.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "runtime/grpc_route/filters.h"

namespace zorv::runtime::rpc {
namespace {

using core::Literal;
using plan::PlanClauses;
using plan::PlanCondition;
using plan::PlanFieldCondition;
using plan::PlanFilter;
using plan::PlanMatch;
using plan::PlanRangeBound;
using MatchKind = PlanMatch::Kind;

PlanCondition field(PlanFieldCondition condition) { return PlanCondition::field(std::move(condition)); }

PlanCondition match(PlanMatch m) { return field(PlanFieldCondition{.key = "k", .match = std::move(m)}); }

PlanCondition equals(Literal value) { return match(PlanMatch::make<MatchKind::Value>(std::move(value))); }

PlanCondition in(std::vector<Literal> values, bool except = false) {
    if (except) return match(PlanMatch::make<MatchKind::Except>(core::LiteralList(std::move(values))));
    return match(PlanMatch::make<MatchKind::Any>(core::LiteralList(std::move(values))));
}

PlanCondition is_null(std::string key) { return PlanCondition{PlanCondition::IsNull{std::move(key)}}; }

PlanFilter must(std::vector<PlanCondition> conditions) {
    return PlanFilter::of(PlanClauses{.must = std::move(conditions)});
}

struct FilterCase {
    std::string name;
    PlanFilter filter;
    std::string expected;  // the Filter in text format, or "CODE: message"
};

void PrintTo(const FilterCase& c, std::ostream* os) { *os << c.name; }

class GrpcFilterConversion : public ::testing::TestWithParam<FilterCase> {};

TEST_P(GrpcFilterConversion, BuildsTheMessageOrRefuses) {
    const FilterCase& c = GetParam();
    auto converted = filter_to_proto(c.filter);
    if (c.expected.starts_with("ZORV-")) {
        ASSERT_FALSE(converted) << converted->DebugString();
        EXPECT_EQ(converted.error().code + ": " + converted.error().message, c.expected);
        EXPECT_EQ(converted.error().kind, core::ErrorKind::Validation);
        EXPECT_FALSE(converted.error().span);
        return;
    }
    ASSERT_TRUE(converted) << converted.error().message;
    qdrant::Filter expected;
    ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(c.expected, &expected)) << c.expected;
    EXPECT_TRUE(google::protobuf::util::MessageDifferencer::Equals(*converted, expected))
        << "got:\n"
        << converted->DebugString() << "want:\n"
        << expected.DebugString();
}

const std::string kUuid = "550E8400-e29b-41d4-a716-446655440000";
constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr std::uint64_t kAboveInt64 = 9223372036854775808ULL;

std::vector<FilterCase> structure_cases() {
    PlanCondition nested{PlanCondition::Nested{"n", PlanFilter::of(equals(Literal::int64(3)))}};
    PlanCondition group = PlanCondition::group(PlanFilter::of(PlanClauses{.must_not = {is_null("g")}}));
    return {
        {"single_condition_goes_into_must", PlanFilter::of(is_null("a")), R"(must { is_null { key: "a" } })"},
        {"only_should",
         PlanFilter::of(PlanClauses{
             .should = {PlanCondition{PlanCondition::IsEmpty{"b"}}, PlanCondition{PlanCondition::HasVector{"v"}}}}),
         R"(should { is_empty { key: "b" } } should { has_vector { has_vector: "v" } })"},
        {"must_not_error_before_should",
         PlanFilter::of(PlanClauses{.must_not = {equals(Literal::f64(2.5))},
                                    .should = {in({Literal::str("a"), Literal::int64(1)})}}),
         "ZORV-GRPC-FLOAT-MATCH: float equality value 2.5 cannot be represented on the gRPC path: the bundled Qdrant "
         "proto's Match has no double field; use a RANGE filter or an exact integer value"},
        {"min_should_with_ids",
         PlanFilter::of(PlanClauses{
             .min_should = plan::PlanMinShould{{PlanCondition{PlanCondition::HasId{{std::uint64_t{1}, kUuid}}}}, 2}}),
         R"(min_should { conditions { has_id { has_id { num: 1 } has_id { uuid: ")" + kUuid +
             R"(" } } } min_count: 2 })"},
        {"nested_single_becomes_must", must({nested}),
         R"(must { nested { key: "n" filter { must { field { key: "k" match { integer: 3 } } } } } })"},
        {"group_is_a_filter_condition", must({group}), R"(must { filter { must_not { is_null { key: "g" } } } })"},
        {"slice", must({PlanCondition{PlanCondition::Slice{4, 1}}}), R"(must { slice { total: 4 index: 1 } })"},
        {"error_inside_nested_filter",
         must({PlanCondition{PlanCondition::Nested{"n", PlanFilter::of(equals(Literal::null()))}}}),
         "ZORV-GRPC-MATCH-VALUE: match value null cannot be represented on the gRPC path"},
    };
}

std::vector<FilterCase> field_cases() {
    auto range = [](plan::PlanRange r) { return must({field(PlanFieldCondition{.key = "r", .range = std::move(r)})}); };
    auto polygon = [](std::size_t exterior, std::size_t interior) {
        plan::PlanGeoPolygon p{std::vector<plan::PlanGeoPoint>(exterior, plan::PlanGeoPoint{1, 2}),
                               {std::vector<plan::PlanGeoPoint>(interior, plan::PlanGeoPoint{3, 4})}};
        return must({field(PlanFieldCondition{.key = "p", .geo_polygon = std::move(p)})});
    };
    const std::string range_tail =
        " cannot be represented on the gRPC path: the bundled Qdrant proto stores ranges as doubles; use the REST path "
        "for string or datetime bounds";
    return {
        {"range_int_rounds_and_float_kept",
         range({.gt = PlanRangeBound::integer((std::int64_t{1} << 53) + 1), .gte = PlanRangeBound::float64(1.5)}),
         R"(must { field { key: "r" range { gt: 9007199254740992 gte: 1.5 } } })"},
        {"range_first_bad_bound_is_gt",
         range({.gt = PlanRangeBound::datetime("2024-01-01T00:00:00Z"), .lt = PlanRangeBound::text("z")}),
         "ZORV-GRPC-RANGE-TYPE: range bound DateTime(\"2024-01-01T00:00:00Z\")" + range_tail},
        {"range_text_bound_escaped", range({.lte = PlanRangeBound::text("a\"b\\\n")}),
         "ZORV-GRPC-RANGE-TYPE: range bound Text(\"a\\\"b\\\\\\n\")" + range_tail},
        {"geo_box_and_radius",
         must({field(PlanFieldCondition{.key = "g",
                                        .geo_bounding_box = plan::PlanGeoBoundingBox{{52.5, 13.4}, {52.4, 13.5}},
                                        .geo_radius = plan::PlanGeoRadius{{1.0, 2.0}, 1000.1}})}),
         R"(must { field { key: "g" geo_bounding_box { top_left { lat: 52.5 lon: 13.4 } bottom_right { lat: 52.4 lon: 13.5 } }
                   geo_radius { center { lat: 1 lon: 2 } radius: 1000.1 } } })"},
        {"polygon_open_rings_of_three", polygon(3, 3),
         R"(must { field { key: "p" geo_polygon {
              exterior { points { lat: 1 lon: 2 } points { lat: 1 lon: 2 } points { lat: 1 lon: 2 } }
              interiors { points { lat: 3 lon: 4 } points { lat: 3 lon: 4 } points { lat: 3 lon: 4 } } } } })"},
        {"polygon_short_interior", polygon(4, 2),
         "ZORV-GRPC-GEO-POLYGON: geo_polygon interior ring has 2 point(s); a polygon ring needs at least 3 vertices"},
        {"polygon_short_exterior", polygon(0, 1),
         "ZORV-GRPC-GEO-POLYGON: geo_polygon exterior ring has 0 point(s); a polygon ring needs at least 3 vertices"},
        {"values_count",
         must({field(PlanFieldCondition{.key = "c", .values_count = plan::PlanValuesCount{.lt = 5, .gte = 1}})}),
         R"(must { field { key: "c" values_count { lt: 5 gte: 1 } } })"},
    };
}

std::string match_text(const std::string& match) { return R"(must { field { key: "k" match { )" + match + " } } }"; }

std::string float_match(const std::string& shown) {
    return "ZORV-GRPC-FLOAT-MATCH: float equality value " + shown +
           " cannot be represented on the gRPC path: the bundled Qdrant proto's Match has no double field; use a RANGE "
           "filter or an exact integer value";
}

std::string match_value(const std::string& shown) {
    return "ZORV-GRPC-MATCH-VALUE: match value " + shown + " cannot be represented on the gRPC path";
}

std::vector<FilterCase> match_cases() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto text_match = [](MatchKind kind, std::string text) {
        switch (kind) {
            case MatchKind::Text: return match(PlanMatch::make<MatchKind::Text>(std::move(text)));
            case MatchKind::TextAny: return match(PlanMatch::make<MatchKind::TextAny>(std::move(text)));
            case MatchKind::Phrase: return match(PlanMatch::make<MatchKind::Phrase>(std::move(text)));
            default: return match(PlanMatch::make<MatchKind::Prefix>(std::move(text)));
        }
    };
    return {
        {"keyword", must({equals(Literal::str("red"))}), match_text(R"(keyword: "red")")},
        {"int", must({equals(Literal::int64(-4))}), match_text("integer: -4")},
        {"uint_at_int64_max", must({equals(Literal::uint64(9223372036854775807ULL))}),
         match_text("integer: 9223372036854775807")},
        {"uint_above_int64", must({equals(Literal::uint64(kAboveInt64))}), float_match("9223372036854776000")},
        {"uint_max", must({equals(Literal::uint64(std::numeric_limits<std::uint64_t>::max()))}),
         float_match("18446744073709552000")},
        {"whole_float", must({equals(Literal::f64(3.0))}), match_text("integer: 3")},
        {"negative_zero", must({equals(Literal::f64(-0.0))}), match_text("integer: 0")},
        {"float_int64_min", must({equals(Literal::f64(-kTwoTo63))}), match_text("integer: -9223372036854775808")},
        {"float_two_to_63", must({equals(Literal::f64(kTwoTo63))}), float_match("9223372036854776000")},
        {"fractional_float", must({equals(Literal::f64(2.5))}), float_match("2.5")},
        {"small_fraction", must({equals(Literal::f64(0.001))}), float_match("0.001")},
        {"large_float", must({equals(Literal::f64(1e20))}), float_match("100000000000000000000")},
        {"nan", must({equals(Literal::f64(nan))}), match_value("null")},
        {"infinity", must({equals(Literal::f64(-inf))}), match_value("null")},
        {"bool", must({equals(Literal::boolean(true))}), match_text("boolean: true")},
        {"null", must({equals(Literal::null())}), match_value("null")},
        {"f32_array", must({equals(Literal::f32_array({0.5F}))}), match_value("[0.5]")},
        {"list", must({equals(Literal::list({Literal::int64(1)}))}), match_value("List([Int(1)])")},
        {"text", must({text_match(MatchKind::Text, "a b")}), match_text(R"(text: "a b")")},
        {"text_any", must({text_match(MatchKind::TextAny, "a b")}), match_text(R"(text_any: "a b")")},
        {"phrase", must({text_match(MatchKind::Phrase, "a b")}), match_text(R"(phrase: "a b")")},
        {"prefix", must({text_match(MatchKind::Prefix, "ab")}), match_text(R"(prefix: "ab")")},
    };
}

std::string list_type(const std::string& shown) {
    return "ZORV-GRPC-LIST-TYPE: IN/NOT IN list entry " + shown +
           " cannot be represented on the gRPC path: the bundled Qdrant proto only supports homogeneous string or "
           "int64 lists; use an exact integer value or a RANGE filter";
}

std::string mixed(const std::string& shown) {
    return "ZORV-GRPC-LIST-TYPE: IN/NOT IN list mixes strings with non-string entry " + shown +
           ": the bundled Qdrant proto only supports homogeneous string or int64 lists";
}

std::vector<FilterCase> list_cases() {
    return {
        {"empty_in", must({in({})}), match_text("keywords {}")},
        {"empty_not_in", must({in({}, true)}), match_text("except_keywords {}")},
        {"strings", must({in({Literal::str("a"), Literal::str("b")})}),
         match_text(R"(keywords { strings: "a" strings: "b" })")},
        {"integers_with_whole_float", must({in({Literal::int64(1), Literal::f64(2.0), Literal::uint64(3)})}),
         match_text("integers { integers: 1 integers: 2 integers: 3 }")},
        {"not_in_integers", must({in({Literal::int64(5)}, true)}), match_text("except_integers { integers: 5 }")},
        {"fractional_entry", must({in({Literal::int64(1), Literal::f64(2.5)})}), list_type("2.5")},
        {"bool_entry", must({in({Literal::boolean(true)})}), list_type("true")},
        {"string_then_int", must({in({Literal::str("a"), Literal::int64(1)})}), mixed("1")},
        {"int_then_string", must({in({Literal::int64(1), Literal::str("a")})}), mixed("1")},
        {"uint_above_int64", must({in({Literal::int64(1), Literal::uint64(kAboveInt64)}, true)}),
         "ZORV-GRPC-LIST-INT: integer 9223372036854775808 in an IN/NOT IN list cannot be represented on the gRPC "
         "path: the bundled Qdrant proto stores match lists as int64 (max 9223372036854775807)"},
    };
}

INSTANTIATE_TEST_SUITE_P(Structure, GrpcFilterConversion, ::testing::ValuesIn(structure_cases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Fields, GrpcFilterConversion, ::testing::ValuesIn(field_cases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Matches, GrpcFilterConversion, ::testing::ValuesIn(match_cases()),
                         [](const auto& info) { return info.param.name; });
INSTANTIATE_TEST_SUITE_P(Lists, GrpcFilterConversion, ::testing::ValuesIn(list_cases()),
                         [](const auto& info) { return info.param.name; });

TEST(GrpcFilterConversion, ConditionAloneHasNoFilterAround) {
    auto converted = condition_to_proto(is_null("a"));
    ASSERT_TRUE(converted);
    EXPECT_TRUE(converted->has_is_null());
    EXPECT_EQ(converted->is_null().key(), "a");
}

TEST(GrpcFilterConversion, UnboundPlaceholderStopsTheProcess) {
    EXPECT_DEATH(static_cast<void>(filter_to_proto(must({equals(Literal::param("p"))}))),
                 "invariant violation: unbound parameter :p reached gRPC match conversion");
    EXPECT_DEATH(static_cast<void>(filter_to_proto(must({in({Literal::positional(2)})}))),
                 "invariant violation: unbound positional parameter \\?2 reached gRPC match conversion");
}

}  // namespace
}  // namespace zorv::runtime::rpc
