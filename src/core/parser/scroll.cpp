// SCROLL, COUNT and FACET. They differ in how strictly their clauses are ordered: SCROLL reads a
// fixed order with LIMIT last, COUNT refuses a clause that comes again or too late, FACET takes
// its clauses in any order.
#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "core/parser/filter.h"
#include "core/parser/helpers.h"
#include "core/parser/query.h"
#include "core/parser/read.h"
#include "core/parser/search_params.h"
#include "core/text.h"

namespace zorv::core {
namespace {

bool at_with(const Parser& parser, TokenKind second) {
    return parser.check(TokenKind::With) && parser.lookahead(1).kind == second;
}

// A LIMIT value: a placeholder, or a positive integer.
template <class Record>
Result<void> parse_limit_value(Parser& parser, Record& record, std::string_view label) {
    if (auto placeholder = parse_placeholder_ref(parser)) {
        record.limit_param = std::move(*placeholder);
        return {};
    }
    record.limit = ZORV_TRY(parse_positive_integer(parser, label));
    return {};
}

// count_options := WITH "(" [exact = bool] ")"   (WITH already consumed, `with` its span)
Result<void> parse_count_options(Parser& parser, Span with, Count& count) {
    LiteralDict options = ZORV_TRY(parse_config_list(parser));
    for (const auto& [key, value] : options) {
        if (!equals_ignore_case(key, "exact")) {
            return fail(Diag::ParseCountConfig,
                        "unknown COUNT parameter " + quote_for_message(key) + ". Expected: exact", with);
        }
        if (!value.is(Literal::Kind::Bool)) {
            return fail(Diag::ParseCountConfig, "COUNT 'exact' must be true or false", with);
        }
        count.exact = value.as_bool();
    }
    return {};
}

std::unexpected<ZorvError> duplicate_facet_clause(std::string_view clause, Span span) {
    return fail(Diag::ParseDuplicateClause, "duplicate FACET " + std::string(clause) + " clause", span);
}

bool has_limit(const Facet& facet) { return facet.limit || facet.limit_param; }

// facet_options := WITH "(" [limit = int] [, exact = bool] ")"   (WITH already consumed)
Result<void> parse_facet_options(Parser& parser, Span with, Facet& facet) {
    LiteralDict options = ZORV_TRY(parse_config_list(parser));
    for (const auto& [key, value] : options) {
        if (equals_ignore_case(key, "limit")) {
            if (has_limit(facet)) return duplicate_facet_clause("LIMIT", with);
            if (!value.is(Literal::Kind::Int) || value.as_int() < 1) {
                return fail(Diag::ParseFacetConfig, "FACET limit must be a positive integer", with);
            }
            facet.limit = static_cast<std::uint64_t>(value.as_int());
        } else if (equals_ignore_case(key, "exact")) {
            if (facet.exact) return duplicate_facet_clause("EXACT", with);
            if (!value.is(Literal::Kind::Bool)) {
                return fail(Diag::ParseFacetConfig, "FACET 'exact' must be true or false", with);
            }
            facet.exact = value.as_bool();
        } else {
            return fail(Diag::ParseFacetConfig,
                        "unknown FACET parameter " + quote_for_message(key) + ". Expected: exact, limit", with);
        }
    }
    return {};
}

// facet_head := FROM collection [KEY] key | key FROM collection   (FACET already consumed)
Result<void> parse_facet_head(Parser& parser, Facet& facet) {
    if (parser.accept(TokenKind::From)) {
        facet.collection.name = ZORV_TRY(parser.parse_identifier());
        parser.accept(TokenKind::Key);
        facet.key = ZORV_TRY(parser.parse_identifier());
        return {};
    }
    facet.key = ZORV_TRY(parser.parse_identifier());
    ZORV_CHECK(parser.expect_token(TokenKind::From));
    facet.collection.name = ZORV_TRY(parser.parse_identifier());
    return {};
}

// One FACET clause; false when the current token starts none (or repeats SHARD or WHERE).
Result<bool> parse_facet_clause(Parser& parser, Facet& facet) {
    const Token& tok = parser.current();
    switch (tok.kind) {
        case TokenKind::Exact:
            if (facet.exact) return duplicate_facet_clause("EXACT", tok.span);
            parser.take_token();
            // A bare EXACT means true; the next token stays for the next clause.
            facet.exact = !parser.accept(TokenKind::False);
            if (*facet.exact) parser.accept(TokenKind::True);
            return true;
        case TokenKind::Limit: {
            if (has_limit(facet)) return duplicate_facet_clause("LIMIT", tok.span);
            parser.take_token();
            ZORV_CHECK(parse_limit_value(parser, facet, "FACET LIMIT"));
            return true;
        }
        case TokenKind::Shard:
            if (facet.shard_key) return false;
            parser.take_token();
            facet.shard_key = ZORV_TRY(parse_shard_key(parser));
            return true;
        case TokenKind::Where:
            if (facet.filter) return false;
            parser.take_token();
            facet.filter = Box<Filter>(ZORV_TRY(parse_filter(parser)));
            return true;
        case TokenKind::With: {
            const Span with = parser.take_token().span;
            ZORV_CHECK(parse_facet_options(parser, with, facet));
            return true;
        }
        default: return false;
    }
}

}  // namespace

// scroll := SCROLL FROM collection [WHERE filter] [AFTER point_id] [order_clause] [SHARD key]
//           [WITH PAYLOAD selector] [WITH VECTOR selector] LIMIT (placeholder | positive_integer)
Result<Statement> parse_scroll(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Scroll));
    ZORV_CHECK(parser.expect_token(TokenKind::From));
    Box<Scroll> boxed;
    Scroll& scroll = *boxed;
    scroll.collection = ZORV_TRY(parser.parse_identifier());
    if (parser.accept(TokenKind::Where)) scroll.filter = Box<Filter>(ZORV_TRY(parse_filter(parser)));
    if (parser.accept(TokenKind::After)) scroll.after = ZORV_TRY(parse_point_id(parser, "SCROLL AFTER"));
    if (parser.check(TokenKind::Order)) scroll.order_by = ZORV_TRY(parse_order_clause(parser));
    if (parser.accept(TokenKind::Shard)) scroll.shard_key = ZORV_TRY(parse_shard_key(parser));
    if (at_with(parser, TokenKind::Payload)) {
        parser.take_token();
        parser.take_token();
        scroll.with_payload = ZORV_TRY(parse_payload_selector(parser));
    }
    if (at_with(parser, TokenKind::Vector)) {
        parser.take_token();
        parser.take_token();
        scroll.with_vector = ZORV_TRY(parse_vector_selector(parser));
    }
    // A clause out of order or repeated was left unread and fails here.
    ZORV_CHECK(parser.expect_token(TokenKind::Limit));
    ZORV_CHECK(parse_limit_value(parser, scroll, "SCROLL LIMIT"));
    return Statement{std::move(boxed)};
}

// count := COUNT FROM collection [WHERE filter] [SHARD key] [count_options]
Result<Statement> parse_count(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Count));
    ZORV_CHECK(parser.expect_token(TokenKind::From));
    Box<Count> boxed;
    Count& count = *boxed;
    count.collection.name = ZORV_TRY(parser.parse_identifier());
    if (parser.accept(TokenKind::Where)) count.filter = Box<Filter>(ZORV_TRY(parse_filter(parser)));
    if (parser.accept(TokenKind::Shard)) count.shard_key = ZORV_TRY(parse_shard_key(parser));
    if (parser.check(TokenKind::With)) {
        const Span with = parser.take_token().span;
        ZORV_CHECK(parse_count_options(parser, with, count));
    }
    switch (parser.current().kind) {
        case TokenKind::Where:
        case TokenKind::Shard:
        case TokenKind::With:
            return fail(Diag::ParseClauseOrder,
                        "duplicate or out-of-order COUNT clause (grammar order: WHERE, SHARD, WITH)",
                        parser.current().span);
        default: return Statement{std::move(boxed)};
    }
}

// facet := FACET facet_head { EXACT [bool] | LIMIT value | SHARD key | WHERE filter | facet_options }
Result<Statement> parse_facet(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Facet));
    Box<Facet> boxed;
    Facet& facet = *boxed;
    ZORV_CHECK(parse_facet_head(parser, facet));
    for (bool more = true; more;) more = ZORV_TRY(parse_facet_clause(parser, facet));
    return Statement{std::move(boxed)};
}

}  // namespace zorv::core
