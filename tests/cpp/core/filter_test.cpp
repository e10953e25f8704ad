#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ast/filter.h"
#include "core/lexer.h"
#include "core/parser/filter.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using namespace zorv::core::test_support;

// ---- a compact debug form of filter trees --------------------------------------------------

std::string render_point_id(const PointId& id) {
    switch (id.kind()) {
        case PointId::Kind::Number: return std::to_string(std::get<0>(id.value));
        case PointId::Kind::String: return "'" + std::get<1>(id.value) + "'";
        case PointId::Kind::Param:
        case PointId::Kind::PositionalParam: return literal_debug(Literal::placeholder(std::get<2>(id.value)));
    }
    return "?";
}

std::string render_values(const LiteralList& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + literal_debug(values[i]);
    return out + "]";
}

std::string render_point(const GeoPoint& p) { return "(" + float_debug(p.lat) + ", " + float_debug(p.lon) + ")"; }

std::string render_ring(const std::vector<GeoPoint>& ring) {
    std::string out = "[";
    for (std::size_t i = 0; i < ring.size(); ++i) out += (i ? ", " : "") + render_point(ring[i]);
    return out + "]";
}

std::string render(const Filter& f);

std::string render_list(const std::vector<Filter>& filters) {
    std::string out = "[";
    for (std::size_t i = 0; i < filters.size(); ++i) out += (i ? ", " : "") + render(filters[i]);
    return out + "]";
}

std::string op(CompareOp o) { return std::string(compare_op_name(o)); }

std::string render(const Filter& f) {
    using K = Filter::Kind;
    switch (f.kind()) {
        case K::PointId: {
            const PointIdPredicate& p = f.get<K::PointId>().predicate;
            if (p.kind() == PointIdPredicate::Kind::Eq) return "Id(" + render_point_id(std::get<0>(p.value)) + ")";
            std::string out = "Ids[";
            const auto& ids = std::get<1>(p.value);
            for (std::size_t i = 0; i < ids.size(); ++i) out += (i ? ", " : "") + render_point_id(ids[i]);
            return out + "]";
        }
        case K::Compare: {
            const auto& n = f.get<K::Compare>();
            return "Compare(" + n.field + ", " + op(n.op) + ", " + literal_debug(n.value) + ")";
        }
        case K::Between: {
            const auto& n = f.get<K::Between>();
            return "Between(" + n.field + ", " + literal_debug(n.low) + ", " + literal_debug(n.high) + ")";
        }
        case K::In: return "In(" + f.get<K::In>().field + ", " + render_values(f.get<K::In>().values) + ")";
        case K::IsNull: return "IsNull(" + f.get<K::IsNull>().field + ")";
        case K::IsEmpty: return "IsEmpty(" + f.get<K::IsEmpty>().field + ")";
        case K::MatchText: return "MatchText(" + f.get<K::MatchText>().field + ", " + f.get<K::MatchText>().text + ")";
        case K::MatchAny:
            return "MatchAny(" + f.get<K::MatchAny>().field + ", " + render_values(f.get<K::MatchAny>().values) + ")";
        case K::MatchPhrase:
            return "MatchPhrase(" + f.get<K::MatchPhrase>().field + ", " + f.get<K::MatchPhrase>().text + ")";
        case K::MatchPrefix:
            return "MatchPrefix(" + f.get<K::MatchPrefix>().field + ", " + f.get<K::MatchPrefix>().prefix + ")";
        case K::MatchTokens:
            return "MatchTokens(" + f.get<K::MatchTokens>().field + ", " + f.get<K::MatchTokens>().text + ")";
        case K::MatchExcept:
            return "MatchExcept(" + f.get<K::MatchExcept>().field + ", " +
                   render_values(f.get<K::MatchExcept>().values) + ")";
        case K::MinShould:
            return "MinShould(" + std::to_string(f.get<K::MinShould>().min_count) + ", " +
                   render_list(f.get<K::MinShould>().operands) + ")";
        case K::And: return "And" + render_list(f.get<K::And>().operands);
        case K::Or: return "Or" + render_list(f.get<K::Or>().operands);
        case K::Not: return "Not(" + render(*f.get<K::Not>().operand) + ")";
        case K::Nested: return "Nested(" + f.get<K::Nested>().path + ", " + render(*f.get<K::Nested>().filter) + ")";
        case K::HasVector: return "HasVector(" + f.get<K::HasVector>().name + ")";
        case K::Slice:
            return "Slice(" + std::to_string(f.get<K::Slice>().total) + ", " + std::to_string(f.get<K::Slice>().index) +
                   ")";
        case K::ValuesCount: {
            const auto& n = f.get<K::ValuesCount>();
            return "ValuesCount(" + n.field + ", " + op(n.op) + ", " + std::to_string(n.count) + ")";
        }
        case K::GeoBoundingBox: {
            const auto& n = f.get<K::GeoBoundingBox>();
            return "GeoBoundingBox(" + n.field + ", " + render_point(n.top_left) + ", " + render_point(n.bottom_right) +
                   ")";
        }
        case K::GeoRadius: {
            const auto& n = f.get<K::GeoRadius>();
            return "GeoRadius(" + n.field + ", " + render_point(n.center) + ", " + float_debug(n.radius) + ")";
        }
        case K::GeoPolygon: {
            const auto& n = f.get<K::GeoPolygon>();
            std::string holes = "[";
            for (std::size_t i = 0; i < n.interiors.size(); ++i) holes += (i ? ", " : "") + render_ring(n.interiors[i]);
            return "GeoPolygon(" + n.field + ", " + render_ring(n.exterior) + ", " + holes + "])";
        }
    }
    return "?";
}

// ---- fixture: lex, parse, and describe the outcome ------------------------------------------

struct Outcome {
    Result<Filter> result;
    std::string rest;  // the first token left unconsumed, "" at the end
};

Outcome run(const std::string& text) {
    auto tokens = lex_all(text);
    EXPECT_TRUE(tokens.has_value()) << text;
    Parser parser(text, tokens ? *tokens : std::vector<Token>{});
    Result<Filter> r = parse_filter(parser);
    return Outcome{std::move(r), std::string(parser.current().text)};
}

// "tree", "tree REST tok", or "ERR CODE|message|start..end".
std::string describe(const std::string& text) {
    Outcome o = run(text);
    if (!o.result) {
        const ZorvError& e = o.result.error();
        const bool validation = e.code.starts_with("ZORV-VALIDATION-");
        EXPECT_EQ(e.kind, validation ? ErrorKind::Validation : ErrorKind::Parse) << e.code;
        EXPECT_TRUE(e.span.has_value());
        return "ERR " + e.code + "|" + e.message + "|" + std::to_string(e.span->start) + ".." +
               std::to_string(e.span->end);
    }
    std::string out = render(*o.result);
    if (!o.rest.empty()) out += " REST " + o.rest;
    return out;
}

using Case = TextCase;

class FilterGrammar : public ::testing::TestWithParam<Case> {};

TEST_P(FilterGrammar, Parses) { EXPECT_EQ(describe(GetParam().input), GetParam().expected); }

const std::string kP = "{lat: 1, lon: 2}";  // a valid geo point

const Case kGrammarCases[] = {
    // precedence and grouping
    {"a = 1 AND b = 2 AND c = 3", "And[Compare(a, Eq, Int(1)), Compare(b, Eq, Int(2)), Compare(c, Eq, Int(3))]"},
    {"a = 1 OR b = 2 AND c = 3", "Or[Compare(a, Eq, Int(1)), And[Compare(b, Eq, Int(2)), Compare(c, Eq, Int(3))]]"},
    {"NOT a = 1 AND b = 2 OR c = 3",
     "Or[And[Not(Compare(a, Eq, Int(1))), Compare(b, Eq, Int(2))], Compare(c, Eq, Int(3))]"},
    {"(a = 1 OR b = 2) OR c = 3", "Or[Or[Compare(a, Eq, Int(1)), Compare(b, Eq, Int(2))], Compare(c, Eq, Int(3))]"},
    {"a = 1 AND (b = 2 AND c = 3)", "And[Compare(a, Eq, Int(1)), And[Compare(b, Eq, Int(2)), Compare(c, Eq, Int(3))]]"},
    {"((a = 1))", "Compare(a, Eq, Int(1))"},
    {"not not a = 1", "Not(Not(Compare(a, Eq, Int(1))))"},
    {"a = 1 b = 2", "Compare(a, Eq, Int(1)) REST b"},
    {"a = 1 AND", "ERR ZORV-PARSE-FIELD|expected a field name, got ''|9..9"},
    {"(a = 1", "ERR ZORV-PARSE-EXPECTED|expected RPAREN but got ''|6..6"},
    // comparisons
    {"price != 10", "Not(Compare(price, Eq, Int(10)))"},
    {"price >= 1.5", "Compare(price, Gte, Float(1.5))"},
    {"price < -3", "Compare(price, Lt, Int(-3))"},
    {"d > '2024-01-01'", "Compare(d, Gt, Str(\"2024-01-01\"))"},
    {"p <= :hi", "Compare(p, Lte, Param(\"hi\", Some(Span { start: 5, end: 8 })))"},
    {"p > ?", "Compare(p, Gt, PositionalParam(0, Some(Span { start: 4, end: 5 })))"},
    {"flag = true", "Compare(flag, Eq, Bool(true))"},
    {"m = {k: [1]}", "Compare(m, Eq, Dict([(\"k\", List([Int(1)]))]))"},
    {"meta.tags[].name = 'x'", "Compare(meta.tags[].name, Eq, Str(\"x\"))"},
    {"'my field' = 1", "Compare(my field, Eq, Int(1))"},
    {"flag > true",
     "ERR ZORV-PARSE-FILTER|range comparison requires a number, string, datetime, or parameter bound, "
     "got boolean|7..11"},
    {"x >= [1]",
     "ERR ZORV-PARSE-FILTER|range comparison requires a number, string, datetime, or parameter bound, "
     "got array|5..8"},
    {"x < {a: 1}",
     "ERR ZORV-PARSE-FILTER|range comparison requires a number, string, datetime, or parameter bound, "
     "got object|4..10"},
    {"x <= null",
     "ERR ZORV-PARSE-FILTER|range comparison requires a number, string, datetime, or parameter bound, "
     "got null|5..9"},
    {"x = ", "ERR ZORV-PARSE-VALUE|unexpected value token ''|4..4"},
    // point-id field
    {"id = 7", "Id(7)"},
    {"ID = 'x'", "Id('x')"},
    {"'id' = 7", "Id(7)"},
    {"ids = 7", "Compare(ids, Eq, Int(7))"},
    {"id != 5", "Not(Id(5))"},
    {"id = :p", "Id(Param(\"p\", Some(Span { start: 5, end: 7 })))"},
    {"id IN (1, 'a', ?)", "Ids[1, 'a', PositionalParam(0, Some(Span { start: 15, end: 16 }))]"},
    {"id NOT IN (1, 2)", "Not(Ids[1, 2])"},
    {"NOT id IN (1, 2)", "Not(Ids[1, 2])"},
    {"id > 5", "ERR ZORV-VALIDATION-ID-PREDICATE|point ID predicates support only =, !=, IN, and NOT IN|3..4"},
    {"id > true",
     "ERR ZORV-PARSE-FILTER|range comparison requires a number, string, datetime, or parameter bound, "
     "got boolean|5..9"},
    {"id = -1", "ERR ZORV-VALIDATION-POINT-ID|point IDs must be unsigned integers or strings|5..7"},
    {"id = 1.5", "ERR ZORV-VALIDATION-POINT-ID|point IDs must be unsigned integers or strings|5..8"},
    {"id IN (1, -2)", "ERR ZORV-VALIDATION-POINT-ID|point IDs must be unsigned integers or strings|10..12"},
    {"id IN (-2, )", "ERR ZORV-PARSE-VALUE|unexpected value token ')'|11..12"},
    {"id IN ()", "ERR ZORV-PARSE-IN|IN requires a non-empty value list|6..8"},
    {"id NOT IN ( )", "ERR ZORV-PARSE-IN|NOT IN requires a non-empty value list|10..13"},
    {"id BETWEEN 1 AND 2",
     "ERR ZORV-VALIDATION-ID-PREDICATE|point ID predicates support only =, !=, IN, and NOT IN|3..10"},
    {"id IS NULL", "ERR ZORV-VALIDATION-ID-PREDICATE|point ID predicates support only =, !=, IN, and NOT IN|3..5"},
    {"Id MATCH 'x'", "ERR ZORV-VALIDATION-ID-PREDICATE|point ID predicates support only =, !=, IN, and NOT IN|3..8"},
    // BETWEEN
    {"a BETWEEN 1 AND 5", "Between(a, Int(1), Int(5))"},
    {"a BETWEEN '2024-01-01' AND :hi",
     "Between(a, Str(\"2024-01-01\"), Param(\"hi\", Some(Span { start: 27, end: 30 })))"},
    {"a BETWEEN true AND 2",
     "ERR ZORV-PARSE-FILTER|range comparison requires a number, string, datetime, or "
     "parameter bound, got boolean|10..14"},
    {"a BETWEEN 1 AND null",
     "ERR ZORV-PARSE-FILTER|range comparison requires a number, string, datetime, or "
     "parameter bound, got null|16..20"},
    {"a BETWEEN [1] AND 2", "ERR ZORV-PARSE-LITERAL|expected a scalar literal|10..13"},
    {"a BETWEEN 1 OR 2", "ERR ZORV-PARSE-EXPECTED|expected AND but got 'OR'|12..14"},
    // IN lists
    {"x IN (1, 'a')", "In(x, [Int(1), Str(\"a\")])"},
    {"x NOT IN (1)", "Not(In(x, [Int(1)]))"},
    {"x IN ()", "ERR ZORV-PARSE-IN|IN requires a non-empty value list|5..7"},
    {"x NOT IN ()", "ERR ZORV-PARSE-IN|NOT IN requires a non-empty value list|9..11"},
    {"x IN ([1])", "ERR ZORV-PARSE-LITERAL|expected a scalar literal|6..9"},
    {"x NOT LIKE 1", "ERR ZORV-PARSE-EXPECTED|expected IN but got 'LIKE'|6..10"},
    // IS
    {"tags IS NULL", "IsNull(tags)"},
    {"tags IS NOT EMPTY", "Not(IsEmpty(tags))"},
    {"tags is not null", "Not(IsNull(tags))"},
    {"tags IS FULL", "ERR ZORV-PARSE-FILTER|IS requires NULL, EMPTY, NOT NULL, or NOT EMPTY|8..12"},
    {"tags IS NOT", "ERR ZORV-PARSE-FILTER|IS requires NULL, EMPTY, NOT NULL, or NOT EMPTY|11..11"},
    // MATCH
    {"t MATCH 'x'", "MatchText(t, x)"},
    {"t MATCH TEXT 'x'", "ERR ZORV-PARSE-EXPECTED|expected STRING but got 'TEXT'|8..12"},
    {"t MATCH ANY ('a', 'b')", "MatchAny(t, [Str(\"a\"), Str(\"b\")])"},
    {"t MATCH EXCEPT (1)", "MatchExcept(t, [Int(1)])"},
    {"t MATCH PHRASE 'a b'", "MatchPhrase(t, a b)"},
    {"t MATCH PREFIX 'ab'", "MatchPrefix(t, ab)"},
    {"t MATCH TOKENS 'a b'", "MatchTokens(t, a b)"},
    {"t MATCH ANY ()", "ERR ZORV-PARSE-MATCH-ANY|MATCH ANY requires a non-empty exact-value list|12..13"},
    {"t MATCH EXCEPT ()", "ERR ZORV-PARSE-MATCH-EXCEPT|MATCH EXCEPT requires a non-empty exact-value list|15..16"},
    {"t MATCH PHRASE :p", "ERR ZORV-PARSE-EXPECTED|expected STRING but got ':'|15..16"},
    // VALUES_COUNT
    {"n VALUES_COUNT > 3", "ValuesCount(n, Gt, 3)"},
    {"n VALUES_COUNT != 3", "Not(ValuesCount(n, Eq, 3))"},
    {"n VALUES_COUNT 3", "ERR ZORV-PARSE-COMPARISON|expected a comparison operator|15..16"},
    {"n VALUES_COUNT", "ERR ZORV-PARSE-COMPARISON|expected a comparison operator|14..14"},
    {"n VALUES_COUNT >= -1", "ERR ZORV-PARSE-NONNEGATIVE-INTEGER|VALUES_COUNT must be a non-negative integer|18..20"},
    // missing predicate
    {"a", "ERR ZORV-PARSE-FILTER|expected a filter operator after 'a'|1..1"},
    {"a LIKE 1", "ERR ZORV-PARSE-FILTER|expected a filter operator after 'a'|2..6"},
    {"= 1", "ERR ZORV-PARSE-FIELD|expected a field name, got '='|0..1"},
    // HAS_VECTOR, MIN SHOULD, NESTED, SLICE
    {"HAS_VECTOR dense", "HasVector(dense)"},
    {"has_vector 'my vec'", "HasVector(my vec)"},
    {"HAS_VECTOR 1", "ERR ZORV-PARSE-IDENTIFIER|expected identifier or quoted name, got '1'|11..12"},
    {"MIN SHOULD 5 (a = 1)", "MinShould(5, [Compare(a, Eq, Int(1))])"},
    {"MIN SHOULD 2 (a = 1, b = 2 OR c = 3)",
     "MinShould(2, [Compare(a, Eq, Int(1)), Or[Compare(b, Eq, Int(2)), Compare(c, Eq, Int(3))]])"},
    {"MIN SHOULD 0 )", "ERR ZORV-VALIDATION-MIN-SHOULD|MIN SHOULD count must be >= 1|0..3"},
    {"MIN SHOULD -1 (a = 1)", "ERR ZORV-PARSE-NONNEGATIVE-INTEGER|MIN SHOULD must be a non-negative integer|11..13"},
    {"MIN SHOULD 1 ()", "ERR ZORV-PARSE-FIELD|expected a field name, got ')'|14..15"},
    {"min = 3", "Compare(min, Eq, Int(3))"},
    {"MIN > 3", "Compare(MIN, Gt, Int(3))"},
    {"NESTED('items', qty > 1 AND sku = 'x')",
     "Nested(items, And[Compare(qty, Gt, Int(1)), Compare(sku, Eq, Str(\"x\"))])"},
    {"NESTED(items, qty > 1)", "ERR ZORV-PARSE-EXPECTED|expected STRING but got 'items'|7..12"},
    {"SLICE(4, 1)", "Slice(4, 1)"},
    {"SLICE(0, 0)", "ERR ZORV-VALIDATION-SLICE|SLICE total must be >= 1|0..5"},
    {"SLICE(2, 2)", "ERR ZORV-VALIDATION-SLICE|SLICE index (2) must be less than total (2)|0..5"},
    {"SLICE(2, -1)", "ERR ZORV-PARSE-NONNEGATIVE-INTEGER|SLICE must be a non-negative integer|9..11"},
    // geographic predicates
    {"loc GEO_BBOX {top_left: {lat: 1, lon: 2}, bottom_right: {lat: -1.5, lon: 3}}",
     "GeoBoundingBox(loc, (1.0, 2.0), (-1.5, 3.0))"},
    {"loc GEO_BBOX {TOP_LEFT: {LAT: 90, Lon: 180}, Bottom_Right: {lat: -90, lon: -180}, extra: 1}",
     "GeoBoundingBox(loc, (90.0, 180.0), (-90.0, -180.0))"},
    {"loc GEO_BBOX 5", "ERR ZORV-VALIDATION-GEO|GEO_BBOX requires an object|13..14"},
    {"loc GEO_BBOX {bottom_right: " + kP + "}",
     "ERR ZORV-VALIDATION-GEO|top_left must be an object with lat and lon|13..14"},
    {"loc GEO_BBOX {top_left: " + kP + ", bottom_right: [1, 2]}",
     "ERR ZORV-VALIDATION-GEO|bottom_right must be an object with lat and lon|13..14"},
    {"loc GEO_BBOX {top_left: {lat: 90.0001, lon: 0}, bottom_right: " + kP + "}",
     "ERR ZORV-VALIDATION-GEO|latitude must be between -90 and 90|13..14"},
    {"loc GEO_BBOX {top_left: {lat: 0, lon: -180.5}, bottom_right: " + kP + "}",
     "ERR ZORV-VALIDATION-GEO|longitude must be between -180 and 180|13..14"},
    {"loc GEO_BBOX {top_left: {lon: 0}, bottom_right: " + kP + "}",
     "ERR ZORV-VALIDATION-GEO|lat must be numeric|13..14"},
    {"loc GEO_BBOX {top_left: {lat: 0, lon: '1'}, bottom_right: " + kP + "}",
     "ERR ZORV-VALIDATION-GEO|lon must be numeric|13..14"},
    {"loc GEO_BBOX {top_left: {lat: 18446744073709551615, lon: 0}, bottom_right: " + kP + "}",
     "ERR ZORV-VALIDATION-GEO|lat must be numeric|13..14"},
    {"loc GEO_RADIUS {center: " + kP + ", radius: 100}", "GeoRadius(loc, (1.0, 2.0), 100.0)"},
    {"loc GEO_RADIUS {center: " + kP + ", radius: 0}",
     "ERR ZORV-VALIDATION-GEO|radius must be greater than zero|15..16"},
    {"loc GEO_RADIUS {center: " + kP + ", radius: 'x'}", "ERR ZORV-VALIDATION-GEO|radius must be numeric|15..16"},
    {"loc GEO_RADIUS {radius: 1}", "ERR ZORV-VALIDATION-GEO|center must be an object with lat and lon|15..16"},
    {"loc GEO_RADIUS [1]", "ERR ZORV-VALIDATION-GEO|GEO_RADIUS requires an object|15..16"},
    {"loc GEO_POLYGON {exterior: [" + kP + ", " + kP + ", {lat: 3, lon: 4}]}",
     "GeoPolygon(loc, [(1.0, 2.0), (1.0, 2.0), (3.0, 4.0)], [])"},
    {"loc GEO_POLYGON {exterior: [" + kP + ", " + kP + ", " + kP + "], interiors: [[" + kP + ", " + kP + ", " + kP +
         "]]}",
     "GeoPolygon(loc, [(1.0, 2.0), (1.0, 2.0), (1.0, 2.0)], [[(1.0, 2.0), (1.0, 2.0), (1.0, 2.0)]])"},
    {"loc GEO_POLYGON {}", "ERR ZORV-VALIDATION-GEO|exterior is required|16..17"},
    {"loc GEO_POLYGON 'x'", "ERR ZORV-VALIDATION-GEO|GEO_POLYGON requires an object|16..19"},
    {"loc GEO_POLYGON {exterior: 5}", "ERR ZORV-VALIDATION-GEO|exterior must be a list of geo-point objects|16..17"},
    {"loc GEO_POLYGON {exterior: [" + kP + ", " + kP + ", 5]}",
     "ERR ZORV-VALIDATION-GEO|exterior[2] must be an object with lat and lon|16..17"},
    {"loc GEO_POLYGON {exterior: [" + kP + ", " + kP + "]}",
     "ERR ZORV-VALIDATION-GEO|exterior polygon ring must have at least 3 points|16..17"},
    {"loc GEO_POLYGON {exterior: [" + kP + ", " + kP + ", " + kP + "], interiors: 5}",
     "ERR ZORV-VALIDATION-GEO|interiors must be a list of point-rings|16..17"},
    {"loc GEO_POLYGON {exterior: [" + kP + ", " + kP + ", " + kP + "], interiors: [5]}",
     "ERR ZORV-VALIDATION-GEO|interior ring must be a list of geo-point objects|16..17"},
    {"loc GEO_POLYGON {exterior: [" + kP + ", " + kP + ", " + kP + "], interiors: [[" + kP + ", 1]]}",
     "ERR ZORV-VALIDATION-GEO|interior ring[1] must be an object with lat and lon|16..17"},
    {"loc GEO_POLYGON {exterior: [" + kP + ", " + kP + ", " + kP + "], interiors: [[" + kP + ", " + kP + "]]}",
     "ERR ZORV-VALIDATION-GEO|each interior polygon ring must have at least 3 points|16..17"},
};

INSTANTIATE_TEST_SUITE_P(Cases, FilterGrammar, ::testing::ValuesIn(kGrammarCases));

// ---- nesting limit ------------------------------------------------------------------------

class FilterNesting : public ::testing::TestWithParam<NestingCase> {};

TEST_P(FilterNesting, AllowsExactly128Levels) {
    const NestingCase& c = GetParam();
    const std::string ok = repeat(c.open, 128) + "a = 1" + repeat(c.close, 128);
    Outcome fine = run(ok);
    ASSERT_TRUE(fine.result.has_value()) << fine.result.error().message;
    EXPECT_EQ(fine.rest, "");

    const std::string deep = repeat(c.open, 129) + "a = 1" + repeat(c.close, 129);
    Outcome o = run(deep);
    ASSERT_FALSE(o.result.has_value());
    expect_nesting_error(o.result.error(), c);
}

TEST_P(FilterNesting, HugeInputFailsCleanly) {
    const NestingCase& c = GetParam();
    Outcome o = run(repeat(c.open, 100000) + "a = 1");
    ASSERT_FALSE(o.result.has_value());
    EXPECT_EQ(o.result.error().code, "ZORV-PARSE-NESTING");
}

INSTANTIATE_TEST_SUITE_P(Forms, FilterNesting,
                         ::testing::Values(NestingCase{"Parens", "(", ")", 0, 1}, NestingCase{"Not", "NOT ", "", 0, 3},
                                           NestingCase{"Nested", "NESTED('p', ", ")", 6, 1},
                                           NestingCase{"MinShould", "MIN SHOULD 1 (", ")", 13, 1}),
                         [](const auto& info) { return info.param.name; });

// ---- trees, copies and point selectors -----------------------------------------------------

Filter parse_ok(const std::string& text) {
    Outcome o = run(text);
    EXPECT_TRUE(o.result.has_value()) << text << ": " << (o.result ? "" : o.result.error().message);
    return o.result ? std::move(*o.result) : Filter{};
}

TEST(FilterTree, KindsFollowTagOrder) {
    EXPECT_EQ(static_cast<int>(parse_ok("NOT a = 1").kind()), 15);
    EXPECT_EQ(static_cast<int>(parse_ok("a = 1 OR b = 1").kind()), 14);
    EXPECT_EQ(static_cast<int>(parse_ok("l GEO_RADIUS {center: {lat: 0, lon: 0}, radius: 1}").kind()), 21);
    EXPECT_EQ(filter_kind_name(Filter::Kind::GeoBoundingBox), "GeoBoundingBox");
    EXPECT_EQ(filter_kind_name(Filter::Kind::PointId), "PointId");
}

TEST(FilterTree, CloneIsDeepAndEqual) {
    Filter original = parse_ok("NOT (a = :x OR NESTED('n', b IN (1, 2))) AND id = 3");
    Filter copy = clone_filter(original);
    EXPECT_EQ(copy, original);
    auto& operands = copy.get<Filter::Kind::And>().operands;
    auto& inner_or = operands[0].get<Filter::Kind::Not>().operand->get<Filter::Kind::Or>();
    inner_or.operands[0].get<Filter::Kind::Compare>().field = "changed";
    EXPECT_NE(copy, original);
    EXPECT_EQ(render(original), render(parse_ok("NOT (a = :x OR NESTED('n', b IN (1, 2))) AND id = 3")));
}

TEST(FilterTree, NotEqualsIsNegatedEquality) {
    EXPECT_EQ(parse_ok("price != 10"), negate_filter(parse_ok("price = 10")));
    EXPECT_EQ(parse_ok("id NOT IN (1, 2)"), parse_ok("NOT id IN (1, 2)"));
}

struct SelectorCase {
    std::string input;
    PointSelector::Kind kind;
};

TEST(FilterTree, PointSelector) {
    const SelectorCase cases[] = {
        {"id = 7", PointSelector::Kind::Id},
        {"id IN (1, 2)", PointSelector::Kind::Ids},
        {"id = 7 AND x = 1", PointSelector::Kind::Filter},
        {"id != 7", PointSelector::Kind::Filter},
        {"x = 1", PointSelector::Kind::Filter},
    };
    for (const SelectorCase& c : cases) {
        Filter filter = parse_ok(c.input);
        PointSelector selector = filter_to_point_selector(clone_filter(filter));
        ASSERT_EQ(selector.kind(), c.kind) << c.input;
        if (c.kind == PointSelector::Kind::Filter) {
            EXPECT_EQ(*std::get<2>(selector.value), filter) << c.input;
        }
    }
    PointSelector one = filter_to_point_selector(parse_ok("id = 7"));
    EXPECT_EQ(std::get<0>(one.value), (PointId{PointId::Value(std::in_place_index<0>, 7u)}));
    PointSelector many = filter_to_point_selector(parse_ok("id IN (1, 'b')"));
    const std::vector<PointId> expected = {PointId{PointId::Value(std::in_place_index<0>, 1u)},
                                           PointId{PointId::Value(std::in_place_index<1>, "b")}};
    EXPECT_EQ(std::get<1>(many.value), expected);
}

TEST(FilterTree, PlaceholdersTakeTheSharedCounter) {
    std::string text = "a = ? AND id IN (?, ?)";
    auto tokens = lex_all(text);
    ASSERT_TRUE(tokens);
    Parser parser(text, *tokens);
    Result<Filter> r = parse_filter(parser);
    ASSERT_TRUE(r);
    EXPECT_EQ(parser.positional_count(), 3u);
    EXPECT_EQ(render(*r),
              "And[Compare(a, Eq, PositionalParam(0, Some(Span { start: 4, end: 5 }))), "
              "Ids[PositionalParam(1, Some(Span { start: 17, end: 18 })), "
              "PositionalParam(2, Some(Span { start: 20, end: 21 }))]]");
}

}  // namespace
}  // namespace zorv::core
