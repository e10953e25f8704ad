// Canonical text of names, strings, numbers and literal values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/fmt/sink.h"
#include "core/fmt/values.h"
#include "core/fmt/vectors.h"

namespace zorv::core {
namespace {

TEST(FmtIdentifier, PlainNamesStayBareOthersAreQuoted) {
    struct Case {
        std::string name;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"limit", "limit"}, {"_a1", "_a1"},   {"Coll_2", "Coll_2"}, {"my-coll", "'my-coll'"},
        {"", "''"},         {"a.b", "'a.b'"}, {"a b", "'a b'"},     {"tags[]", "'tags[]'"},
        {"café", "'café'"}, {"2nd", "'2nd'"}, {"it's", "'it\\'s'"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(format_identifier(c.name), c.text) << c.name;
        EXPECT_EQ(is_plain_identifier(c.name), c.text == c.name) << c.name;
    }
}

TEST(FmtString, EscapesQuoteBackslashAndControlsDropsNul) {
    struct Case {
        std::string raw;
        std::string escaped;
    };
    const std::vector<Case> cases = {
        {"O'Brien", "O\\'Brien"},
        {"a\\b\tc\nd\re", "a\\\\b\\tc\\nd\\re"},
        {"say \"hi\"", "say \"hi\""},
        {std::string("a\0b", 3), "ab"},
        {"ünï", "ünï"},
    };
    for (const auto& c : cases) EXPECT_EQ(escape_string_literal(c.raw), c.escaped);
    EXPECT_EQ(quote_string("O'Brien"), "'O\\'Brien'");
}

TEST(FmtFloat, F64FollowsTheIntegralAndShortestRules) {
    struct Case {
        double value;
        std::string text;
    };
    const std::vector<Case> cases = {
        {3.0, "3.0"},
        {-12.0, "-12.0"},
        {-0.0, "-0.0"},
        {0.0, "0.0"},
        {0.1, "0.1"},
        {1e-7, "0.0000001"},
        {123.456, "123.456"},
        {1e15, "1000000000000000.0"},
        {999999999999999.0, "999999999999999.0"},
        {2.5e20, "250000000000000000000.0"},
        {1e15 + 2, "1000000000000002.0"},
        {1e23, "100000000000000000000000.0"},  // shortest digits, not the exact binary value
        {-2.5e20, "-250000000000000000000.0"},
        {1.5e-5, "0.000015"},
        {123456789.125, "123456789.125"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN.0"},
        {std::numeric_limits<double>::infinity(), "inf.0"},
        {-std::numeric_limits<double>::infinity(), "-inf.0"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_f64(c.value), c.text) << c.text;

    // The extremes stay positional: 309 integer digits, 323 zeros before the first digit.
    EXPECT_EQ(format_f64(std::numeric_limits<double>::max()).size(), 309u + 2u);
    EXPECT_EQ(format_f64(std::numeric_limits<double>::denorm_min()), "0." + std::string(323, '0') + "5");
}

TEST(FmtFloat, F32UsesItsOwnThresholdAndShortestDigits) {
    struct Case {
        float value;
        std::string text;
    };
    const std::vector<Case> cases = {
        {2.5f, "2.5"},
        {1.0f, "1.0"},
        {0.1f, "0.1"},  // shortest 32-bit text, not the widened double's digits
        {9999999.0f, "9999999.0"},
        {1e7f, "10000000.0"},
        {-3.0f, "-3.0"},
        {1e-3f, "0.001"},
        {3e10f, "30000000000.0"},
        {std::numeric_limits<float>::max(), "340282350000000000000000000000000000000.0"},
        {12345678.5f, "12345678.0"},
        {std::numeric_limits<float>::quiet_NaN(), "NaN.0"},
        {-std::numeric_limits<float>::infinity(), "-inf.0"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_f32(c.value), c.text) << c.text;
}

TEST(FmtLiteral, EveryVariantHasItsText) {
    struct Case {
        Literal literal;
        std::string text;
    };
    const std::vector<Case> cases = {
        {Literal::str("a'b"), "'a\\'b'"},
        {Literal::int64(-3), "-3"},
        {Literal::uint64(18446744073709551615ull), "18446744073709551615"},
        {Literal::f64(2.0), "2.0"},
        {Literal::boolean(true), "true"},
        {Literal::boolean(false), "false"},
        {Literal::null(), "null"},
        {Literal::dict({}), "{}"},
        {Literal::dict({{"a", Literal::int64(1)}, {"b c", Literal::str("x")}}), "{a: 1, 'b c': 'x'}"},
        {Literal::list({}), "[]"},
        {Literal::list({Literal::int64(1), Literal::list({Literal::null()})}), "[1, [null]]"},
        {Literal::f32_array({0.5f, 1.0f}), "[0.5, 1.0]"},
        {Literal::f32_array({}), "[]"},
        {Literal::param("name", Span{7, 12}), ":name"},
        {Literal::positional(5, Span{30, 31}), "?"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_literal(c.literal), c.text);
}

TEST(FmtPointIdAndShardKey, EveryVariantHasItsText) {
    EXPECT_EQ(format_point_id(PointId{std::uint64_t{42}}), "42");
    EXPECT_EQ(format_point_id(PointId{std::string("550e8400-e29b-41d4-a716-446655440000")}),
              "'550e8400-e29b-41d4-a716-446655440000'");
    EXPECT_EQ(format_point_id(PointId{Placeholder::named("id")}), ":id");
    EXPECT_EQ(format_point_id(PointId{Placeholder::positional(3)}), "?");

    EXPECT_EQ(format_shard_key(ShardKey{std::string("ten'ant")}), "'ten\\'ant'");
    EXPECT_EQ(format_shard_key(ShardKey{std::uint64_t{0}}), "0");
    EXPECT_EQ(format_shard_key(ShardKey{Placeholder::named("k")}), ":k");
    EXPECT_EQ(format_shard_key(ShardKey{Placeholder::positional(1)}), "?");
    EXPECT_EQ(shard_key_display(ShardKey{std::string("a'b")}), "'a\\'b'");
}

TEST(FmtPlaceholderText, PositionalPrintsOnlyTheQuestionMark) {
    EXPECT_EQ(format_placeholder(Placeholder::positional(3)), "?");
    EXPECT_EQ(format_placeholder(Placeholder::named("lim")), ":lim");
}

TEST(FmtVector, EveryVariantHasItsText) {
    LiteralDict options = {{"lang", Literal::str("en")}, {"max-len", Literal::int64(3)}};
    struct Case {
        VectorValue vector;
        std::string text;
    };
    const std::vector<Case> cases = {
        {VectorValue{VectorValue::Dense{{2.5f, 1.0f}}}, "[2.5, 1.0]"},
        {VectorValue{VectorValue::Sparse{{1, 7}, {0.5f, 2.0f}}}, "{indices: [1, 7], values: [0.5, 2.0]}"},
        {VectorValue{VectorValue::MultiDense{{{1.0f}, {2.0f, 3.0f}}}}, "[[1.0], [2.0, 3.0]]"},
        {VectorValue{VectorValue::Document{"it's", std::nullopt, {}}}, "{text: 'it\\'s'}"},
        {VectorValue{VectorValue::Document{"a", std::string("m"), options}},
         "{text: 'a', model: 'm', options: {lang: 'en', 'max-len': 3}}"},
        {VectorValue{VectorValue::Image{"img.png", std::nullopt, options}},
         "{image: 'img.png', options: {lang: 'en', 'max-len': 3}}"},
        {VectorValue{VectorValue::Object{Literal::dict({{"k", Literal::null()}}), std::string("m"), {}}},
         "{object: {k: null}, model: 'm'}"},
        {VectorValue{Placeholder::named("v")}, ":v"},
        {VectorValue{Placeholder::positional(2)}, "?"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_vector_value(c.vector), c.text);
}

TEST(FmtVector, PointVectors) {
    VectorValue dense{VectorValue::Dense{{1.0f}}};
    EXPECT_EQ(format_point_vectors(PointVectors{dense}), "[1.0]");
    EXPECT_EQ(format_point_vectors(PointVectors{NamedVectors{{"a", dense}, {"b c", dense}}}),
              "{a: [1.0], 'b c': [1.0]}");
    EXPECT_EQ(format_point_vectors(PointVectors{NamedVectors{}}), "{}");
    EXPECT_EQ(format_point_vectors(PointVectors{Placeholder::named("row")}), ":row");
    EXPECT_EQ(format_point_vectors(PointVectors{Placeholder::positional(0)}), "?");
}

// Parts are written once with spaces; laying out turns only the top-level breaks into line feeds.
TEST(FmtSink, LayOutBreaksOnlyTopLevelParts) {
    struct Case {
        TextSink::Layout layout;
        std::string text;
    };
    const std::vector<Case> cases = {
        {TextSink::Layout::SingleLine, "A B (x y) C"},
        {TextSink::Layout::PartPerLine, "A\nB (x y)\nC"},
    };
    for (const auto& c : cases) {
        std::string out = "WITH\n";  // text before the statement keeps its place
        TextSink sink(out);
        const std::size_t start = sink.size();
        sink.text('A').part_break().text("B (");
        {
            TextSink::OneLine nested(sink);
            sink.text('x').part_break().text('y');
        }
        sink.text(')').part_break().text('C');
        EXPECT_EQ(sink.part_breaks().size(), 2u);
        sink.lay_out(c.layout);
        EXPECT_TRUE(sink.part_breaks().empty());
        EXPECT_EQ(out.substr(start), c.text);
        EXPECT_TRUE(out.starts_with("WITH\n"));
    }
}

TEST(FmtSink, JoinAndLexicalHelpers) {
    std::string out;
    TextSink sink(out);
    const std::vector<std::string> names = {"a", "b c", ""};
    sink.join(names, ", ", [](TextSink& s, const std::string& name) { s.identifier(name); });
    sink.text(' ').integer(-7).text(' ').integer(std::uint64_t{18446744073709551615ull});
    sink.text(' ').f64(1e23).text(' ').f32(0.1f).text(' ').quoted("it's");
    EXPECT_EQ(out, "a, 'b c', '' -7 18446744073709551615 100000000000000000000000.0 0.1 'it\\'s'");
}

}  // namespace
}  // namespace zorv::core
