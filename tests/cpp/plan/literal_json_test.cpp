// JSON values as statement literals.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "plan/literal_json.h"

namespace zorv::plan {
namespace {

using core::Literal;

TEST(LiteralFromJson, MapsEachKind) {
    EXPECT_EQ(literal_from_json(JsonValue(nullptr)), Literal::null());
    EXPECT_EQ(literal_from_json(JsonValue(true)), Literal::boolean(true));
    EXPECT_EQ(literal_from_json(JsonValue("x")), Literal::str("x"));
    EXPECT_EQ(literal_from_json(JsonValue(2.5)), Literal::f64(2.5));
    EXPECT_EQ(literal_from_json(JsonValue(std::int64_t{-3})), Literal::int64(-3));
}

TEST(LiteralFromJson, IntegersAreSignedUpToTheSignedMaximum) {
    constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(literal_from_json(JsonValue(std::uint64_t{7})), Literal::int64(7));
    EXPECT_EQ(literal_from_json(JsonValue(max)), Literal::int64(std::numeric_limits<std::int64_t>::max()));
    EXPECT_EQ(literal_from_json(JsonValue(max + 1)), Literal::uint64(max + 1));
}

TEST(LiteralFromJson, ObjectsComeOutInKeyOrder) {
    JsonObject object;
    object.emplace("b", JsonValue(std::uint64_t{1}));
    object.emplace("a", JsonValue(JsonArray{JsonValue(std::uint64_t{2}), JsonValue(nullptr)}));
    EXPECT_EQ(literal_from_json(JsonValue(object)),
              Literal::dict({{"a", Literal::list({Literal::int64(2), Literal::null()})}, {"b", Literal::int64(1)}}));
}

}  // namespace
}  // namespace zorv::plan
