#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/ast/formula.h"
#include "core/lexer.h"
#include "core/parser/formula.h"
#include "core/parser/parser.h"
#include "plan/formula.h"
#include "plan/json_read.h"
#include "plan/json_write.h"
#include "plan/rest/formula_body.h"

namespace zorv::plan {
namespace {

using core::FormulaExpr;
using core::Literal;

FormulaExpr parse_formula_text(const std::string& text) {
    auto tokens = core::lex_all(text);
    EXPECT_TRUE(tokens.has_value()) << text;
    core::Parser parser(text, tokens ? *tokens : std::vector<core::Token>{});
    auto expr = core::parse_formula(parser, 0);
    EXPECT_TRUE(expr.has_value()) << text;
    return expr ? std::move(*expr) : FormulaExpr::constant(0);
}

struct FormulaJsonCase {
    std::string formula;
    std::string value_form;
};

void PrintTo(const FormulaJsonCase& c, std::ostream* os) { *os << c.formula; }

class FormulaJson : public testing::TestWithParam<FormulaJsonCase> {};

TEST_P(FormulaJson, LowersToTheValueFormAndTheTextFormReadsBackTheSame) {
    auto expression = lower_formula(parse_formula_text(GetParam().formula));
    ASSERT_TRUE(expression.has_value()) << expression.error().message;
    const JsonValue value = expression_to_value(*expression);
    EXPECT_EQ(json_text(value), GetParam().value_form);
    std::string text;
    write_expression(text, *expression);
    EXPECT_EQ(test_support::reread(text), json_text(value)) << text;
}

const std::string kPriceOver10 = R"({"key":"price","range":{"gt":10}})";

INSTANTIATE_TEST_SUITE_P(
    Formulas, FormulaJson,
    testing::Values(
        FormulaJsonCase{"score + 0.5 * popularity", R"({"sum":["$score",{"mult":[0.5,"popularity"]}]})"},
        FormulaJsonCase{"CASE WHEN price > 10 THEN 1 ELSE 0 END", R"({"sum":[{"mult":[)" + kPriceOver10 +
                                                                      R"(,1.0]},{"mult":[{"sum":[1.0,{"neg":)" +
                                                                      kPriceOver10 + R"(}]},0.0]}]})"},
        FormulaJsonCase{"'$score' - Score", R"({"sum":["$score",{"neg":"Score"}]})"},
        FormulaJsonCase{"a / b", R"({"div":{"left":"a","right":"b"}})"},
        FormulaJsonCase{"a / b [DEFAULT = 0]", R"({"div":{"by_zero_default":0.0,"left":"a","right":"b"}})"},
        FormulaJsonCase{"sqrt(x) [DEFAULT = 7]", R"({"sqrt":{"max":[0.0,"x"]}})"},
        FormulaJsonCase{"ln(x) [DEFAULT = 7] + acosh(y) [DEFAULT = 0]",
                        R"({"sum":[{"ln":{"max":[1e-09,"x"]}},{"acosh":{"max":[1.0,"y"]}}]})"},
        FormulaJsonCase{"LOG(x) + abs(-x)", R"({"sum":[{"log10":"x"},{"abs":{"neg":"x"}}]})"},
        FormulaJsonCase{"pow(a, 2)", R"({"pow":{"base":"a","exponent":2.0}})"},
        FormulaJsonCase{"gauss_decay(d, 0, 2, 0.5)",
                        R"({"gauss_decay":{"midpoint":0.5,"scale":2.0,"target":0.0,"x":"d"}})"},
        FormulaJsonCase{"lin_decay(created_at, datetime('2024-01-01T00:00:00Z'))",
                        R"({"lin_decay":{"target":{"datetime":"2024-01-01T00:00:00Z"},)"
                        R"("x":{"datetime_key":"created_at"}}})"},
        FormulaJsonCase{"lin_decay(created_at, 5)", R"({"lin_decay":{"target":5.0,"x":"created_at"}})"},
        FormulaJsonCase{"exp_decay(d)", R"({"exp_decay":{"x":"d"}})"},
        FormulaJsonCase{"GEO_DISTANCE({LON: 13, Lat: 52} loc)",
                        R"({"geo_distance":{"origin":{"lat":52.0,"lon":13.0},"to":"loc"}})"},
        FormulaJsonCase{"match(color, 'red') + MATCH_ANY('tag', [1, 'a'])",
                        R"({"sum":[{"key":"color","match":{"value":"red"}},{"key":"tag","match":{"any":[1,"a"]}}]})"},
        FormulaJsonCase{"max(a, 1) - min(b)", R"({"sum":[{"max":["a",1.0]},{"neg":{"min":["b"]}}]})"},
        FormulaJsonCase{"DATETIME_KEY('ts') * exp(x)", R"({"mult":[{"datetime_key":"ts"},{"exp":"x"}]})"}));

FormulaExpr decay_named(std::string kind) {
    return FormulaExpr{
        FormulaExpr::Decay{std::move(kind), FormulaExpr::variable("d"), std::nullopt, std::nullopt, std::nullopt}};
}

TEST(LowerFormula, AcceptsDecayNamesInAnyCaseWithOrWithoutTheSuffix) {
    for (const char* name : {"Gauss", "GAUSS_DECAY", "gauss_decay"}) {
        auto expression = lower_formula(decay_named(name));
        ASSERT_TRUE(expression.has_value()) << name;
        EXPECT_EQ(expression->get<PlanExpression::Kind::Decay>().kind, PlanExpression::DecayKind::Gauss) << name;
    }
}

TEST(LowerFormula, RefusesAnUnknownDecayEvenDeepInside) {
    FormulaExpr tree{FormulaExpr::Sum{FormulaExpr::constant(1), decay_named("EXPONENTIAL")}};
    auto expression = lower_formula(tree);
    ASSERT_FALSE(expression.has_value());
    EXPECT_EQ(expression.error().code, "ZORV-PLAN-FORMULA-DECAY");
    EXPECT_EQ(expression.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(expression.error().message,
              "unknown decay function 'EXPONENTIAL'; expected EXP_DECAY, LIN_DECAY, or GAUSS_DECAY");
    EXPECT_FALSE(expression.error().span.has_value());
}

TEST(LowerFormula, PassesFilterErrorsOfACaseThrough) {
    auto expression = lower_formula(parse_formula_text("CASE WHEN tag IN (1, 'a') THEN 1 ELSE 0 END"));
    ASSERT_FALSE(expression.has_value());
    EXPECT_EQ(expression.error().code, "ZORV-PLAN-MATCH-TYPE");
}

struct DefaultCase {
    const char* name;
    Literal literal;
    std::string json;
};

void PrintTo(const DefaultCase& c, std::ostream* os) { *os << c.name; }

class FormulaDefaults : public testing::TestWithParam<DefaultCase> {};

TEST_P(FormulaDefaults, LowerAndWriteInBothForms) {
    const PlanDefaultValue value = lower_formula_defaults(GetParam().literal);
    EXPECT_EQ(json_text(default_value_to_value(value)), GetParam().json);
    std::string text;
    write_default_value(text, value);
    EXPECT_EQ(text, GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Literals, FormulaDefaults,
    testing::Values(
        DefaultCase{"repeated_keys",
                    Literal::dict({{"b", Literal::int64(1)}, {"a", Literal::str("x")}, {"b", Literal::boolean(true)}}),
                    R"({"a":"x","b":true})"},
        DefaultCase{"f32_vector", Literal::f32_array({0.5F, 0.1F}), "[0.5,0.10000000149011612]"},
        DefaultCase{"uint_max", Literal::uint64(std::numeric_limits<std::uint64_t>::max()), "18446744073709551616.0"},
        DefaultCase{"int64_max_as_uint", Literal::uint64(9223372036854775807u), "9223372036854775807"},
        DefaultCase{"nested", Literal::list({Literal::null(), Literal::f64(2), Literal::dict({})}), "[null,2.0,{}]"}));

}  // namespace
}  // namespace zorv::plan
