#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/ast/literal.h"

namespace zorv::core {
namespace {

struct DebugCase {
    Literal value;
    std::string expected;
};

void PrintTo(const DebugCase& c, std::ostream* os) { *os << c.expected; }

class LiteralDebugTable : public ::testing::TestWithParam<DebugCase> {};

TEST_P(LiteralDebugTable, PrintsDebugText) { EXPECT_EQ(literal_debug(GetParam().value), GetParam().expected); }

const DebugCase kDebugCases[] = {
    {Literal::str("abc"), R"(Str("abc"))"},
    {Literal::str("a\"b"), R"(Str("a\"b"))"},
    {Literal::str(std::string("\\\t\r\n\0", 5)), R"(Str("\\\t\r\n\0"))"},
    {Literal::str("\x01\x1f\x7f"), R"(Str("\u{1}\u{1f}\u{7f}"))"},
    // Letters outside ASCII stay; invisible separators and format characters are escaped.
    {Literal::str("\xC3\xA9\xE4\xB8\xAD"), "Str(\"\xC3\xA9\xE4\xB8\xAD\")"},
    {Literal::str("a\xC2\xA0"
                  "b\xE2\x80\x8B"
                  "c\xE2\x80\xA8"),
     R"(Str("a\u{a0}b\u{200b}c\u{2028}"))"},
    {Literal::str("'"), R"(Str("'"))"},
    {Literal::int64(-3), "Int(-3)"},
    {Literal::int64(std::numeric_limits<std::int64_t>::min()), "Int(-9223372036854775808)"},
    {Literal::uint64(18446744073709551615ull), "UInt(18446744073709551615)"},
    {Literal::f64(1.5), "Float(1.5)"},
    {Literal::f64(2.0), "Float(2.0)"},
    {Literal::boolean(true), "Bool(true)"},
    {Literal::boolean(false), "Bool(false)"},
    {Literal::null(), "Null"},
    {Literal::dict({{"key", Literal::int64(1)}, {"b", Literal::null()}}), R"(Dict([("key", Int(1)), ("b", Null)]))"},
    {Literal::dict({}), "Dict([])"},
    {Literal::list({Literal::int64(1), Literal::str("a")}), R"(List([Int(1), Str("a")]))"},
    {Literal::list({Literal::list({}), Literal::dict({{"k\"", Literal::f64(0.5)}})}),
     R"(List([List([]), Dict([("k\"", Float(0.5))])]))"},
    {Literal::f32_array({0.5f, 1.0f}), "F32Array([0.5, 1.0])"},
    // 32-bit elements print their own shortest text, not the widened double's.
    {Literal::f32_array({0.1f, 1e20f, -0.0f}), "F32Array([0.1, 1e20, -0.0])"},
    {Literal::f32_array({}), "F32Array([])"},
    {Literal::param("name", Span{7, 12}), R"(Param("name", Some(Span { start: 7, end: 12 })))"},
    {Literal::param("name"), R"(Param("name", None))"},
    {Literal::positional(0, Span{30, 31}), "PositionalParam(0, Some(Span { start: 30, end: 31 }))"},
    {Literal::positional(4), "PositionalParam(4, None)"},
};

INSTANTIATE_TEST_SUITE_P(All, LiteralDebugTable, ::testing::ValuesIn(kDebugCases));

struct FloatCase {
    double value;
    const char* expected;
};

TEST(FloatDebug, ShortestTextWithExponentOutsideThePlainRange) {
    const FloatCase cases[] = {
        {0.0, "0.0"},
        {-0.0, "-0.0"},
        {1.0, "1.0"},
        {0.1, "0.1"},
        {-2.5, "-2.5"},
        {0.0001, "0.0001"},
        {0.00001, "1e-5"},
        {0.000015, "1.5e-5"},
        {1e15, "1000000000000000.0"},
        {9999999999999998.0, "9999999999999998.0"},
        {1e16, "1e16"},
        {-1.2345678901234568e17, "-1.2345678901234568e17"},
        {1e308, "1e308"},
        {5e-324, "5e-324"},
        {1.7976931348623157e308, "1.7976931348623157e308"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN"},
        {std::numeric_limits<double>::infinity(), "inf"},
        {-std::numeric_limits<double>::infinity(), "-inf"},
    };
    for (const FloatCase& c : cases) EXPECT_EQ(float_debug(c.value), c.expected) << c.expected;
}

TEST(Clone, CopiesNestedValuesAndSpansWithoutSharing) {
    Literal source = Literal::dict({{"v", Literal::list({Literal::param("p", Span{7, 9})})}});
    Literal copy = clone_literal(source);
    EXPECT_EQ(literal_debug(copy), R"(Dict([("v", List([Param("p", Some(Span { start: 7, end: 9 }))]))]))");
    copy.as_dict()[0].second.as_list().push_back(Literal::null());
    EXPECT_EQ(source.as_dict()[0].second.as_list().size(), 1u);
    ShardKey key{Placeholder::positional(3, Span{1, 2})};
    EXPECT_EQ(clone_shard_key(key), key);
    EXPECT_EQ(std::get<Placeholder>(clone_shard_key(key).value).span.get(), (Span{1, 2}));
}

TEST(EnumNames, AreTheVariantNames) {
    EXPECT_EQ(order_direction_name(OrderDirection::Asc), "Asc");
    EXPECT_EQ(order_direction_name(OrderDirection::Desc), "Desc");
    EXPECT_EQ(vector_kind_name(VectorKind::Dense), "Dense");
    EXPECT_EQ(vector_kind_name(VectorKind::Sparse), "Sparse");
    EXPECT_EQ(update_mode_name(UpdateMode::InsertOnly), "InsertOnly");
    EXPECT_EQ(update_mode_name(UpdateMode::UpdateOnly), "UpdateOnly");
    EXPECT_EQ(update_mode_name(UpdateMode::Upsert), "Upsert");
}

}  // namespace
}  // namespace zorv::core
