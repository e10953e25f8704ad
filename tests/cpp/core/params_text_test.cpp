// Binding parameters into statement text, and the literal text of values.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>

#include "core/params/text.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::span_of;

// A value written as statement text, read as a payload value.
Literal value(const std::string& text) {
    auto statement = parse_statement("UPDATE c SET PAYLOAD = {v: " + text + "} WHERE id = 1");
    EXPECT_TRUE(statement) << text;
    if (!statement || statement->kind() != StatementKind::UpdatePayload) return Literal::null();
    return statement->get<StatementKind::UpdatePayload>()->payload.at(0).second;
}

struct TextBindCase {
    std::string text;
    std::string params;
    std::string expected;
};

void PrintTo(const TextBindCase& c, std::ostream* os) { *os << c.text << " with " << c.params; }

class TextBinding : public testing::TestWithParam<TextBindCase> {};

TEST_P(TextBinding, SplicesLiteralText) {
    const TextBindCase& c = GetParam();
    auto bound = bind_text_params(c.text, value(c.params), false);
    ASSERT_TRUE(bound) << format_error(bound.error());
    EXPECT_EQ(*bound, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Bind, TextBinding,
    testing::Values(TextBindCase{"", "{}", ""},
                    TextBindCase{"QUERY [1] FROM c WHERE a = :a LIMIT :n", "{a: 'x', n: 5}",
                                 "QUERY [1] FROM c WHERE a = 'x' LIMIT 5"},
                    TextBindCase{"WHERE u = :user.name AND w = :user", "{user: {name: 'a'}}",
                                 "WHERE u = 'a' AND w = {name: 'a'}"},
                    // A dot before a digit ends the name.
                    TextBindCase{"x = :a.1", "{a: 2}", "x = 2.1"},
                    // Quoted texts, raw strings, backticks, triple quotes and comments keep their colons and marks.
                    TextBindCase{"a = ':a' AND b = \":a\" AND c = `:a` AND d = r':a' AND e = '''x:a'''", "{a: 1}",
                                 "a = ':a' AND b = \":a\" AND c = `:a` AND d = r':a' AND e = '''x:a'''"},
                    TextBindCase{"a = :a -- :a ?\nb = :a", "{a: 1}", "a = 1 -- :a ?\nb = 1"},
                    TextBindCase{"'it''s :a' :a", "{a: 1}", "'it''s :a' 1"},
                    // Colons glued to what comes before are text; of two colons the second binds.
                    TextBindCase{"a:x 1:x ]:x ':x' $:x _:x `:x` }:x", "{}", "a:x 1:x ]:x ':x' $:x _:x `:x` }:x"},
                    TextBindCase{"(:x ,:x =:x ::x", "{x: 1}", "(1 ,1 =1 :1"},
                    // A minus sign and a negative value never make a comment.
                    TextBindCase{"x = 1 -:v AND y = :v", "{v: -5}", "x = 1 - -5 AND y = -5"},
                    TextBindCase{"a = :s", "{s: 'it\\'s\\nx'}", "a = 'it\\'s\\nx'"},
                    // Inside a word an `r` opens no raw string, so the quote after it opens an ordinary one.
                    TextBindCase{"bar'x\\' :a' :a", "{a: 1}", "bar'x\\' :a' 1"},
                    TextBindCase{"QUERY [1] FROM c WHERE a = ? AND b IN (?, ?)", "[1, 'two', [3.5, {k: true}]]",
                                 "QUERY [1] FROM c WHERE a = 1 AND b IN ('two', [3.5, {k: true}])"},
                    TextBindCase{"a = '?' AND b = ?", "[-2]", "a = '?' AND b = -2"},
                    TextBindCase{"x -?", "[-1]", "x - -1"}));

struct TextErrorCase {
    std::string text;
    std::string params;
    std::string code;
    std::string message;
    std::string span_text;  // empty: no span
    int nth = 0;
};

void PrintTo(const TextErrorCase& c, std::ostream* os) { *os << c.text << " with " << c.params; }

class TextBindingErrors : public testing::TestWithParam<TextErrorCase> {};

TEST_P(TextBindingErrors, ReportCodeMessageAndSpan) {
    const TextErrorCase& c = GetParam();
    auto bound = bind_text_params(c.text, value(c.params), false);
    ASSERT_FALSE(bound) << *bound;
    EXPECT_EQ(bound.error().code, c.code);
    EXPECT_EQ(bound.error().kind, ErrorKind::Validation);
    EXPECT_EQ(bound.error().message, c.message);
    if (c.span_text.empty()) {
        EXPECT_EQ(bound.error().span, std::nullopt);
    } else {
        EXPECT_EQ(bound.error().span, span_of(c.text, c.span_text, c.nth));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Bind, TextBindingErrors,
    testing::Values(
        TextErrorCase{"a = :a AND b = ?", "{a: 1}", "ZORV-BIND-MIXED-STYLE",
                      "query contains positional placeholder '?' \xE2\x80\x94 use bind_positional / "
                      "execute_with_positional_params instead of named parameter binding",
                      "?"},
        TextErrorCase{"a = ? AND b = :bee", "[1]", "ZORV-BIND-MIXED-STYLE",
                      "query contains named placeholder ':name' \xE2\x80\x94 use bind_named / execute_with_params "
                      "instead of positional parameter binding",
                      ":b"},
        TextErrorCase{"a = :missing.key", "{missing: 1}", "ZORV-BIND-MISSING-PARAM",
                      "missing value for named parameter ':missing.key'", ":missing.key"},
        TextErrorCase{"a = :n", "{n: null}", "ZORV-BIND-NULL-PARAM",
                      "parameter ':n' is null; ZORV cannot bind null \xE2\x80\x94 pass a concrete value or remove the "
                      "placeholder",
                      ":n"},
        TextErrorCase{"a = ? AND b = ?", "[1]", "ZORV-BIND-MISSING-PARAM",
                      "missing value for positional parameter ?2 (only 1 parameter(s) provided)", "?", 1},
        TextErrorCase{"a = ? AND b = ?", "[1, null]", "ZORV-BIND-NULL-PARAM",
                      "positional parameter ?2 is null; ZORV cannot bind null \xE2\x80\x94 pass a concrete value or "
                      "remove the placeholder",
                      "?", 1},
        TextErrorCase{"a = ? AND b = ?", "[1, 2, 3]", "ZORV-BIND-UNUSED-PARAMS",
                      "too many positional parameters provided: bound 2, but 3 were supplied", ""},
        TextErrorCase{"", "[1]", "ZORV-BIND-UNUSED-PARAMS",
                      "no '?' placeholders found in query, but 1 positional parameters were supplied", ""},
        TextErrorCase{"a = '?'", "[1, 2]", "ZORV-BIND-UNUSED-PARAMS",
                      "no '?' placeholders found in query, but 2 positional parameters were supplied", ""},
        TextErrorCase{"a = :a", "'x'", "ZORV-BIND-INVALID-PARAMS",
                      "params must be an object for named parameters (:name) or an array for positional parameters (?)",
                      ""},
        TextErrorCase{"a = :a", "{'a.b': 1, a: {b: 2}}", "ZORV-BIND-DUPLICATE-PARAM",
                      "duplicate parameter key 'a.b' from flat and nested parameter sources", ""}));

TEST(TextBinding, TruncatesVectorsForDisplayWhenAsked) {
    auto bound = bind_text_params("QUERY :v FROM c", value("{v: [0.5, 1.5, 2.5, 3.5]}"), true);
    ASSERT_TRUE(bound);
    EXPECT_EQ(*bound, "QUERY [0.5, 1.5, ... (4 dims)] FROM c");
}

TEST(RenderLiteral, WritesCanonicalValueText) {
    const std::pair<Literal, std::string> cases[] = {
        {Literal::f64(3), "3.0"},
        {Literal::f64(0.5), "0.5"},
        {Literal::f64(1e20), "1e20"},
        {Literal::f64(0.00001), "1e-5"},
        {Literal::f64(-0.0), "-0.0"},
        {Literal::f64(1e15), "1000000000000000.0"},
        {Literal::int64(-3), "-3"},
        {Literal::uint64(18446744073709551615ULL), "18446744073709551615"},
        {Literal::boolean(false), "false"},
        {Literal::null(), "null"},
        {Literal::dict({}), "{}"},
        {Literal::dict({{"plain", Literal::int64(1)}, {"two words", Literal::str("x")}}),
         "{plain: 1, 'two words': 'x'}"},
        {Literal::f32_array({1.0F, 0.25F}), "[1.0, 0.25]"},
        {Literal::f32_array({}), "[]"},
        {Literal::list({Literal::param("p"), Literal::positional(3)}), "[:p, ?]"},
    };
    for (const auto& [literal, expected] : cases) {
        auto text = render_literal(literal);
        ASSERT_TRUE(text) << expected;
        EXPECT_EQ(*text, expected);
    }
}

TEST(RenderLiteral, RefusesWhatTextCannotCarry) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<Literal, std::string> cases[] = {
        {Literal::f64(std::numeric_limits<double>::quiet_NaN()), "cannot bind non-finite float value 'NaN'"},
        {Literal::list({Literal::f64(-inf)}), "cannot bind non-finite float value '-inf'"},
        {Literal::f32_array({1.0F, std::numeric_limits<float>::infinity()}),
         "cannot bind non-finite float value 'inf'"},
        {Literal::str(std::string("a\0b", 3)), "cannot bind a string containing U+0000; remove the NUL character"},
        {Literal::dict({{std::string("k\0", 2), Literal::int64(1)}}),
         "cannot bind a string containing U+0000; remove the NUL character"},
    };
    for (const auto& [literal, message] : cases) {
        auto text = render_literal(literal);
        ASSERT_FALSE(text) << message;
        EXPECT_EQ(text.error().code, "ZORV-BIND-TYPE-MISMATCH");
        EXPECT_EQ(text.error().kind, ErrorKind::Validation);
        EXPECT_EQ(text.error().message, message);
        EXPECT_EQ(text.error().span, std::nullopt);
    }
}

// Bound text parses back to the values that were bound.
TEST(TextBinding, BoundTextParsesToTheBoundValues) {
    const Literal params = value("{s: 'quote \\' and \\\\ back', n: -5, f: 0.1, l: [1, 'x', {k: null}]}");
    auto bound = bind_text_params("UPDATE c SET PAYLOAD = {s: :s, n: :n, f: :f, l: :l} WHERE id = 1", params, false);
    ASSERT_TRUE(bound) << format_error(bound.error());
    auto statement = parse_statement(*bound);
    ASSERT_TRUE(statement) << *bound;
    const LiteralDict& payload = statement->get<StatementKind::UpdatePayload>()->payload;
    for (const LiteralEntry& entry : params.as_dict()) {
        auto found =
            std::find_if(payload.begin(), payload.end(), [&](const auto& e) { return e.first == entry.first; });
        ASSERT_NE(found, payload.end()) << entry.first;
        EXPECT_EQ(found->second, entry.second) << entry.first;
    }
}

}  // namespace
}  // namespace zorv::core
