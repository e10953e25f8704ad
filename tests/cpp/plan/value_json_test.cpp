#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <random>
#include <string>

#include "core/ast/literal.h"
#include "plan/json_write.h"
#include "plan/value_json.h"

namespace zorv::plan {
namespace {

using core::Literal;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct ValueCase {
    const char* name;
    Literal value;
    const char* value_form;  // the value tree written out
    const char* text_form;
    const char* rendered;
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.name; }

class PlanValueJson : public testing::TestWithParam<ValueCase> {};

TEST_P(PlanValueJson, WritesBothFormsAndRenders) {
    const ValueCase& c = GetParam();
    EXPECT_EQ(json_text(plan_value_to_json(c.value)), c.value_form);
    std::string text;
    write_plan_value(c.value, text);
    EXPECT_EQ(text, c.text_form);
    EXPECT_EQ(render_value_text(c.value), c.rendered);
}

Literal repeated_keys() {
    return Literal::dict({{"b", Literal::int64(1)}, {"a", Literal::int64(2)}, {"b", Literal::int64(3)}});
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PlanValueJson,
    testing::Values(ValueCase{"str_with_quote", Literal::str("a\"b"), R"("a\"b")", R"("a\"b")", R"("a\"b")"},
                    ValueCase{"int_negative", Literal::int64(-5), "-5", "-5", "-5"},
                    ValueCase{"uint_max", Literal::uint64(std::numeric_limits<std::uint64_t>::max()),
                              "18446744073709551615", "18446744073709551615", "18446744073709551615"},
                    ValueCase{"float_one", Literal::f64(1.0), "1.0", "1.0", "1.0"},
                    ValueCase{"float_half", Literal::f64(0.5), "0.5", "0.5", "0.5"},
                    ValueCase{"float_nan", Literal::f64(kNan), "null", "null", "null"},
                    ValueCase{"float_minus_inf", Literal::f64(-kInf), "null", "null", "null"},
                    ValueCase{"bool", Literal::boolean(true), "true", "true", "true"},
                    ValueCase{"null", Literal::null(), "null", "null", "null"},
                    ValueCase{"f32_array", Literal::f32_array({0.1F, static_cast<float>(kInf), 2.0F}),
                              "[0.10000000149011612,null,2.0]", "[0.10000000149011612,null,2.0]",
                              "[0.10000000149011612, null, 2.0]"},
                    ValueCase{"dict_repeated_keys", repeated_keys(), R"({"a":2,"b":3})", R"({"b":1,"a":2,"b":3})",
                              R"(Dict([("b", Int(1)), ("a", Int(2)), ("b", Int(3))]))"},
                    ValueCase{"nested_list", Literal::list({Literal::list({}), Literal::dict({}), Literal::str("x")}),
                              R"([[],{},"x"])", R"([[],{},"x"])", R"(List([List([]), Dict([]), Str("x")]))"}));

TEST(PlanValueJson, ListsOfValuesAreArrays) {
    const core::LiteralList values = {Literal::uint64(1), repeated_keys()};
    EXPECT_EQ(json_text(plan_value_list_to_json(values)), R"([1,{"a":2,"b":3}])");
    std::string text;
    write_plan_value_list(values, text);
    EXPECT_EQ(text, R"([1,{"b":1,"a":2,"b":3}])");
}

// Values whose Dicts hold distinct keys in ascending order: there the two forms must agree byte
// for byte, whatever the nesting.
Literal random_value(std::mt19937_64& rng, int depth) {
    const std::uint64_t pick = rng() % (depth > 0 ? 9 : 7);
    const double special[] = {0.0, -0.0, 1e16, 5e-324, 0.1, kNan, -kInf};
    switch (pick) {
        case 0: return Literal::str(std::string(rng() % 4, static_cast<char>(rng() % 128)));
        case 1: return Literal::int64(static_cast<std::int64_t>(rng()));
        case 2: return Literal::uint64(rng());
        case 3: return Literal::f64(rng() % 2 ? special[rng() % 7] : std::bit_cast<double>(rng()));
        case 4: return Literal::boolean(rng() % 2 == 0);
        case 5: return Literal::null();
        case 6: return Literal::f32_array({std::bit_cast<float>(static_cast<std::uint32_t>(rng())), 0.1F});
        case 7: {
            core::LiteralList items;
            for (std::uint64_t i = rng() % 4; i > 0; --i) items.push_back(random_value(rng, depth - 1));
            return Literal::list(std::move(items));
        }
        default: {
            core::LiteralDict entries;
            for (std::uint64_t i = 0, n = rng() % 4; i < n; ++i) {
                entries.emplace_back(std::string(1, static_cast<char>('a' + i)) + "\n", random_value(rng, depth - 1));
            }
            return Literal::dict(std::move(entries));
        }
    }
}

TEST(PlanValueJson, BothFormsAgreeWhenKeysAreSortedAndDistinct) {
    std::mt19937_64 rng(14);
    for (int i = 0; i < 500; ++i) {
        const Literal value = random_value(rng, 3);
        std::string text;
        write_plan_value(value, text);
        ASSERT_EQ(json_text(plan_value_to_json(value)), text) << core::literal_debug(value);
    }
}

TEST(PlanValueJsonDeathTest, PlaceholdersAreAnInvariantFailure) {
    EXPECT_DEATH(plan_value_to_json(Literal::list({Literal::param("x")})),
                 "invariant violation: unbound parameter :x reached value serialization");
    std::string text;
    EXPECT_DEATH(write_plan_value(Literal::dict({{"k", Literal::positional(2)}}), text),
                 "invariant violation: unbound positional parameter \\?2 reached value serialization");
}

struct FiniteCase {
    const char* name;
    Literal value;
    std::optional<std::string> message;  // absent when the value passes
};

void PrintTo(const FiniteCase& c, std::ostream* os) { *os << c.name; }

class CheckFinite : public testing::TestWithParam<FiniteCase> {};

TEST_P(CheckFinite, ReportsTheFirstNonFiniteValue) {
    auto result = check_finite_values(GetParam().value);
    if (!GetParam().message) {
        EXPECT_TRUE(result.has_value());
        return;
    }
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, "ZORV-PLAN-NON-FINITE");
    EXPECT_EQ(result.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(result.error().message, *GetParam().message);
    EXPECT_FALSE(result.error().span.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Values, CheckFinite,
    testing::Values(
        FiniteCase{"finite_scalars",
                   Literal::list({Literal::f64(1e308), Literal::f32_array({1.0F}), Literal::str("nan")}), std::nullopt},
        FiniteCase{"nan", Literal::f64(kNan), "null is not a finite number; JSON has no NaN/infinity representation"},
        FiniteCase{"f32_array_shows_the_whole_array", Literal::f32_array({1.0F, -static_cast<float>(kInf)}),
                   "[1.0, null] is not a finite number; JSON has no NaN/infinity representation"},
        FiniteCase{"first_in_depth_first_order",
                   Literal::list({Literal::int64(1), Literal::dict({{"k", Literal::f64(kInf)}}),
                                  Literal::f32_array({static_cast<float>(kNan)})}),
                   "null is not a finite number; JSON has no NaN/infinity representation"},
        FiniteCase{"array_before_later_float",
                   Literal::dict({{"v", Literal::f32_array({static_cast<float>(kNan)})}, {"x", Literal::f64(kInf)}}),
                   "[null] is not a finite number; JSON has no NaN/infinity representation"}));

TEST(PointIdText, NumbersAsDigitsUuidsAsStored) {
    EXPECT_EQ(point_id_text(PlanPointId(std::uint64_t{42})), "42");
    EXPECT_EQ(point_id_text(PlanPointId(std::string("5C56C793-69F3-4FBF-87E6-C4BF54C28C26"))),
              "5C56C793-69F3-4FBF-87E6-C4BF54C28C26");
}

}  // namespace
}  // namespace zorv::plan
