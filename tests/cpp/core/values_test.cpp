#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/ast/literal.h"
#include "core/lexer.h"
#include "core/parser/helpers.h"
#include "core/parser/parser.h"

namespace zorv::core {
namespace {

std::string error_text(const ZorvError& e) {
    EXPECT_EQ(e.kind, ErrorKind::Parse);
    EXPECT_TRUE(e.fields.empty());
    EXPECT_EQ(e.cause, nullptr);
    std::string span = e.span ? std::to_string(e.span->start) + ".." + std::to_string(e.span->end) : "none";
    return "ERR " + e.code + "|" + e.message + "|" + span;
}

std::string point_id_text(const PointId& id) {
    switch (id.kind()) {
        case PointId::Kind::Number: return "Number(" + std::to_string(std::get<0>(id.value)) + ")";
        case PointId::Kind::String: return "String(" + literal_debug(Literal::str(std::get<1>(id.value))) + ")";
        case PointId::Kind::Param:
        case PointId::Kind::PositionalParam: return literal_debug(Literal::placeholder(std::get<2>(id.value)));
    }
    return "?";
}

std::string shard_key_text(const ShardKey& key) {
    switch (key.kind()) {
        case ShardKey::Kind::Keyword: return "Keyword(" + literal_debug(Literal::str(std::get<0>(key.value))) + ")";
        case ShardKey::Kind::Number: return "Number(" + std::to_string(std::get<1>(key.value)) + ")";
        case ShardKey::Kind::Param:
        case ShardKey::Kind::PositionalParam: return literal_debug(Literal::placeholder(std::get<2>(key.value)));
    }
    return "?";
}

// Each reader renders its value as text; the fixture appends where the cursor stopped.
template <class T, class Render>
std::string outcome(const Result<T>& r, Render render) {
    return r ? render(*r) : error_text(r.error());
}

using Reader = std::function<std::string(Parser&)>;

const Reader literal = [](Parser& p) { return outcome(parse_literal(p), literal_debug); };
const Reader list = [](Parser& p) {
    return outcome(parse_list_literal(p), [](const LiteralList& l) { return literal_debug(Literal::list(l)); });
};
const Reader object = [](Parser& p) {
    return outcome(parse_object_literal(p), [](const LiteralDict& d) { return literal_debug(Literal::dict(d)); });
};
const Reader config = [](Parser& p) {
    return outcome(parse_config_list(p), [](const LiteralDict& d) { return literal_debug(Literal::dict(d)); });
};
const Reader scalar = [](Parser& p) { return outcome(parse_scalar_literal(p), literal_debug); };
const Reader value_list = [](Parser& p) {
    return outcome(parse_value_list(p), [](const LiteralList& l) { return literal_debug(Literal::list(l)); });
};
const Reader string_literal = [](Parser& p) { return outcome(parse_string_literal(p), [](auto& s) { return s; }); };
const Reader field = [](Parser& p) { return outcome(parse_field_name(p), [](auto& s) { return s; }); };
const Reader object_key = [](Parser& p) {
    return outcome(take_object_key(p), [](const Token& t) { return std::string(t.text); });
};
const Reader point_id = [](Parser& p) { return outcome(parse_point_id(p, "UPDATE VECTOR"), point_id_text); };
const Reader shard_key = [](Parser& p) { return outcome(parse_shard_key(p), shard_key_text); };
const Reader positive = [](Parser& p) {
    return outcome(parse_positive_integer(p, "LIMIT"), [](std::uint64_t v) { return std::to_string(v); });
};
const Reader nonnegative = [](Parser& p) {
    return outcome(parse_nonnegative_integer(p, "OFFSET"), [](std::uint64_t v) { return std::to_string(v); });
};
const Reader number = [](Parser& p) { return outcome(parse_number(p), float_debug); };
const Reader placeholder_ref = [](Parser& p) {
    auto ref = parse_placeholder_ref(p);
    if (!ref) return std::string("none");
    return ref->text() + " " + std::to_string(ref->span->start) + ".." + std::to_string(ref->span->end);
};
const Reader optional_model = [](Parser& p) {
    return outcome(parse_optional_model(p),
                   [](const std::optional<std::string>& m) { return m ? "model " + *m : std::string("none"); });
};
const Reader model_clause = [](Parser& p) { return outcome(parse_model_clause(p), [](auto& s) { return s; }); };

struct ValueCase {
    const char* reader_name;
    Reader read;
    std::string input;
    std::string expected;  // rendered value and " @position", or "ERR CODE|message|start..end"
};

void PrintTo(const ValueCase& c, std::ostream* os) { *os << c.reader_name << " \"" << c.input << '"'; }

std::string run(const Reader& read, const std::string& text) {
    auto tokens = lex_all(text);
    if (!tokens) return "LEX " + tokens.error().message;
    Parser parser(text, std::move(*tokens));
    std::string out = read(parser);
    if (out.rfind("ERR ", 0) == 0) return out;
    return out + " @" + std::to_string(parser.position());
}

class ValueReaders : public ::testing::TestWithParam<ValueCase> {};

TEST_P(ValueReaders, Read) { EXPECT_EQ(run(GetParam().read, GetParam().input), GetParam().expected); }

#define READER(name) #name, name

const ValueCase kCases[] = {
    // strings, numbers, words
    {READER(literal), "'a\\nb'", R"(Str("a\nb") @1)"},
    {READER(literal), "'it''s'", R"(Str("it's") @1)"},
    {READER(literal), "'a\\x'", "ERR ZORV-PARSE-ESCAPE|unsupported escape sequence \\x|0..5"},
    {READER(literal), "9223372036854775807", "Int(9223372036854775807) @1"},
    {READER(literal), "-9223372036854775808", "Int(-9223372036854775808) @1"},
    {READER(literal), "9223372036854775808", "UInt(9223372036854775808) @1"},
    {READER(literal), "007", "Int(7) @1"},
    {READER(literal), "18446744073709551616",
     "ERR ZORV-PARSE-NUMBER|integer literal '18446744073709551616' is out of range|0..20"},
    {READER(literal), "-9223372036854775809",
     "ERR ZORV-PARSE-NUMBER|integer literal '-9223372036854775809' is out of range|0..20"},
    {READER(literal), "1e308", "Float(1e308) @1"},
    {READER(literal), "-2.50", "Float(-2.5) @1"},
    {READER(literal), "1e309", "ERR ZORV-PARSE-FLOAT|float literal '1e309' is not finite|0..5"},
    {READER(literal), "-1e309", "ERR ZORV-PARSE-FLOAT|float literal '-1e309' is not finite|0..6"},
    // Too small for a double: the nearest value is zero.
    {READER(literal), "1e-400", "Float(0.0) @1"},
    {READER(literal), "-1e-400", "Float(-0.0) @1"},
    {READER(literal), "0.000e999", "Float(0.0) @1"},
    // Subnormals keep their nearest value; just past the largest double is infinite.
    {READER(literal), "4e-320", "Float(4e-320) @1"},
    {READER(literal), "1.7976931348623157e308", "Float(1.7976931348623157e308) @1"},
    {READER(literal), "1.7976931348623159e308",
     "ERR ZORV-PARSE-FLOAT|float literal '1.7976931348623159e308' is not finite|0..22"},
    {READER(literal), "true", "Bool(true) @1"},
    {READER(literal), "TRUE", "Bool(true) @1"},
    {READER(literal), "True", "Bool(true) @1"},
    {READER(literal), "false", "Bool(false) @1"},
    {READER(literal), "NULL", "Null @1"},
    {READER(literal), "none", R"(Str("none") @1)"},
    {READER(literal), "Score", R"(Str("Score") @1)"},
    {READER(literal), "a.b", R"(Str("a.b") @1)"},
    {READER(literal), "float", R"(Str("float") @1)"},
    {READER(literal), "INTEGER", R"(Str("INTEGER") @1)"},
    // placeholders
    {READER(literal), ":x", R"(Param("x", Some(Span { start: 0, end: 2 })) @2)"},
    {READER(literal), ": limit", R"(Param("limit", Some(Span { start: 0, end: 7 })) @2)"},
    {READER(literal), ": 5", "ERR ZORV-PARSE-PARAM|expected parameter identifier after ':', found '5'|2..3"},
    {READER(literal), "?", "PositionalParam(0, Some(Span { start: 0, end: 1 })) @1"},
    {READER(literal), "[?, :a, ?]",
     "List([PositionalParam(0, Some(Span { start: 1, end: 2 })), Param(\"a\", Some(Span { start: 4, end: 6 })), "
     "PositionalParam(1, Some(Span { start: 8, end: 9 }))]) @8"},
    // tokens that are no value
    {READER(literal), "", "ERR ZORV-PARSE-VALUE|unexpected value token ''|0..0"},
    {READER(literal), "  ", "ERR ZORV-PARSE-VALUE|unexpected value token ''|2..2"},
    {READER(literal), "*", "ERR ZORV-PARSE-VALUE|unexpected value token '*'|0..1"},
    {READER(literal), ")", "ERR ZORV-PARSE-VALUE|unexpected value token ')'|0..1"},
    {READER(literal), "- 1", "ERR ZORV-PARSE-VALUE|unexpected value token '-'|0..1"},
    {READER(literal), ">=", "ERR ZORV-PARSE-VALUE|unexpected value token '>='|0..2"},
    // lists
    {READER(literal), "[1, [2, 3], {k: v}]", R"(List([Int(1), List([Int(2), Int(3)]), Dict([("k", Str("v"))])]) @15)"},
    {READER(literal), "[]", "List([]) @2"},
    {READER(literal), "[1,]", "ERR ZORV-PARSE-TRAILING-COMMA|trailing commas are not allowed|3..4"},
    {READER(literal), "[1;", "ERR ZORV-PARSE-EXPECTED|expected RBRACKET but got ';'|2..3"},
    {READER(literal), "[1", "ERR ZORV-PARSE-EXPECTED|expected RBRACKET but got ''|2..2"},
    {READER(literal), "[,]", "ERR ZORV-PARSE-VALUE|unexpected value token ','|1..2"},
    {READER(list), "[1.5, 'a']", R"(List([Float(1.5), Str("a")]) @5)"},
    {READER(list), "(1)", "ERR ZORV-PARSE-EXPECTED|expected LBRACKET but got '('|0..1"},
    // objects
    {READER(literal), "{mode: fast}", R"(Dict([("mode", Str("fast"))]) @5)"},
    {READER(literal), "{}", "Dict([]) @2"},
    {READER(literal), "{'x y': 1}", R"(Dict([("x y", Int(1))]) @5)"},
    {READER(literal), "{\"k\\n\": 1, 2: b, limit: null, Float: 0}",
     R"(Dict([("k\n", Int(1)), ("2", Str("b")), ("limit", Null), ("Float", Int(0))]) @17)"},
    {READER(literal), "{b: 1, a: 2}", R"(Dict([("b", Int(1)), ("a", Int(2))]) @9)"},
    {READER(literal), "{a: 1, A: 2}", "ERR ZORV-PARSE-DUPLICATE-KEY|duplicate payload key 'A'|7..8"},
    {READER(literal), "{'a': 1, \"A\": 2}", "ERR ZORV-PARSE-DUPLICATE-KEY|duplicate payload key 'A'|9..12"},
    {READER(literal), "{a: 1,}", "ERR ZORV-PARSE-TRAILING-COMMA|trailing commas are not allowed|6..7"},
    {READER(literal), "{a 1}", "ERR ZORV-PARSE-EXPECTED|expected COLON but got '1'|3..4"},
    {READER(literal), "{a: 1 b: 2}", "ERR ZORV-PARSE-EXPECTED|expected RBRACE but got 'b'|6..7"},
    {READER(literal), "{[: 1}", "ERR ZORV-PARSE-OBJECT-KEY|expected an object key, got '['|1..2"},
    {READER(object), "{a: {b: [1]}}", R"(Dict([("a", Dict([("b", List([Int(1)]))]))]) @11)"},
    // settings lists
    {READER(config), "()", "Dict([]) @2"},
    {READER(config), "(m = 16, ef_construct = 100, on_disk = true)",
     R"(Dict([("m", Int(16)), ("ef_construct", Int(100)), ("on_disk", Bool(true))]) @13)"},
    {READER(config), "('k\\n' = x)", R"(Dict([("k\\n", Str("x"))]) @5)"},
    {READER(config), "(a = 1, a = 2)", "ERR ZORV-PARSE-DUPLICATE-KEY|duplicate configuration key 'a'|8..9"},
    {READER(config), "(Mode = 1, mODE = 2)", "ERR ZORV-PARSE-DUPLICATE-KEY|duplicate configuration key 'mODE'|11..15"},
    {READER(config), "(a = 1,)", "ERR ZORV-PARSE-TRAILING-COMMA|trailing commas are not allowed|7..8"},
    {READER(config), "(a 1)", "ERR ZORV-PARSE-EXPECTED|expected EQUALS but got '1'|3..4"},
    {READER(config), "(= 1)", "ERR ZORV-PARSE-OBJECT-KEY|expected an object key, got '='|1..2"},
    {READER(config), "a = 1", "ERR ZORV-PARSE-EXPECTED|expected LPAREN but got 'a'|0..1"},
    // scalars and value lists
    {READER(scalar), "'x'", R"(Str("x") @1)"},
    {READER(scalar), "[1, 2]", "ERR ZORV-PARSE-LITERAL|expected a scalar literal|0..6"},
    {READER(scalar), "{a: {}}", "ERR ZORV-PARSE-LITERAL|expected a scalar literal|0..7"},
    {READER(value_list), "()", "List([]) @2"},
    {READER(value_list), "(1, 'a', ?, ?)",
     R"(List([Int(1), Str("a"), PositionalParam(0, Some(Span { start: 9, end: 10 })), )"
     R"(PositionalParam(1, Some(Span { start: 12, end: 13 }))]) @9)"},
    {READER(value_list), "(1, )", "ERR ZORV-PARSE-VALUE|unexpected value token ')'|4..5"},
    {READER(value_list), "(1, [2])", "ERR ZORV-PARSE-LITERAL|expected a scalar literal|4..7"},
    {READER(value_list), "(1 2)", "ERR ZORV-PARSE-EXPECTED|expected RPAREN but got '2'|3..4"},
    // strings, names and keys
    {READER(string_literal), "\"a\\\"b\"", "a\"b @1"},
    {READER(string_literal), "r'a\\nb'", "a\\nb @1"},
    {READER(string_literal), "x", "ERR ZORV-PARSE-EXPECTED|expected STRING but got 'x'|0..1"},
    {READER(field), "'a b'", "a b @1"},
    {READER(field), "meta.tags[].name", "meta.tags[].name @1"},
    {READER(field), "LIMIT", "LIMIT @1"},
    {READER(field), "5", "ERR ZORV-PARSE-FIELD|expected a field name, got '5'|0..1"},
    {READER(field), "", "ERR ZORV-PARSE-FIELD|expected a field name, got ''|0..0"},
    {READER(object_key), "1.5", "1.5 @1"},
    {READER(object_key), "'q\\n'", "q\\n @1"},
    {READER(object_key), "?", "ERR ZORV-PARSE-OBJECT-KEY|expected an object key, got '?'|0..1"},
    // point ids
    {READER(point_id), "42", "Number(42) @1"},
    {READER(point_id), "18446744073709551615", "Number(18446744073709551615) @1"},
    {READER(point_id), "'abc'", R"(String(Str("abc")) @1)"},
    {READER(point_id), "'not-a-uuid\\n'", R"(String(Str("not-a-uuid\n")) @1)"},
    {READER(point_id), ":id", R"(Param("id", Some(Span { start: 0, end: 3 })) @2)"},
    {READER(point_id), "?", "PositionalParam(0, Some(Span { start: 0, end: 1 })) @1"},
    {READER(point_id), "-1",
     "ERR ZORV-PARSE-POINT-ID|UPDATE VECTOR requires an unsigned integer or string point ID|0..2"},
    {READER(point_id), "18446744073709551616",
     "ERR ZORV-PARSE-POINT-ID|UPDATE VECTOR requires an unsigned integer or string point ID|0..20"},
    {READER(point_id), "1.0",
     "ERR ZORV-PARSE-POINT-ID|UPDATE VECTOR requires an unsigned integer or string point ID|0..3"},
    {READER(point_id), "integer",
     "ERR ZORV-PARSE-POINT-ID|UPDATE VECTOR requires an unsigned integer or string point ID|0..7"},
    {READER(point_id), ": 1", "ERR ZORV-PARSE-PARAM|expected parameter identifier after ':', found '1'|2..3"},
    // shard keys
    {READER(shard_key), "7", "Number(7) @1"},
    {READER(shard_key), "'eu-west'", R"(Keyword(Str("eu-west")) @1)"},
    {READER(shard_key), ":sk", R"(Param("sk", Some(Span { start: 0, end: 3 })) @2)"},
    {READER(shard_key), "?", "PositionalParam(0, Some(Span { start: 0, end: 1 })) @1"},
    {READER(shard_key), "-1", "ERR ZORV-PARSE-NONNEGATIVE-INTEGER|shard key must be a non-negative integer|0..2"},
    {READER(shard_key), "eu", "ERR ZORV-PARSE-EXPECTED|expected STRING but got 'eu'|0..2"},
    // integers and numbers
    {READER(positive), "3", "3 @1"},
    {READER(positive), "0", "ERR ZORV-PARSE-POSITIVE-INTEGER|LIMIT must be a positive integer|0..1"},
    {READER(positive), "-3", "ERR ZORV-PARSE-POSITIVE-INTEGER|LIMIT must be a positive integer|0..2"},
    {READER(positive), "99999999999999999999",
     "ERR ZORV-PARSE-POSITIVE-INTEGER|LIMIT must be a positive integer|0..20"},
    {READER(positive), "x", "ERR ZORV-PARSE-EXPECTED|expected INTEGER but got 'x'|0..1"},
    {READER(positive), "1.5", "ERR ZORV-PARSE-EXPECTED|expected INTEGER but got '1.5'|0..3"},
    {READER(nonnegative), "0", "0 @1"},
    {READER(nonnegative), "-1", "ERR ZORV-PARSE-NONNEGATIVE-INTEGER|OFFSET must be a non-negative integer|0..2"},
    {READER(number), "1.5", "1.5 @1"},
    {READER(number), "-3", "-3.0 @1"},
    {READER(number), "1e-400", "0.0 @1"},
    {READER(number), "1e309", "ERR ZORV-PARSE-NUMBER|number '1e309' is not finite|0..5"},
    {READER(number), "float", "ERR ZORV-PARSE-NUMBER|invalid number 'float'|0..5"},
    {READER(number), "'1'", "ERR ZORV-PARSE-NUMBER|expected a number, got '1'|0..3"},
    {READER(number), "", "ERR ZORV-PARSE-NUMBER|expected a number, got ''|0..0"},
    // placeholders kept as text
    {READER(placeholder_ref), ":lim", ":lim 0..4 @2"},
    {READER(placeholder_ref), ":  n", ":n 0..4 @2"},
    {READER(placeholder_ref), "?", "?0 0..1 @1"},
    {READER(placeholder_ref), "5", "none @0"},
    {READER(placeholder_ref), ": 5", "none @0"},
    // models
    {READER(optional_model), "MODEL 'm'", "model m @2"},
    {READER(optional_model), "x", "none @0"},
    {READER(optional_model), "model x", "ERR ZORV-PARSE-EXPECTED|expected STRING but got 'x'|6..7"},
    {READER(model_clause), "model \"a\\tb\"", "a\tb @2"},
    {READER(model_clause), "'m'", "ERR ZORV-PARSE-EXPECTED|expected MODEL but got 'm'|0..3"},
};

INSTANTIATE_TEST_SUITE_P(All, ValueReaders, ::testing::ValuesIn(kCases));

TEST(ValueReaders, PositionalIndexesContinueAcrossReads) {
    const std::string text = "? (?, ?) LIMIT ?";
    Parser parser(text, *lex_all(text));
    EXPECT_EQ(parse_literal(parser)->as_positional().index, 0u);
    LiteralList values = *parse_value_list(parser);
    EXPECT_EQ(values[0].as_positional().index, 1u);
    EXPECT_EQ(values[1].as_positional().index, 2u);
    parser.take_token();  // LIMIT
    EXPECT_EQ(parse_placeholder_ref(parser)->text(), "?3");
    EXPECT_EQ(parser.positional_count(), 4u);
}

std::string nested(const std::string& open, int levels, const std::string& inner, const std::string& close) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += open;
    text += inner;
    for (int i = 0; i < levels; ++i) text += close;
    return text;
}

TEST(ValueNesting, AcceptsOneHundredTwentyEightLevels) {
    for (const auto& [open, close] : {std::pair{"[", "]"}, std::pair{"{a: ", "}"}}) {
        std::string text = nested(open, 128, "1", close);
        Parser parser(text, *lex_all(text));
        auto value = parse_literal(parser);
        ASSERT_TRUE(value) << value.error().message;
        EXPECT_TRUE(parser.at_end());
        EXPECT_EQ(parser.depth(), 0u);
    }
}

TEST(ValueNesting, RefusesTheHundredTwentyNinthLevelAtItsOpener) {
    struct Case {
        std::string text;
        std::uint64_t opener;  // byte offset of the 129th opening token
    };
    const Case cases[] = {
        {nested("[", 129, "1", "]"), 128},
        {nested("{a: ", 129, "1", "}"), 128 * 4},
        {nested("[{k: ", 64, "[[1]]", "}]"), 64 * 5},
    };
    for (const Case& c : cases) {
        Parser parser(c.text, *lex_all(c.text));
        auto value = parse_literal(parser);
        ASSERT_FALSE(value);
        EXPECT_EQ(error_text(value.error()),
                  "ERR ZORV-PARSE-NESTING|statement nests deeper than 128 levels; flatten the expression|" +
                      std::to_string(c.opener) + ".." + std::to_string(c.opener + 1));
        EXPECT_EQ(parser.depth(), 0u);
    }
}

TEST(ValueNesting, HundredThousandOpenersFailCleanly) {
    const std::string text(100000, '[');
    Parser parser(text, *lex_all(text));
    auto value = parse_literal(parser);
    ASSERT_FALSE(value);
    EXPECT_EQ(value.error().code, "ZORV-PARSE-NESTING");
    EXPECT_EQ(value.error().span, (Span{128, 129}));
}

TEST(ValueReaders, ManyObjectKeysStillFindDuplicates) {
    std::string text = "{";
    for (int i = 0; i < 200; ++i) text += "k" + std::to_string(i) + ": " + std::to_string(i) + ", ";
    text += "K150: 0}";
    Parser parser(text, *lex_all(text));
    auto value = parse_object_literal(parser);
    ASSERT_FALSE(value);
    EXPECT_EQ(value.error().message, "duplicate payload key 'K150'");
}

struct DatetimeCase {
    const char* text;
    bool expected;
};

TEST(DatetimeLiteral, MatchesDateTimeZoneForms) {
    const DatetimeCase cases[] = {
        {"2024-01-02", true},
        {"2024-01-02T03:04:05", true},
        {"2024-01-02 03:04:05.123Z", true},
        {"2024-01-02t03:04:05+05:30", true},
        {"2024-01-02T03:04:05+0530", true},
        {"2024-01-02T03:04:05-05", true},
        {"2024-01-02T03:04:05.5z", true},
        {"2024-13-45", true},
        {"2024-01-02T03:04", false},
        {"2024-01-02T03:04:05.", false},
        {"2024-01-02T03:04:05+5", false},
        {"2024-01-02T03:04:05+05:3", true},  // four characters of digits and ':'
        {"2024-01-02T03:04:05+05:300", false},
        {"2024-01-02T03:04:05Zx", false},
        {"2024-01-02T03:04:05 ", false},
        {"2024-01-02x03:04:05", false},
        {"2024-01-02T", false},
        {"2024/01/02", false},
        {"2024-1-02", false},
        {"", false},
    };
    for (const DatetimeCase& c : cases) EXPECT_EQ(is_datetime_literal(c.text), c.expected) << c.text;
}

}  // namespace
}  // namespace zorv::core
