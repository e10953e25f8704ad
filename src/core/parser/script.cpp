// Scripts, single statements, the dispatch on the first keyword, and SHOW.
#include <string>
#include <utility>

#include "core/parser/ddl.h"
#include "core/parser/mutation.h"
#include "core/parser/parser.h"
#include "core/parser/query.h"
#include "core/parser/read.h"
#include "core/text.h"

namespace zorv::core {
namespace {

Result<Statement> parse_show(Parser& parser) {
    parser.take_token();  // SHOW
    const Token& tok = parser.current();
    switch (tok.kind) {
        case TokenKind::Collections: parser.take_token(); return Statement{ShowCollections{}};
        case TokenKind::Collection: {
            parser.take_token();
            std::string name = ZORV_TRY(parser.parse_identifier());
            return Statement{ShowCollection{std::move(name)}};
        }
        case TokenKind::Quotas: parser.take_token(); return Statement{ShowQuotas{}};
        case TokenKind::Shard: {
            parser.take_token();
            ZORV_CHECK(parser.expect_token(TokenKind::Keys));
            ZORV_CHECK(parser.expect_token(TokenKind::On));
            ZORV_CHECK(parser.expect_token(TokenKind::Collection));
            std::string name = ZORV_TRY(parser.parse_identifier());
            return Statement{ShowShardKeys{std::move(name)}};
        }
        default:
            return fail(Diag::ParseSyntax,
                        "expected COLLECTION, COLLECTIONS, QUOTAS, or SHARD KEYS after SHOW, got " +
                            quote_for_message(tok.text),
                        tok.span);
    }
}

// The token buffers of this thread's last parse, kept for the next one, so that a statement
// lexes without allocating. A parse that finds them taken (none does today) allocates its own.
LexedTokens& spare_lexed() {
    thread_local LexedTokens spare;
    return spare;
}

// Buffers grown by a bulk script are dropped rather than held for the life of the thread.
constexpr std::size_t max_kept_tokens = 4096;
constexpr std::size_t max_kept_numbers = 16384;

void keep_lexed(LexedTokens&& used) {
    if (used.tokens.capacity() > max_kept_tokens || used.numbers.capacity() > max_kept_numbers) return;
    spare_lexed() = std::move(used);
}

// Lexes `text` into this thread's spare buffers and runs `parse` over them.
template <class T, class Parse>
Result<T> parse_text(std::string_view text, Parse parse) {
    LexedTokens lexed = std::exchange(spare_lexed(), LexedTokens{});
    if (Result<void> lexing = lex_for_parser_into(text, lexed); !lexing) {
        keep_lexed(std::move(lexed));
        return std::unexpected(std::move(lexing).error());
    }
    Parser parser(text, std::move(lexed));
    Result<T> result = parse(parser);
    keep_lexed(std::move(parser).release_lexed());
    return result;
}

}  // namespace

Result<Statement> parse_statement_dispatch(Parser& parser) {
    const Token& tok = parser.current();
    switch (tok.kind) {
        case TokenKind::Show: return parse_show(parser);
        case TokenKind::Query: return parse_query(parser);
        case TokenKind::With: return parse_with_query(parser);
        case TokenKind::Scroll: return parse_scroll(parser);
        case TokenKind::Count: return parse_count(parser);
        case TokenKind::Facet: return parse_facet(parser);
        case TokenKind::Upsert: return parse_upsert(parser);
        case TokenKind::Update: return parse_update(parser);
        case TokenKind::Delete: return parse_delete(parser);
        case TokenKind::Clear: return parse_clear_payload(parser);
        case TokenKind::Create: return parse_create(parser);
        case TokenKind::Drop: return parse_drop(parser);
        case TokenKind::Set: return parse_set_quota(parser);
        case TokenKind::Batch: return parse_batch(parser);
        case TokenKind::Alter: return parse_alter(parser);
        default:
            return fail(Diag::ParseStatement, "expected a ZORV statement keyword, got " + quote_for_message(tok.text),
                        tok.span);
    }
}

Result<std::vector<Statement>> parse_script(std::string_view text) {
    return parse_text<std::vector<Statement>>(text, [](Parser& parser) { return parse_script_from(parser); });
}

Result<Statement> parse_statement(std::string_view text) {
    return parse_text<Statement>(text, [](Parser& parser) { return parse_statement_from(parser); });
}

Result<std::vector<Statement>> parse_script_from(Parser& parser) {
    std::vector<Statement> statements;
    if (parser.at_end()) return statements;
    if (parser.check(TokenKind::Semicolon)) {
        return fail(Diag::ParseEmptyStatement, "leading or empty statements are not allowed", parser.current().span);
    }
    while (!parser.at_end()) {
        if (statements.size() == max_script_statements) {
            return fail(Diag::ParseStatementLimit,
                        "a script may contain at most " + std::to_string(max_script_statements) + " statements",
                        parser.current().span);
        }
        Statement statement = ZORV_TRY(parse_statement_dispatch(parser));
        if (!parser.at_end()) {
            if (parser.accept(TokenKind::Semicolon)) {
                if (parser.check(TokenKind::Semicolon)) {
                    return fail(Diag::ParseEmptyStatement, "repeated semicolons are not allowed",
                                parser.current().span);
                }
            } else {
                return fail(Diag::ParseSeparator, "multiple statements must be separated by a semicolon",
                            parser.current().span);
            }
        }
        statements.push_back(std::move(statement));
    }
    return statements;
}

Result<Statement> parse_statement_from(Parser& parser) {
    Statement statement = ZORV_TRY(parse_statement_dispatch(parser));
    parser.accept(TokenKind::Semicolon);
    if (!parser.at_end()) {
        const Token& tok = parser.current();
        return fail(Diag::ParseTrailing, "unexpected trailing token " + quote_for_message(tok.text), tok.span);
    }
    return statement;
}

}  // namespace zorv::core
