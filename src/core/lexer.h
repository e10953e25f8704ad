// Zorv lexer: statement text to tokens that borrow their text from the source.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "core/keywords.h"
#include "core/text.h"

namespace zorv::core {

enum class TokenKind : std::uint8_t {
#define ZORV_KEYWORD_ENUM(name, text) name,
    ZORV_KEYWORDS(ZORV_KEYWORD_ENUM)
#undef ZORV_KEYWORD_ENUM
        Star,  // the first kind after the keywords
    Identifier,
    String,
    LBrace,
    RBrace,
    LBracket,
    RBracket,
    LParen,
    RParen,
    Colon,
    Comma,
    Equals,
    NotEquals,
    Gt,
    Gte,
    Lt,
    Lte,
    Plus,
    Minus,
    Slash,
    Semicolon,
    Question,
    Eof,  // always last
};

#define ZORV_KEYWORD_ONE(name, text) +1  // NOLINT(bugprone-macro-parentheses): one term of the sum below
inline constexpr int keyword_count = 0 ZORV_KEYWORDS(ZORV_KEYWORD_ONE);
#undef ZORV_KEYWORD_ONE
inline constexpr int token_kind_count = static_cast<int>(TokenKind::Eof) + 1;
// Growing the keyword table renumbers every kind after it: make it a deliberate change.
static_assert(keyword_count == 189, "the keyword table changed size");
static_assert(static_cast<int>(TokenKind::Star) == keyword_count);

inline constexpr bool is_keyword_kind(TokenKind kind) { return static_cast<int>(kind) < keyword_count; }

struct Token {
    std::string_view text;  // STRING: the content between the delimiters, escapes unresolved
    Span span;
    std::uint64_t pos = 0;  // always span.start
    TokenKind kind = TokenKind::Eof;

    // FLOAT and INTEGER kinds double as number literals; a number never starts with a letter.
    bool is_number() const {
        return (kind == TokenKind::Float || kind == TokenKind::Integer) && !text.empty() &&
               !is_ascii_letter(text.front());
    }
};

std::optional<TokenKind> lookup_keyword(std::string_view word);
std::string_view token_kind_name(TokenKind kind);

struct Lexer {
    std::string_view source;
    std::uint64_t position = 0;
    bool stopped = false;

    explicit Lexer(std::string_view text) : source(text) {}
    Result<Token> next_token();
};

// The whole token list (no EOF token) with a leading minus split off numbers that follow an operand.
Result<std::vector<Token>> lex_all(std::string_view text);

// A number read and converted while lexing: the kind its token would have and its value
// (the bits of an int64, a uint64 or a double).
struct LexedNumber {
    enum class Kind : std::uint8_t { Int, UInt, Float };
    std::uint64_t bits = 0;
    Kind kind = Kind::Int;
};

// A flat list of plain numbers whose element and comma tokens the parser's stream leaves out:
// its "]" token follows its "[" token directly.
struct FoldedList {
    std::size_t open_index = 0;  // the "[" in LexedTokens::tokens
    std::size_t first = 0;       // its numbers in LexedTokens::numbers
    std::size_t count = 0;
};

struct LexedTokens {
    std::vector<Token> tokens;
    std::vector<LexedNumber> numbers;
    std::vector<FoldedList> lists;  // by open_index, ascending
};

// The parser's tokens: lex_all's list with every list of plain, in-range numbers folded into
// values, so bulk vectors cost neither a token per element nor a second scan. Lists with anything
// else (comments, placeholders, nesting, trailing commas, errors) are lexed as lex_all does.
Result<LexedTokens> lex_for_parser(std::string_view text);
// The same into `out`, whose buffers are cleared and reused with the capacity they have.
Result<void> lex_for_parser_into(std::string_view text, LexedTokens& out);

}  // namespace zorv::core
