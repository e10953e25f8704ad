// The parser cursor shared by every statement parser, and the parse entry points.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ast/statement.h"
#include "core/diagnostics.h"
#include "core/error.h"
#include "core/lexer.h"

namespace zorv::core {

inline constexpr std::uint32_t max_nesting_depth = 128;
inline constexpr std::size_t max_script_statements = 256;

class Parser;

// Leaves one nesting level when it goes out of scope (none when made with a null parser).
class NestGuard {
public:
    explicit NestGuard(Parser* parser) : parser_(parser) {}
    NestGuard(NestGuard&& other) noexcept : parser_(std::exchange(other.parser_, nullptr)) {}
    NestGuard(const NestGuard&) = delete;
    NestGuard& operator=(const NestGuard&) = delete;
    NestGuard& operator=(NestGuard&&) = delete;
    ~NestGuard();

private:
    Parser* parser_;
};

// One parse call: the tokens, the source, the position, the one positional counter and the
// nesting depth shared by every statement of the call.
class Parser {
public:
    Parser(std::string_view source, std::vector<Token> tokens);
    // With the folded lists of lex_for_parser, which parse_list_literal reads without their tokens.
    Parser(std::string_view source, LexedTokens lexed);

    std::string_view source() const { return source_; }
    std::size_t position() const { return position_; }
    void set_position(std::size_t position) { position_ = position; }
    bool at_end() const { return position_ >= tokens_.size(); }

    // The current token; past the end a synthetic EOF at (source length, source length).
    const Token& current() const { return position_ < tokens_.size() ? tokens_[position_] : eof_; }
    // The token `ahead` places after the current one (EOF past the end).
    const Token& lookahead(std::size_t ahead) const {
        return position_ + ahead < tokens_.size() ? tokens_[position_ + ahead] : eof_;
    }
    // The token just consumed (the current one when nothing was consumed yet).
    const Token& previous() const { return position_ > 0 ? tokens_[position_ - 1] : current(); }
    Span end_span() const { return eof_.span; }

    bool check(TokenKind kind) const { return current().kind == kind; }
    // Consumes the current token when it has `kind`.
    bool accept(TokenKind kind);
    // Returns the current token and consumes it (past the end: EOF, nothing moves).
    const Token& take_token();
    // Consumes and returns a token of `kind`, else ZORV-PARSE-EXPECTED "expected {} but got '{}'".
    Result<Token> expect_token(TokenKind kind);
    // Keyword or IDENTIFIER whose text equals `word` ignoring ASCII case; numbers are never words.
    bool is_word(std::string_view word) const;
    bool accept_word(std::string_view word);
    Result<void> expect_word(std::string_view word);
    static bool is_name_token(const Token& token);

    // A quoted (unescaped) or bare name; ZORV-PARSE-IDENTIFIER otherwise.
    Result<std::string> parse_identifier();
    // Escapes of a STRING token resolved by its quoting style; ZORV-PARSE-ESCAPE on an unknown escape.
    Result<std::string> unescape_string(const Token& token) const;
    // The name after a consumed ":"; ZORV-PARSE-PARAM otherwise.
    Result<std::string> parse_param();
    // WAIT TRUE|FALSE, or nullopt when the current token is not WAIT.
    Result<std::optional<bool>> parse_wait_clause();

    // Takes the next "?" index.
    std::uint64_t next_positional_index() { return positional_++; }
    std::uint64_t positional_count() const { return positional_; }

    // Enters one level of nesting opened by `opener`; ZORV-PARSE-NESTING past 128 levels.
    Result<NestGuard> enter_nesting(const Token& opener);
    std::uint32_t depth() const { return depth_; }

    // The numbers of the folded list whose "[" is token `open_index`; empty when it is not folded.
    std::span<const LexedNumber> folded_numbers(std::size_t open_index) const;

    // Hands the token buffers over (for reuse by the next parse); the parser is spent after it.
    LexedTokens release_lexed() && { return LexedTokens{std::move(tokens_), std::move(numbers_), std::move(lists_)}; }

private:
    friend class NestGuard;

    std::string_view source_;
    std::vector<Token> tokens_;
    std::vector<LexedNumber> numbers_;
    std::vector<FoldedList> lists_;
    std::size_t position_ = 0;
    std::uint64_t positional_ = 0;
    std::uint32_t depth_ = 0;
    Token eof_;
};

inline NestGuard::~NestGuard() {
    if (parser_ != nullptr) --parser_->depth_;
}

// A balanced pair of delimiters, as every bracketed form is read: open() consumes the opener and
// enters one nesting level for it, close() expects the matching closer, and the level is left when
// the guard goes out of scope. Openers and their closers: ( ), [ ], { }, CASE END.
class Delimited {
public:
    // ZORV-PARSE-EXPECTED when the opener is absent, ZORV-PARSE-NESTING (at the opener) past 128 levels.
    static Result<Delimited> open(Parser& parser, TokenKind opener);
    // The same without a nesting level, for a bracket around flat values that cannot recurse.
    static Result<Delimited> open_flat(Parser& parser, TokenKind opener);

    // Consumes the closer; ZORV-PARSE-EXPECTED "expected {closer} but got '{}'" otherwise.
    Result<Token> close();
    // Whether the current token is the closer; and consuming it when it is.
    bool at_close() const;
    bool accept_close();

    const Token& opener() const { return opener_; }
    TokenKind closer() const { return closer_; }

private:
    Delimited(Parser& parser, Token opener, TokenKind closer, NestGuard level)
        : parser_(&parser), opener_(opener), closer_(closer), level_(std::move(level)) {}
    static Result<Delimited> start(Parser& parser, TokenKind opener, bool nests);

    Parser* parser_;
    Token opener_;
    TokenKind closer_;
    NestGuard level_;  // holds no level for a flat pair
};

// Whole scripts (";"-separated, at most 256 statements) and single statements.
Result<std::vector<Statement>> parse_script(std::string_view text);
Result<Statement> parse_statement(std::string_view text);
// The same over a parser made by the caller (tests read plain lex_all tokens through these).
Result<std::vector<Statement>> parse_script_from(Parser& parser);
Result<Statement> parse_statement_from(Parser& parser);
// One statement starting at the current token, chosen by its first keyword.
Result<Statement> parse_statement_dispatch(Parser& parser);

// Enumerated words of the collection settings (the enumerations live in ast/collection.h).
std::optional<StorageTier> parse_storage_tier(std::string_view word);
std::optional<VectorDatatype> parse_vector_datatype(std::string_view word);
bool is_index_type_name(std::string_view word);

}  // namespace zorv::core
