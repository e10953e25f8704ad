#include "core/parser/parser.h"
#include "core/quoting.h"
#include "core/text.h"

#include <algorithm>
#include <array>

namespace zorv::core {
namespace {

std::string char_at(std::string_view text, std::size_t i) {
    // The whole UTF-8 character after the backslash, for the message.
    std::size_t len = 1;
    auto lead = static_cast<unsigned char>(text[i]);
    if (lead >= 0xF0) len = 4;
    else if (lead >= 0xE0) len = 3;
    else if (lead >= 0xC0) len = 2;
    return std::string(text.substr(i, len));
}

}  // namespace

Parser::Parser(std::string_view source, std::vector<Token> tokens) : source_(source), tokens_(std::move(tokens)) {
    const std::uint64_t n = source.size();
    eof_ = Token{source.substr(source.size(), 0), Span{n, n}, n, TokenKind::Eof};
}

Parser::Parser(std::string_view source, LexedTokens lexed) : Parser(source, std::move(lexed.tokens)) {
    numbers_ = std::move(lexed.numbers);
    lists_ = std::move(lexed.lists);
}

std::span<const LexedNumber> Parser::folded_numbers(std::size_t open_index) const {
    auto it = std::lower_bound(lists_.begin(), lists_.end(), open_index,
                               [](const FoldedList& list, std::size_t index) { return list.open_index < index; });
    if (it == lists_.end() || it->open_index != open_index) return {};
    return std::span<const LexedNumber>(numbers_).subspan(it->first, it->count);
}

bool Parser::accept(TokenKind kind) {
    if (!check(kind)) return false;
    // The synthetic EOF matches Eof but is never consumed: the position stays at the end.
    if (position_ < tokens_.size()) ++position_;
    return true;
}

const Token& Parser::take_token() {
    const Token& tok = current();
    if (position_ < tokens_.size()) ++position_;
    return tok;
}

Result<Token> Parser::expect_token(TokenKind kind) {
    const Token& tok = current();
    if (tok.kind != kind) {
        return fail(Diag::ParseExpected,
                    "expected " + std::string(token_kind_name(kind)) + " but got " + quote_for_message(tok.text),
                    tok.span);
    }
    if (position_ < tokens_.size()) ++position_;
    return tok;
}

bool Parser::is_word(std::string_view word) const {
    // FLOAT and INTEGER kinds are never words, even when spelled as the keywords.
    const Token& tok = current();
    if (tok.kind == TokenKind::Float || tok.kind == TokenKind::Integer) return false;
    if (tok.kind != TokenKind::Identifier && !is_keyword_kind(tok.kind)) return false;
    return equals_ignore_case(tok.text, word);
}

bool Parser::accept_word(std::string_view word) {
    if (!is_word(word)) return false;
    ++position_;
    return true;
}

Result<void> Parser::expect_word(std::string_view word) {
    if (accept_word(word)) return {};
    const Token& tok = current();
    return fail(Diag::ParseExpected, "expected " + std::string(word) + " but got " + quote_for_message(tok.text),
                tok.span);
}

bool Parser::is_name_token(const Token& token) {
    if (token.kind == TokenKind::Identifier) return true;
    if (token.kind == TokenKind::Float || token.kind == TokenKind::Integer) {
        return !token.text.empty() && is_ascii_letter(token.text.front());
    }
    return is_keyword_kind(token.kind);
}

Result<std::string> Parser::parse_identifier() {
    const Token& tok = current();
    if (tok.kind == TokenKind::String) {
        ++position_;
        return unescape_string(tok);
    }
    if (is_name_token(tok)) {
        ++position_;
        return std::string(tok.text);
    }
    return fail(Diag::ParseIdentifier, "expected identifier or quoted name, got " + quote_for_message(tok.text),
                tok.span);
}

Result<std::string> Parser::unescape_string(const Token& token) const {
    std::string_view lexeme = source_.substr(token.span.start, token.span.end - token.span.start);
    auto resolved = resolve_escapes(quote_style_of(lexeme), token.text);
    if (!resolved) {
        const std::string escaped = escape_for_message(char_at(token.text, resolved.error()));
        return fail(Diag::ParseEscape, "unsupported escape sequence \\" + escaped, token.span);
    }
    return std::move(*resolved);
}

Result<std::string> Parser::parse_param() {
    const Token& tok = current();
    if (!is_name_token(tok)) {
        return fail(Diag::ParseParam, "expected parameter identifier after ':', found " + quote_for_message(tok.text),
                    tok.span);
    }
    ++position_;
    return std::string(tok.text);
}

Result<std::optional<bool>> Parser::parse_wait_clause() {
    if (!accept(TokenKind::Wait)) return std::optional<bool>{};
    if (accept(TokenKind::True)) return std::optional<bool>{true};
    if (accept(TokenKind::False)) return std::optional<bool>{false};
    return fail(Diag::ParseBool, "expected true or false", current().span);
}

Result<NestGuard> Parser::enter_nesting(const Token& opener) {
    if (depth_ >= max_nesting_depth) {
        return fail(Diag::ParseNesting, "statement nests deeper than 128 levels; flatten the expression", opener.span);
    }
    ++depth_;
    return NestGuard(this);
}

namespace {

TokenKind closer_of(TokenKind opener) {
    switch (opener) {
        case TokenKind::LParen: return TokenKind::RParen;
        case TokenKind::LBracket: return TokenKind::RBracket;
        case TokenKind::LBrace: return TokenKind::RBrace;
        case TokenKind::Case: return TokenKind::End;
        default: return TokenKind::Eof;
    }
}

}  // namespace

Result<Delimited> Delimited::start(Parser& parser, TokenKind opener, bool nests) {
    Token open = ZORV_TRY(parser.expect_token(opener));
    NestGuard level = nests ? ZORV_TRY(parser.enter_nesting(open)) : NestGuard(nullptr);
    return Delimited(parser, open, closer_of(opener), std::move(level));
}

Result<Delimited> Delimited::open(Parser& parser, TokenKind opener) { return start(parser, opener, true); }

Result<Delimited> Delimited::open_flat(Parser& parser, TokenKind opener) { return start(parser, opener, false); }

Result<Token> Delimited::close() { return parser_->expect_token(closer_); }

bool Delimited::at_close() const { return parser_->check(closer_); }

bool Delimited::accept_close() { return parser_->accept(closer_); }

std::optional<StorageTier> parse_storage_tier(std::string_view word) {
    if (equals_ignore_case(word, "cold")) return StorageTier::Cold;
    if (equals_ignore_case(word, "cached")) return StorageTier::Cached;
    if (equals_ignore_case(word, "pinned")) return StorageTier::Pinned;
    return std::nullopt;
}

std::optional<VectorDatatype> parse_vector_datatype(std::string_view word) {
    if (equals_ignore_case(word, "float32") || equals_ignore_case(word, "f32")) return VectorDatatype::Float32;
    if (equals_ignore_case(word, "float16") || equals_ignore_case(word, "f16")) return VectorDatatype::Float16;
    if (equals_ignore_case(word, "uint8") || equals_ignore_case(word, "u8")) return VectorDatatype::Uint8;
    if (equals_ignore_case(word, "turbo4") || equals_ignore_case(word, "t4")) return VectorDatatype::Turbo4;
    return std::nullopt;
}

bool is_index_type_name(std::string_view word) {
    static constexpr std::array<std::string_view, 8> names = {"keyword", "integer", "float",    "geo",
                                                              "text",    "bool",    "datetime", "uuid"};
    for (std::string_view name : names) {
        if (word == name) return true;
    }
    return false;
}

}  // namespace zorv::core
