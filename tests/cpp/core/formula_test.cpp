#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "core/ast/formula.h"
#include "core/lexer.h"
#include "core/parser/filter.h"
#include "core/parser/formula.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using namespace zorv::core::test_support;

// ---- a compact debug form of formula trees -------------------------------------------------

std::string render(const FormulaExpr& e);

std::string opt(const std::optional<double>& v) { return v ? float_debug(*v) : "-"; }

std::string render_args(const std::vector<FormulaExpr>& args) {
    std::string out = "[";
    for (std::size_t i = 0; i < args.size(); ++i) out += (i ? ", " : "") + render(args[i]);
    return out + "]";
}

std::string binary(const char* name, const Box<FormulaExpr>& l, const Box<FormulaExpr>& r) {
    return std::string(name) + "(" + render(*l) + ", " + render(*r) + ")";
}

std::string render(const FormulaExpr& e) {
    using K = FormulaExpr::Kind;
    switch (e.kind()) {
        case K::Constant: return float_debug(e.get<K::Constant>().value);
        case K::Variable: {
            const auto& v = e.get<K::Variable>();
            if (!v.param) return "Var(" + v.name + ")";
            return std::string(v.param->is_positional() ? "Positional(" : "Named(") + v.param->text() + ")";
        }
        case K::Sum: return binary("Sum", e.get<K::Sum>().left, e.get<K::Sum>().right);
        case K::Sub: return binary("Sub", e.get<K::Sub>().left, e.get<K::Sub>().right);
        case K::Mul: return binary("Mul", e.get<K::Mul>().left, e.get<K::Mul>().right);
        case K::Div: {
            const auto& n = e.get<K::Div>();
            return "Div(" + render(*n.left) + ", " + render(*n.right) + ", " + opt(n.by_zero_default) + ")";
        }
        case K::Neg: return "Neg(" + render(*e.get<K::Neg>().operand) + ")";
        case K::Abs: return "Abs(" + render(*e.get<K::Abs>().x) + ")";
        case K::Sqrt: return "Sqrt(" + render(*e.get<K::Sqrt>().x) + ", " + opt(e.get<K::Sqrt>().domain_default) + ")";
        case K::Log: return "Log(" + render(*e.get<K::Log>().x) + ", " + opt(e.get<K::Log>().domain_default) + ")";
        case K::Ln: return "Ln(" + render(*e.get<K::Ln>().x) + ", " + opt(e.get<K::Ln>().domain_default) + ")";
        case K::Exp: return "Exp(" + render(*e.get<K::Exp>().x) + ")";
        case K::Acosh:
            return "Acosh(" + render(*e.get<K::Acosh>().x) + ", " + opt(e.get<K::Acosh>().domain_default) + ")";
        case K::Pow: return binary("Pow", e.get<K::Pow>().base, e.get<K::Pow>().exponent);
        case K::Max: return "Max" + render_args(e.get<K::Max>().args);
        case K::Min: return "Min" + render_args(e.get<K::Min>().args);
        case K::GeoDistance: {
            const auto& n = e.get<K::GeoDistance>();
            return "GeoDistance(" + float_debug(n.lat) + ", " + float_debug(n.lon) + ", " + n.field + ")";
        }
        case K::Decay: {
            const auto& n = e.get<K::Decay>();
            return "Decay(" + n.kind + ", " + render(*n.x) + ", " + (n.target ? render(**n.target) : "-") + ", " +
                   opt(n.scale) + ", " + opt(n.midpoint) + ")";
        }
        case K::Case: {
            const auto& n = e.get<K::Case>();
            return "Case(" + std::string(filter_kind_name(n.cond->kind())) + ", " + render(*n.then_) + ", " +
                   render(*n.else_) + ")";
        }
        case K::MatchCondition: {
            const auto& n = e.get<K::MatchCondition>();
            std::string out = "Match(" + n.field + ", [";
            for (std::size_t i = 0; i < n.values.size(); ++i) out += (i ? ", " : "") + literal_debug(n.values[i]);
            return out + "])";
        }
        case K::Datetime: return "Datetime(" + e.get<K::Datetime>().value + ")";
        case K::DatetimeKey: return "DatetimeKey(" + e.get<K::DatetimeKey>().key + ")";
    }
    return "?";
}

// ---- fixture ------------------------------------------------------------------------------

struct Outcome {
    Result<FormulaExpr> result;
    std::string rest;
};

Outcome run(const std::string& text) {
    auto tokens = lex_all(text);
    EXPECT_TRUE(tokens.has_value()) << text;
    Parser parser(text, tokens ? *tokens : std::vector<Token>{});
    Result<FormulaExpr> r = parse_formula(parser, 0);
    return Outcome{std::move(r), std::string(parser.current().text)};
}

std::string describe(const std::string& text) {
    Outcome o = run(text);
    if (!o.result) {
        const ZorvError& e = o.result.error();
        EXPECT_EQ(e.kind, ErrorKind::Parse) << e.code;
        EXPECT_TRUE(e.span.has_value());
        return "ERR " + e.code + "|" + e.message + "|" + std::to_string(e.span->start) + ".." +
               std::to_string(e.span->end);
    }
    std::string out = render(*o.result);
    if (!o.rest.empty()) out += " REST " + o.rest;
    return out;
}

FormulaExpr parse_ok(const std::string& text) {
    Outcome o = run(text);
    EXPECT_TRUE(o.result.has_value()) << text << ": " << (o.result ? "" : o.result.error().message);
    EXPECT_EQ(o.rest, "") << text;
    return o.result ? std::move(*o.result) : FormulaExpr::constant(0);
}

using Case = TextCase;

class FormulaGrammar : public ::testing::TestWithParam<Case> {};

TEST_P(FormulaGrammar, Parses) { EXPECT_EQ(describe(GetParam().input), GetParam().expected); }

const std::string kHint =
    "\nhint: Did your shell interpolate '$score'? In bash/zsh, use bare 'score' or escape '\\$score'.";

const Case kCases[] = {
    // precedence and associativity
    {"1 + 2 * 3", "Sum(1.0, Mul(2.0, 3.0))"},
    {"(1 + 2) * 3", "Mul(Sum(1.0, 2.0), 3.0)"},
    {"8 / 4 / 2", "Div(Div(8.0, 4.0, -), 2.0, -)"},
    {"a - b - c", "Sub(Sub(Var(a), Var(b)), Var(c))"},
    {"a * b + c * d", "Sum(Mul(Var(a), Var(b)), Mul(Var(c), Var(d)))"},
    {"-x * y", "Mul(Neg(Var(x)), Var(y))"},
    {"- -x", "Neg(Neg(Var(x)))"},
    {"-2.5", "-2.5"},
    {"- 2.5", "Neg(2.5)"},
    {"2 * -1", "Mul(2.0, -1.0)"},
    {"a + b )", "Sum(Var(a), Var(b)) REST )"},
    {"(a", "ERR ZORV-PARSE-EXPECTED|expected RPAREN but got ''|2..2"},
    // a keyword-named variable followed by a negative number is a subtraction
    {"score -0.5", "Sub(Var(score), 0.5)"},
    {"count -1", "Sub(Var(count), 1.0)"},
    {"id-1", "Sub(Var(id), 1.0)"},
    {"x -1", "Sub(Var(x), 1.0)"},
    {"score -0.5 * 2", "Sub(Var(score), Mul(0.5, 2.0))"},
    {"score -1 -2", "Sub(Sub(Var(score), 1.0), 2.0)"},
    {"score * 2 -1", "Sub(Mul(Var(score), 2.0), 1.0)"},
    {"max(score -1, 0)", "Max[Sub(Var(score), 1.0), 0.0]"},
    {"score -1e999", "ERR ZORV-PARSE-NUMBER|number '1e999' is not finite|7..12"},
    // division and domain defaults
    {"a / b [DEFAULT = 0]", "Div(Var(a), Var(b), 0.0)"},
    {"a / b [default = -1.5]", "Div(Var(a), Var(b), -1.5)"},
    {"sqrt(x) [DEFAULT = 1]", "Sqrt(Var(x), 1.0)"},
    {"LOG(x) [DEFAULT = 2]", "Log(Var(x), 2.0)"},
    {"ln(x)", "Ln(Var(x), -)"},
    {"acosh(x) [DEFAULT = 0] + 1", "Sum(Acosh(Var(x), 0.0), 1.0)"},
    {"abs(x) [DEFAULT = 1]", "Abs(Var(x)) REST ["},
    {"a / sqrt(b) [DEFAULT = 1]", "Div(Var(a), Sqrt(Var(b), 1.0), -)"},
    {"a / b [1]", "Div(Var(a), Var(b), -) REST ["},
    {"a / b [DEFAULT 1]", "ERR ZORV-PARSE-EXPECTED|expected EQUALS but got '1'|15..16"},
    {"a / b [DEFAULT = x]", "ERR ZORV-PARSE-NUMBER|expected a number, got 'x'|17..18"},
    {"a / b [DEFAULT = 1", "ERR ZORV-PARSE-EXPECTED|expected RBRACKET but got ''|18..18"},
    // terms
    {"score", "Var(score)"},
    {"'score'", "Var(score)"},
    {"Price", "Var(Price)"},
    {"'2024-01-01T00:00:00Z'", "Datetime(2024-01-01T00:00:00Z)"},
    {"datetime('tomorrow')", "Datetime(tomorrow)"},
    {"DATETIME_KEY('ts')", "DatetimeKey(ts)"},
    {"datetime(ts)", "ERR ZORV-PARSE-EXPECTED|expected STRING but got 'ts'|9..11"},
    {":w * 2", "Mul(Named(:w), 2.0)"},
    {"? + ?", "Sum(Positional(?0), Positional(?1))"},
    {"':x' + '?0'", "Sum(Var(:x), Var(?0))"},
    {": 5", "ERR ZORV-PARSE-PARAM|expected parameter identifier after ':', found '5'|2..3"},
    {"1e999", "ERR ZORV-PARSE-NUMBER|number '1e999' is not finite|0..5"},
    {"1e-999", "0.0"},
    {"7", "7.0"},
    // errors at the start of a term
    {"* 2", "ERR ZORV-PARSE-SYNTAX|unexpected token in formula: *" + kHint + "|0..1"},
    {"= 2", "ERR ZORV-PARSE-SYNTAX|unexpected token in formula: =" + kHint + "|0..1"},
    {"+ 2", "ERR ZORV-PARSE-SYNTAX|unexpected token in formula: +" + kHint + "|0..1"},
    {"a / / 2", "ERR ZORV-PARSE-SYNTAX|unexpected token in formula: /" + kHint + "|4..5"},
    {"", "ERR ZORV-PARSE-SYNTAX|unexpected token in formula: |0..0"},
    {") 1", "ERR ZORV-PARSE-SYNTAX|unexpected token in formula: )|0..1"},
    {"1 +", "ERR ZORV-PARSE-SYNTAX|unexpected token in formula: |3..3"},
    // CASE
    {"CASE WHEN price > 10 THEN 1 ELSE 0 END", "Case(Compare, 1.0, 0.0)"},
    {"case when a = 1 and b = 2 then x * 2 else -1 end + 1", "Sum(Case(And, Mul(Var(x), 2.0), -1.0), 1.0)"},
    {"CASE WHEN a = 1 THEN 1 END", "ERR ZORV-PARSE-EXPECTED|expected ELSE but got 'END'|23..26"},
    {"CASE a = 1 THEN 1 ELSE 0 END", "ERR ZORV-PARSE-EXPECTED|expected WHEN but got 'a'|5..6"},
    {"CASE WHEN a THEN 1 ELSE 0 END", "ERR ZORV-PARSE-FILTER|expected a filter operator after 'a'|12..16"},
    // simple functions
    {"abs(x)", "Abs(Var(x))"},
    {"abs(x,)", "Abs(Var(x))"},
    {"Exp(1)", "Exp(1.0)"},
    {"pow(a, 2)", "Pow(Var(a), 2.0)"},
    {"max(a, b, 1)", "Max[Var(a), Var(b), 1.0]"},
    {"MIN(a)", "Min[Var(a)]"},
    {"abs(x, k = 2)", "Abs(Var(x))"},
    {"abs(1, 2)", "ERR ZORV-PARSE-SYNTAX|ABS() expects 1 argument|0..3"},
    {"sqrt()", "ERR ZORV-PARSE-SYNTAX|SQRT() expects 1 argument|0..4"},
    {"log(a, b)", "ERR ZORV-PARSE-SYNTAX|LOG() expects 1 argument|0..3"},
    {"ln()", "ERR ZORV-PARSE-SYNTAX|LN() expects 1 argument|0..2"},
    {"exp()", "ERR ZORV-PARSE-SYNTAX|EXP() expects 1 argument|0..3"},
    {"acosh()", "ERR ZORV-PARSE-SYNTAX|ACOSH() expects 1 argument|0..5"},
    {"pow(2)", "ERR ZORV-PARSE-SYNTAX|POW() expects 2 arguments|0..3"},
    {"max()", "ERR ZORV-PARSE-SYNTAX|MAX() requires at least one argument|0..3"},
    {"min(k = 1)", "ERR ZORV-PARSE-SYNTAX|MIN() requires at least one argument|0..3"},
    {"foo(1)", "ERR ZORV-PARSE-SYNTAX|unknown formula function: foo|0..3"},
    {"Foo(1)", "ERR ZORV-PARSE-SYNTAX|unknown formula function: foo|0..3"},
    {"foo(*)", "ERR ZORV-PARSE-SYNTAX|unexpected token in formula: *" + kHint + "|4..5"},
    {"abs(1, k = 2, 3)", "ERR ZORV-PARSE-SYNTAX|positional argument cannot follow keyword argument|14..15"},
    {"abs(x y)", "ERR ZORV-PARSE-EXPECTED|expected RPAREN but got 'y'|6..7"},
    {"abs(x,,)", "ERR ZORV-PARSE-SYNTAX|unexpected token in formula: ,|6..7"},
    // decay functions
    {"exp_decay(x = d, scale = 2)", "Decay(exp_decay, Var(d), -, 2.0, -)"},
    {"gauss_decay(d, 0, 2, 0.5)", "Decay(gauss_decay, Var(d), 0.0, 2.0, 0.5)"},
    {"LIN_DECAY(d, target = t)", "Decay(lin_decay, Var(d), Var(t), -, -)"},
    {"exp_decay(d, decay = 0.3)", "Decay(exp_decay, Var(d), -, -, 0.3)"},
    {"exp_decay(d, midpoint = 0.5, decay = 0.3)", "Decay(exp_decay, Var(d), -, -, 0.5)"},
    {"exp_decay(d, x = e)", "Decay(exp_decay, Var(d), -, -, -)"},
    {"exp_decay(d, 1, SCALE = 3, Midpoint = 0.2)", "Decay(exp_decay, Var(d), 1.0, 3.0, 0.2)"},
    {"exp_decay(d, 1, 2, scale = 9)", "Decay(exp_decay, Var(d), 1.0, 2.0, -)"},
    {"exp_decay(d, -1, -2)", "Decay(exp_decay, Var(d), -1.0, -2.0, -)"},
    // a quoted keyword name counts; the first of two equal names wins
    {"exp_decay('X' = d)", "Decay(exp_decay, Var(d), -, -, -)"},
    {"exp_decay(d, scale = 1, SCALE = 2)", "Decay(exp_decay, Var(d), -, 1.0, -)"},
    {"lin_decay(d, 0, s)", "ERR ZORV-PARSE-SYNTAX|scale argument in decay function must be a constant|0..9"},
    {"lin_decay(d, scale = - 1)", "ERR ZORV-PARSE-SYNTAX|scale argument in decay function must be a constant|0..9"},
    {"exp_decay(d, 0, 1, 0.5, 9)",
     "ERR ZORV-PARSE-SYNTAX|EXP_DECAY() accepts at most 4 positional arguments (x, target, scale, midpoint)|0..9"},
    {"exp_decay(target = 0)", "ERR ZORV-PARSE-SYNTAX|EXP_DECAY() requires 'x' argument|0..9"},
    {"gauss_decay(d, 0, 1, m)",
     "ERR ZORV-PARSE-SYNTAX|midpoint/decay argument in decay function must be a constant|0..11"},
    {"gauss_decay(d, midpoint = m)",
     "ERR ZORV-PARSE-SYNTAX|midpoint argument in decay function must be a constant|0..11"},
    {"gauss_decay(d, decay = m)", "ERR ZORV-PARSE-SYNTAX|decay argument in decay function must be a constant|0..11"},
    // geo_distance
    {"geo_distance(52.5, 13.4, location)", "GeoDistance(52.5, 13.4, location)"},
    {"geo_distance({lat: 52.5, lon: 13.4}, 'location')", "GeoDistance(52.5, 13.4, location)"},
    {"GEO_DISTANCE({LON: 13, Lat: 52} loc)", "GeoDistance(52.0, 13.0, loc)"},
    {"geo_distance(52.5, -13.4, 'loc')", "GeoDistance(52.5, -13.4, loc)"},
    {"geo_distance(52.5, -13.4 + 0, location)",
     "ERR ZORV-PARSE-SYNTAX|GEO_DISTANCE() second argument must be a float constant|0..12"},
    {"geo_distance(a, 1, location)",
     "ERR ZORV-PARSE-SYNTAX|GEO_DISTANCE() first argument must be a float constant|0..12"},
    {"geo_distance(1, 2)", "ERR ZORV-PARSE-SYNTAX|GEO_DISTANCE() expects 3 arguments (lat, lon, field_name)|0..12"},
    {"geo_distance(1, 2, 3)", "ERR ZORV-PARSE-SYNTAX|GEO_DISTANCE() third argument must be a field name|0..12"},
    {"geo_distance(1, 2, :f)", "ERR ZORV-PARSE-SYNTAX|GEO_DISTANCE() third argument must be a field name|0..12"},
    // unlike the filter geo checks, an unsigned integer is a number here
    {"geo_distance({lat: 18446744073709551615, lon: 1}, f)", "GeoDistance(1.8446744073709552e19, 1.0, f)"},
    {"geo_distance({lon: 1}, f)", "ERR ZORV-PARSE-SYNTAX|geo_distance dict must have 'lat' key|0..12"},
    {"geo_distance({lat: 1}, f)", "ERR ZORV-PARSE-SYNTAX|geo_distance dict must have 'lon' key|0..12"},
    {"geo_distance({lat: 'x', lon: 1}, f)", "ERR ZORV-PARSE-SYNTAX|geo_distance dict 'lat' must be a number|0..12"},
    {"geo_distance({lat: 1, lon: null}, f)", "ERR ZORV-PARSE-SYNTAX|geo_distance dict 'lon' must be a number|0..12"},
    // match
    {"match(color, ['red', 'blue'])", "Match(color, [Str(\"red\"), Str(\"blue\")])"},
    {"match(color, 'red')", "Match(color, [Str(\"red\")])"},
    {"MATCH_ANY('tag', [1, 2]) * 2", "Mul(Match(tag, [Int(1), Int(2)]), 2.0)"},
    {"match(color 'red')", "ERR ZORV-PARSE-EXPECTED|expected COMMA but got 'red'|12..17"},
    {"match(color, ['red',])", "ERR ZORV-PARSE-TRAILING-COMMA|trailing commas are not allowed|20..21"},
};

INSTANTIATE_TEST_SUITE_P(Cases, FormulaGrammar, ::testing::ValuesIn(kCases));

// ---- nesting limit ------------------------------------------------------------------------

class FormulaNesting : public ::testing::TestWithParam<NestingCase> {};

TEST_P(FormulaNesting, AllowsExactly128Levels) {
    const NestingCase& c = GetParam();
    Outcome fine = run(repeat(c.open, 128) + "x" + repeat(c.close, 128));
    ASSERT_TRUE(fine.result.has_value()) << fine.result.error().message;
    EXPECT_EQ(fine.rest, "");

    Outcome o = run(repeat(c.open, 129) + "x" + repeat(c.close, 129));
    ASSERT_FALSE(o.result.has_value());
    expect_nesting_error(o.result.error(), c);
}

TEST_P(FormulaNesting, HugeInputFailsCleanly) {
    const NestingCase& c = GetParam();
    Outcome o = run(repeat(c.open, 100000) + "x" + repeat(c.close, 100000));
    ASSERT_FALSE(o.result.has_value());
    EXPECT_EQ(o.result.error().code, "ZORV-PARSE-NESTING");
}

INSTANTIATE_TEST_SUITE_P(Forms, FormulaNesting,
                         ::testing::Values(NestingCase{"Parens", "(", ")", 0, 1},
                                           NestingCase{"UnaryMinus", "- ", "", 0, 1},
                                           NestingCase{"Call", "abs(", ")", 3, 1},
                                           NestingCase{"Case", "CASE WHEN a = 1 THEN ", " ELSE 0 END", 0, 4},
                                           // each operator of a chain deepens the tree by one node
                                           NestingCase{"SumChain", "1 + ", "", 2, 1}),
                         [](const auto& info) { return info.param.name; });

TEST(FormulaNestingLimit, SplitMinusCountsAsAnOperator) {
    Outcome fine = run(repeat("1 + ", 127) + "score -1");
    ASSERT_TRUE(fine.result.has_value()) << fine.result.error().message;
    const std::string text = repeat("1 + ", 128) + "score -1";
    Outcome o = run(text);
    ASSERT_FALSE(o.result.has_value());
    EXPECT_EQ(o.result.error().code, "ZORV-PARSE-NESTING");
    EXPECT_EQ(o.result.error().span, (Span{text.size() - 2, text.size() - 1}));
}

// ---- trees and placeholders ---------------------------------------------------------------

TEST(FormulaTree, CaseConditionIsAFilter) {
    FormulaExpr e = parse_ok("CASE WHEN price > 10 OR id = 3 THEN 1 ELSE 0 END");
    std::string text = "price > 10 OR id = 3";
    auto tokens = lex_all(text);
    ASSERT_TRUE(tokens);
    Parser parser(text, *tokens);
    Result<Filter> expected = parse_filter(parser);
    ASSERT_TRUE(expected);
    EXPECT_EQ(*e.get<FormulaExpr::Kind::Case>().cond, *expected);
}

TEST(FormulaTree, CloneIsDeepAndEqual) {
    FormulaExpr original = parse_ok("CASE WHEN a = :p THEN exp_decay(d, t, 2) ELSE max(x, ?) END / 2 [DEFAULT = 0]");
    FormulaExpr copy = clone_formula(original);
    EXPECT_EQ(copy, original);
    auto& div = copy.get<FormulaExpr::Kind::Div>();
    div.left->get<FormulaExpr::Kind::Case>().cond->get<Filter::Kind::Compare>().field = "b";
    EXPECT_NE(copy, original);
    EXPECT_EQ(original.get<FormulaExpr::Kind::Div>()
                  .left->get<FormulaExpr::Kind::Case>()
                  .cond->get<Filter::Kind::Compare>()
                  .field,
              "a");
}

TEST(FormulaTree, PlaceholdersAreMarkedAndQuotedNamesAreNot) {
    std::string text = "? + :rate * ':rate' + '?0'";
    auto tokens = lex_all(text);
    ASSERT_TRUE(tokens);
    Parser parser(text, *tokens);
    parser.next_positional_index();  // an earlier "?" of the same call took index 0
    Result<FormulaExpr> r = parse_formula(parser, 0);
    ASSERT_TRUE(r);
    EXPECT_EQ(parser.positional_count(), 2u);
    // ((?1 + (:rate * ':rate')) + '?0')
    const auto& outer = r->get<FormulaExpr::Kind::Sum>();
    EXPECT_EQ(*outer.right, FormulaExpr::variable("?0"));
    const auto& inner = outer.left->get<FormulaExpr::Kind::Sum>();
    EXPECT_EQ(*inner.left, FormulaExpr::positional_param(1));
    EXPECT_EQ(inner.left->get<FormulaExpr::Kind::Variable>().param->span.get(), (Span{0, 1}));
    const auto& mul = inner.right->get<FormulaExpr::Kind::Mul>();
    EXPECT_EQ(*mul.left, FormulaExpr::named_param("rate"));
    EXPECT_EQ(mul.left->get<FormulaExpr::Kind::Variable>().param->span.get(), (Span{4, 9}));
    EXPECT_EQ(*mul.right, FormulaExpr::variable(":rate"));
    EXPECT_NE(*mul.left, *mul.right);
    EXPECT_TRUE(mul.left->get<FormulaExpr::Kind::Variable>().is_placeholder());
    EXPECT_FALSE(mul.right->get<FormulaExpr::Kind::Variable>().is_placeholder());
}

TEST(FormulaTree, PositionalNamesUseTheFullIndexRange) {
    constexpr std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
    FormulaExpr e = FormulaExpr::positional_param(top);
    const auto& v = e.get<FormulaExpr::Kind::Variable>();
    EXPECT_EQ(v.param->text(), "?18446744073709551615");
    EXPECT_EQ(v.param->index, top);
    EXPECT_EQ(FormulaExpr::named_param("w").get<FormulaExpr::Kind::Variable>().param->text(), ":w");
}

TEST(FormulaTree, KindsFollowTagOrder) {
    EXPECT_EQ(static_cast<int>(parse_ok("a / b").kind()), 5);
    EXPECT_EQ(static_cast<int>(parse_ok("gauss_decay(d)").kind()), 17);
    EXPECT_EQ(static_cast<int>(parse_ok("datetime_key('k')").kind()), 21);
    EXPECT_EQ(formula_kind_name(FormulaExpr::Kind::MatchCondition), "MatchCondition");
}

}  // namespace
}  // namespace zorv::core
