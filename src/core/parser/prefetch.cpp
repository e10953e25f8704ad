// PREFETCH items, WITH common table expressions and the check of CTE references.
#include <string>
#include <utility>
#include <vector>

#include "core/parser/filter.h"
#include "core/parser/helpers.h"
#include "core/parser/query.h"
#include "core/text.h"

namespace zorv::core {
namespace {

bool names_cte(std::span<const CteDefinition> ctes, std::string_view name) {
    for (const CteDefinition& cte : ctes) {
        if (equals_ignore_case(cte.name, name)) return true;
    }
    return false;
}

Result<PrefetchSource> parse_prefetch_source(Parser& parser, std::span<const CteDefinition> ctes) {
    if (parser.accept(TokenKind::Query)) {
        return PrefetchSource::nested(ZORV_TRY(parse_query_body(parser, false, ctes)));
    }
    return PrefetchSource::cte(ZORV_TRY(parser.parse_identifier()));
}

// LOOKUP FROM collection [VECTOR name] [SHARD key]
Result<std::optional<PrefetchLookup>> parse_prefetch_lookup(Parser& parser) {
    if (!parser.accept(TokenKind::Lookup)) return std::optional<PrefetchLookup>{};
    ZORV_CHECK(parser.expect_token(TokenKind::From));
    PrefetchLookup lookup;
    lookup.collection = ZORV_TRY(parser.parse_identifier());
    if (parser.accept(TokenKind::Vector)) lookup.vector = ZORV_TRY(parser.parse_identifier());
    if (parser.accept(TokenKind::Shard)) lookup.shard_key = ZORV_TRY(parse_shard_key(parser));
    return std::optional<PrefetchLookup>(std::move(lookup));
}

// One CTE: name AS ( QUERY body ), seeing only the CTEs defined before it.
Result<CteDefinition> parse_cte(Parser& parser, std::span<const CteDefinition> earlier) {
    const Span name_span = parser.current().span;
    std::string name = ZORV_TRY(parser.parse_identifier());
    if (names_cte(earlier, name)) {
        return fail(Diag::ParseDuplicateCte, "duplicate CTE " + quote_for_message(name), name_span);
    }
    ZORV_CHECK(parser.expect_token(TokenKind::As));
    Delimited parens = ZORV_TRY(Delimited::open(parser, TokenKind::LParen));
    ZORV_CHECK(parser.expect_token(TokenKind::Query));
    Box<Query> body = ZORV_TRY(parse_query_body(parser, false, earlier));
    ZORV_CHECK(parens.close());
    return CteDefinition{std::move(name), std::move(body)};
}

}  // namespace

Result<Prefetch> parse_prefetch_item(Parser& parser, std::span<const CteDefinition> ctes) {
    Prefetch item;
    item.source = ZORV_TRY(parse_prefetch_source(parser, ctes));
    if (parser.accept(TokenKind::Where)) item.filter = Box<Filter>(ZORV_TRY(parse_filter(parser)));
    if (parser.accept(TokenKind::Score)) {
        ZORV_CHECK(parser.expect_token(TokenKind::Threshold));
        item.score_threshold = ZORV_TRY(parse_number(parser));
    }
    item.lookup = ZORV_TRY(parse_prefetch_lookup(parser));
    return item;
}

Result<void> check_prefetch_ctes(const QueryExpr& expression, std::span<const CteDefinition> ctes, Span body_start) {
    const PrefetchList* list = expression.prefetch_list();
    if (list == nullptr) return {};
    for (const Prefetch& item : *list) {
        if (!item.source.is(PrefetchSource::Kind::Cte)) continue;
        if (!names_cte(ctes, item.source.cte_name())) {
            return fail(Diag::ValidationPrefetchCte,
                        "PREFETCH references unknown CTE " + quote_for_message(item.source.cte_name()), body_start);
        }
    }
    return {};
}

Result<Statement> parse_with_query(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::With));
    std::vector<CteDefinition> ctes;
    do {
        ctes.push_back(ZORV_TRY(parse_cte(parser, ctes)));
    } while (parser.accept(TokenKind::Comma));
    ZORV_CHECK(parser.expect_token(TokenKind::Query));
    Box<Query> main = ZORV_TRY(parse_query_body(parser, true, ctes));
    main->ctes = std::move(ctes);
    return Statement{std::move(main)};
}

}  // namespace zorv::core
