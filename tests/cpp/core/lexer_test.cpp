#include <gtest/gtest.h>

#include <string>

#include "core/lexer.h"

namespace zorv::core {
namespace {

// "KIND text start..end" per token, joined by " | ".
std::string render(const std::vector<Token>& tokens) {
    std::string out;
    for (const Token& t : tokens) {
        if (!out.empty()) out += " | ";
        out += token_kind_name(t.kind);
        out += ' ';
        out += t.text;
        out += ' ' + std::to_string(t.span.start) + ".." + std::to_string(t.span.end);
        EXPECT_EQ(t.pos, t.span.start);
    }
    return out;
}

struct LexCase {
    std::string input;
    std::string expected;  // rendered tokens, or "ERR CODE|message|start..end"
};

void PrintTo(const LexCase& c, std::ostream* os) { *os << '"' << c.input << '"'; }

std::string outcome(const std::string& input) {
    auto r = lex_all(input);
    if (r) return render(*r);
    const ZorvError& e = r.error();
    EXPECT_EQ(e.kind, ErrorKind::Lex);
    EXPECT_TRUE(e.fields.empty());
    return "ERR " + e.code + "|" + e.message + "|" + std::to_string(e.span->start) + ".." + std::to_string(e.span->end);
}

class LexTable : public ::testing::TestWithParam<LexCase> {};

TEST_P(LexTable, Lexes) { EXPECT_EQ(outcome(GetParam().input), GetParam().expected); }

const LexCase kCases[] = {
    // blanks and comments
    {"", ""},
    {" \t\r\n -- only a comment", ""},
    {"a--b", "IDENTIFIER a 0..1"},
    {"a -- c\nb", "IDENTIFIER a 0..1 | IDENTIFIER b 7..8"},
    // punctuation and operators
    {"(){}[]:,;?*+/=",
     "LPAREN ( 0..1 | RPAREN ) 1..2 | LBRACE { 2..3 | RBRACE } 3..4 | LBRACKET [ 4..5 | "
     "RBRACKET ] 5..6 | COLON : 6..7 | COMMA , 7..8 | SEMICOLON ; 8..9 | QUESTION ? 9..10 | "
     "* * 10..11 | PLUS + 11..12 | SLASH / 12..13 | EQUALS = 13..14"},
    {"==", "EQUALS = 0..1 | EQUALS = 1..2"},
    {"<= < >= > != <>",
     "LTE <= 0..2 | LT < 3..4 | GTE >= 5..7 | GT > 8..9 | NOT_EQUALS != 10..12 | "
     "LT < 13..14 | GT > 14..15"},
    {"\xE2\x89\xA5 5", "GTE \xE2\x89\xA5 0..3 | INTEGER 5 4..5"},
    {"\xE2\x89\xA4\xE2\x89\xA0", "LTE \xE2\x89\xA4 0..3 | NOT_EQUALS \xE2\x89\xA0 3..6"},
    {"- -5", "MINUS - 0..1 | INTEGER -5 2..4"},
    // numbers
    {"42 007", "INTEGER 42 0..2 | INTEGER 007 3..6"},
    {"1.5 1e5 1E+5 2.5e-3", "FLOAT 1.5 0..3 | FLOAT 1e5 4..7 | FLOAT 1E+5 8..12 | FLOAT 2.5e-3 13..19"},
    {"18446744073709551616", "INTEGER 18446744073709551616 0..20"},
    {"5abc", "INTEGER 5 0..1 | IDENTIFIER abc 1..4"},
    {"1.", "ERR ZORV-LEX-NUMBER|malformed numeric literal: unexpected '.'|0..2"},
    {"1..2", "ERR ZORV-LEX-NUMBER|malformed numeric literal: unexpected '.'|0..2"},
    {"1.5.2", "ERR ZORV-LEX-NUMBER|malformed numeric literal: unexpected '.'|0..4"},
    {"1e", "ERR ZORV-LEX-NUMBER|malformed numeric literal: exponent requires at least one digit|0..2"},
    {"1ex", "ERR ZORV-LEX-NUMBER|malformed numeric literal: exponent requires at least one digit|0..2"},
    {"x 3e+", "ERR ZORV-LEX-NUMBER|malformed numeric literal: exponent requires at least one digit|2..5"},
    {"-.5", "ERR ZORV-LEX-NUMBER|malformed numeric literal: '-' must be followed by a digit|0..2"},
    {".5", "ERR ZORV-LEX-CHAR|Unexpected character '.'|0..1"},
    // minus split after operands only
    {"a -5", "IDENTIFIER a 0..1 | MINUS - 2..3 | INTEGER 5 3..4"},
    {"x[0] -1",
     "IDENTIFIER x 0..1 | LBRACKET [ 1..2 | INTEGER 0 2..3 | RBRACKET ] 3..4 | MINUS - 5..6 | "
     "INTEGER 1 6..7"},
    {"3 -2.5", "INTEGER 3 0..1 | MINUS - 2..3 | FLOAT 2.5 3..6"},
    {"(a) -1", "LPAREN ( 0..1 | IDENTIFIER a 1..2 | RPAREN ) 2..3 | MINUS - 4..5 | INTEGER 1 5..6"},
    {"'s' -1", "STRING s 0..3 | MINUS - 4..5 | INTEGER 1 5..6"},
    {"LIMIT -5", "LIMIT LIMIT 0..5 | INTEGER -5 6..8"},
    {"= -5", "EQUALS = 0..1 | INTEGER -5 2..4"},
    {"(-5", "LPAREN ( 0..1 | INTEGER -5 1..3"},
    {"[1, -5]", "LBRACKET [ 0..1 | INTEGER 1 1..2 | COMMA , 2..3 | INTEGER -5 4..6 | RBRACKET ] 6..7"},
    {"INTEGER -5", "INTEGER INTEGER 0..7 | MINUS - 8..9 | INTEGER 5 9..10"},
    {"float -5", "FLOAT float 0..5 | MINUS - 6..7 | INTEGER 5 7..8"},
    {"score -0.5", "SCORE score 0..5 | FLOAT -0.5 6..10"},
    {"-5", "INTEGER -5 0..2"},
    // strings
    {"'it''s'", "STRING it''s 0..7"},
    {"'a\\'b'", "STRING a\\'b 0..6"},
    {"\"a\"\"b\"", "STRING a 0..3 | STRING b 3..6"},
    {"'''a'b'''", "STRING a'b 0..9"},
    {"\"\"\"x\"\"\"", "STRING x 0..7"},
    {"''", "STRING  0..2"},
    {"'''abc", "ERR ZORV-LEX-STRING|unterminated string literal|0..6"},
    {"x 'abc", "ERR ZORV-LEX-STRING|unterminated string literal|2..6"},
    {"'abc\\", "ERR ZORV-LEX-STRING|unterminated string literal|0..5"},
    {"r'a\\b'", "STRING a\\b 0..6"},
    {"r\"x\"", "STRING x 0..4"},
    {"r'abc", "ERR ZORV-LEX-STRING|unterminated raw string literal|0..5"},
    {"`x y`", "STRING x y 0..5"},
    {"`x", "ERR ZORV-LEX-STRING|unterminated backtick string literal|0..2"},
    {"R'x'", "IDENTIFIER R 0..1 | STRING x 1..4"},
    {"R", "IDENTIFIER R 0..1"},
    {"r", "IDENTIFIER r 0..1"},
    // words and keywords
    {"select", "IDENTIFIER select 0..6"},
    {"query Query QUERY", "QUERY query 0..5 | QUERY Query 6..11 | QUERY QUERY 12..17"},
    {"Query.x", "IDENTIFIER Query.x 0..7"},
    {"payload.city tags[].name", "IDENTIFIER payload.city 0..12 | IDENTIFIER tags[].name 13..24"},
    {"a[]", "IDENTIFIER a 0..1 | LBRACKET [ 1..2 | RBRACKET ] 2..3"},
    {"_x $y a1", "IDENTIFIER _x 0..2 | IDENTIFIER $y 3..5 | IDENTIFIER a1 6..8"},
    {"max_selectivity inserT_only", "MAX_SELECTIVITY max_selectivity 0..15 | INSERT_ONLY inserT_only 16..27"},
    {"a.1", "ERR ZORV-LEX-CHAR|Unexpected character '.'|1..2"},
    {"a.", "ERR ZORV-LEX-CHAR|Unexpected character '.'|1..2"},
    // unexpected characters
    {"!", "ERR ZORV-LEX-CHAR|Unexpected character '!'|0..1"},
    {"  !x", "ERR ZORV-LEX-CHAR|Unexpected character '!'|2..3"},
    {"#", "ERR ZORV-LEX-CHAR|Unexpected character '#'|0..1"},
    {"\xE2\x89\x88", "ERR ZORV-LEX-CHAR|Unexpected character '\xE2\x89\x88'|0..3"},
    {"\xC3\xA9", "ERR ZORV-LEX-CHAR|Unexpected character '\xC3\xA9'|0..2"},
};

INSTANTIATE_TEST_SUITE_P(Rules, LexTable, ::testing::ValuesIn(kCases));

TEST(Keywords, TableOrderAndNames) {
    EXPECT_EQ(token_kind_name(TokenKind::Abs), "ABS");
    EXPECT_EQ(token_kind_name(TokenKind::Except), "EXCEPT");
    EXPECT_EQ(static_cast<int>(TokenKind::Except) + 1, static_cast<int>(TokenKind::Exact));
    EXPECT_EQ(static_cast<int>(TokenKind::Facet) + 1, static_cast<int>(TokenKind::Exclude));
    EXPECT_EQ(static_cast<int>(TokenKind::InsertOnly) + 1, static_cast<int>(TokenKind::IndexedOnly));
    EXPECT_EQ(static_cast<int>(TokenKind::Model) + 1, static_cast<int>(TokenKind::Mode));
    EXPECT_EQ(token_kind_name(TokenKind::With), "WITH");
    EXPECT_EQ(token_kind_name(TokenKind::Eof), "EOF");
    EXPECT_EQ(token_kind_name(TokenKind::NotEquals), "NOT_EQUALS");
}

TEST(Keywords, EveryKeywordLooksUpToItsOwnKindInAnyCase) {
    for (int k = 0; k < keyword_count; ++k) {
        auto kind = static_cast<TokenKind>(k);
        std::string name(token_kind_name(kind));
        EXPECT_EQ(lookup_keyword(name), kind) << name;
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(lookup_keyword(lower), kind) << lower;
    }
    EXPECT_FALSE(lookup_keyword("QUER"));
    EXPECT_FALSE(lookup_keyword("QUERYX"));
    EXPECT_FALSE(lookup_keyword(""));
    EXPECT_FALSE(lookup_keyword("MAX_SELECTIVITYX"));
    EXPECT_FALSE(lookup_keyword("qu\xC3\xA9ry"));
    // Only letters fold: bytes one case bit (or the high bit) away from a name's byte stay apart.
    EXPECT_FALSE(lookup_keyword("MAX\x7FSELECTIVITY"));
    EXPECT_FALSE(lookup_keyword("L\xC9MIT"));
    EXPECT_FALSE(lookup_keyword("L\x09MIT"));
    EXPECT_FALSE(lookup_keyword(std::string_view("LIMIT\0", 6)));
}

// The lexer reads a word from the source in whole words where 16 bytes follow it, and copies it
// near the end: every keyword, and every keyword one byte longer, lexes alike in both places.
TEST(Keywords, WordsLexAlikeMidTextAndAtTheEnd) {
    const std::string tail(20, ' ');
    for (int k = 0; k < keyword_count; ++k) {
        const auto kind = static_cast<TokenKind>(k);
        const std::string name(token_kind_name(kind));
        const std::string mid_text = std::string("x ").append(name).append(tail);
        for (const std::string& text : {name, name + tail, mid_text}) {
            auto tokens = lex_all(text);
            ASSERT_TRUE(tokens.has_value()) << text;
            EXPECT_EQ(tokens->back().kind, kind) << text;
        }
        const std::string longer_mid = std::string(name).append("_").append(tail);
        for (const std::string& longer : {name + "X", longer_mid}) {
            auto tokens = lex_all(longer);
            ASSERT_TRUE(tokens.has_value()) << longer;
            EXPECT_EQ(tokens->front().kind, TokenKind::Identifier) << longer;
        }
    }
}

TEST(Lexer, StopsAfterAnErrorAndKeepsReturningEof) {
    Lexer lexer("!x");
    auto first = lexer.next_token();
    ASSERT_FALSE(first);
    EXPECT_EQ(format_error(first.error()), "[ZORV-LEX-CHAR] Unexpected character '!' at 0..1");
    for (int i = 0; i < 2; ++i) {
        auto next = lexer.next_token();
        ASSERT_TRUE(next);
        EXPECT_EQ(next->kind, TokenKind::Eof);
        EXPECT_EQ(next->span, (Span{0, 0}));
    }
}

TEST(Lexer, SteppingKeepsTheLeadingMinusAndEndsWithEof) {
    Lexer lexer("a -5");
    EXPECT_EQ(lexer.next_token()->text, "a");
    auto num = lexer.next_token();
    EXPECT_EQ(num->text, "-5");
    EXPECT_EQ(num->kind, TokenKind::Integer);
    auto eof = lexer.next_token();
    EXPECT_EQ(eof->kind, TokenKind::Eof);
    EXPECT_EQ(eof->span, (Span{4, 4}));
    EXPECT_TRUE(eof->text.empty());
}

TEST(Lexer, NumberKindTellsKeywordFromLiteral) {
    auto tokens = *lex_all("FLOAT 1.5 INTEGER 3");
    EXPECT_FALSE(tokens[0].is_number());
    EXPECT_TRUE(tokens[1].is_number());
    EXPECT_FALSE(tokens[2].is_number());
    EXPECT_TRUE(tokens[3].is_number());
}

}  // namespace
}  // namespace zorv::core
