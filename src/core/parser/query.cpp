// The QUERY body: the ranking expression, then the clauses in their fixed order, then the checks
// that need the whole body.
#include "core/parser/query.h"

#include <string>
#include <utility>

#include "core/parser/filter.h"
#include "core/parser/helpers.h"
#include "core/parser/search_params.h"
#include "core/text.h"

namespace zorv::core {
namespace {

// Clauses as read, before USING and PREFETCH move into the expression.
struct BodyClauses {
    std::optional<UsingVector> using_vector;  // USING HYBRID leaves none: it counts as no USING
    PrefetchList prefetch;
};

Result<void> parse_from(Parser& parser, bool top_level, Query& query) {
    if (!parser.accept(TokenKind::From)) {
        if (top_level) {
            return fail(Diag::ValidationFrom, "top-level QUERY requires FROM <collection>", parser.current().span);
        }
        return {};
    }
    query.collection_span = parser.current().span;
    query.collection.name = ZORV_TRY(parser.parse_identifier());
    return {};
}

Result<VectorKind> parse_vector_kind(Parser& parser, bool& multi) {
    const Token& tok = parser.current();
    if (parser.accept(TokenKind::Dense)) return VectorKind::Dense;
    if (parser.accept(TokenKind::Sparse)) return VectorKind::Sparse;
    if (parser.accept_word("MULTI") || parser.accept_word("MULTIVECTOR")) {
        multi = true;
        return VectorKind::Dense;
    }
    return fail(Diag::ParseVectorKind, "USING <vector> AS requires DENSE, SPARSE, or MULTI", tok.span);
}

// USING HYBRID converts the expression at once; USING name [AS kind] is kept for later.
Result<void> parse_using(Parser& parser, QueryExpr& expression, BodyClauses& clauses, Span body_start) {
    if (!parser.accept(TokenKind::Using)) return {};
    if (parser.accept(TokenKind::Hybrid)) {
        HybridOptions options = ZORV_TRY(parse_hybrid_options(parser));
        return convert_using_hybrid(expression, std::move(options), body_start);
    }
    UsingVector using_vector;
    using_vector.name = ZORV_TRY(parser.parse_identifier());
    if (parser.accept(TokenKind::As)) using_vector.kind = ZORV_TRY(parse_vector_kind(parser, using_vector.multi));
    clauses.using_vector = std::move(using_vector);
    return {};
}

Result<void> parse_prefetch_clause(Parser& parser, std::span<const CteDefinition> ctes, BodyClauses& clauses) {
    if (!parser.accept(TokenKind::Prefetch)) return {};
    Delimited parens = ZORV_TRY(Delimited::open(parser, TokenKind::LParen));
    if (parens.at_close()) return fail(Diag::ParsePrefetch, "PREFETCH cannot be empty", parser.current().span);
    do {
        clauses.prefetch.push_back(ZORV_TRY(parse_prefetch_item(parser, ctes)));
    } while (parser.accept(TokenKind::Comma));
    ZORV_CHECK(parens.close());
    return {};
}

bool at_with(const Parser& parser, TokenKind second) {
    return parser.check(TokenKind::With) && parser.lookahead(1).kind == second;
}

Result<void> parse_group_by(Parser& parser, Query& query) {
    if (!parser.accept(TokenKind::Group)) return {};
    ZORV_CHECK(parser.expect_token(TokenKind::By));
    GroupBy group;
    group.field = ZORV_TRY(parse_field_name(parser));
    if (parser.accept_word("SIZE")) group.size = ZORV_TRY(parse_positive_integer(parser, "group size"));
    if (parser.accept(TokenKind::Lookup)) {
        ZORV_CHECK(parser.expect_token(TokenKind::From));
        GroupLookup lookup;
        lookup.collection = ZORV_TRY(parser.parse_identifier());
        if (at_with(parser, TokenKind::Payload)) {
            parser.take_token();
            parser.take_token();
            lookup.payload = ZORV_TRY(parse_payload_selector(parser));
        }
        if (at_with(parser, TokenKind::Vector)) {
            parser.take_token();
            parser.take_token();
            lookup.vectors = ZORV_TRY(parse_vector_selector(parser));
        }
        group.lookup = std::move(lookup);
    }
    query.group = std::move(group);
    return {};
}

Result<void> parse_output(Parser& parser, Query& query) {
    if (at_with(parser, TokenKind::Payload)) {
        parser.take_token();
        parser.take_token();
        query.output.payload = ZORV_TRY(parse_payload_selector(parser));
    }
    if (at_with(parser, TokenKind::Vector)) {
        parser.take_token();
        parser.take_token();
        query.output.vectors = ZORV_TRY(parse_vector_selector(parser));
    }
    return {};
}

Result<void> parse_page(Parser& parser, Page& page) {
    if (parser.accept(TokenKind::Limit)) {
        auto placeholder = parse_placeholder_ref(parser);
        if (placeholder) {
            page.limit_param = std::move(placeholder);
        } else {
            page.limit = ZORV_TRY(parse_positive_integer(parser, "LIMIT"));
        }
    }
    if (parser.accept(TokenKind::Offset)) {
        auto placeholder = parse_placeholder_ref(parser);
        if (placeholder) {
            page.offset_param = std::move(placeholder);
        } else {
            page.offset = ZORV_TRY(parse_nonnegative_integer(parser, "OFFSET"));
        }
    }
    return {};
}

// A clause keyword after the last clause was either repeated or written out of order.
Result<void> check_clause_order(const Parser& parser) {
    switch (parser.current().kind) {
        case TokenKind::Prefetch:
        case TokenKind::Score:
        case TokenKind::Shard:
        case TokenKind::Using:
        case TokenKind::Where:
        case TokenKind::With:
        case TokenKind::Group:
        case TokenKind::Limit:
        case TokenKind::Offset:
        case TokenKind::Params:
            return fail(Diag::ParseClauseOrder, "duplicate or out-of-order query clause", parser.current().span);
        default: return {};
    }
}

enum class UsingRule : std::uint8_t { Refused, Stored, Required };
enum class PrefetchRule : std::uint8_t { RefusedWhenGiven, Stored, Required };

struct PlacementRules {
    UsingRule using_rule;
    PrefetchRule prefetch_rule;
    Diag required = Diag::ValidationPrefetch;  // when PREFETCH is required
    const char* required_message = nullptr;
};

PlacementRules placement_rules(QueryExpr::Kind kind) {
    using K = QueryExpr::Kind;
    switch (kind) {
        case K::Points:
        case K::OrderBy:
        case K::SampleRandom:
        case K::Hybrid: return {UsingRule::Refused, PrefetchRule::RefusedWhenGiven};
        case K::Fusion:
            return {UsingRule::Refused, PrefetchRule::Required, Diag::ValidationFusionPrefetch,
                    "FUSION requires PREFETCH"};
        case K::Formula: return {UsingRule::Refused, PrefetchRule::Stored};
        case K::Rerank:
            return {UsingRule::Required, PrefetchRule::Required, Diag::ValidationRerankPrefetch,
                    "RERANK requires PREFETCH"};
        case K::CrossRerank:
            return {UsingRule::Refused, PrefetchRule::Required, Diag::ValidationCrossRerankPrefetch,
                    "CROSS RERANK requires PREFETCH (candidate stage)"};
        default: return {UsingRule::Stored, PrefetchRule::Stored};
    }
}

// USING is judged before PREFETCH; both land in the expression's own slots.
Result<void> place_using_and_prefetch(QueryExpr& expression, BodyClauses& clauses, Span body_start) {
    const PlacementRules rules = placement_rules(expression.kind());
    if (clauses.using_vector && rules.using_rule == UsingRule::Refused) {
        return fail(Diag::ValidationUsing, "this query expression does not accept USING", body_start);
    }
    if (!clauses.using_vector && rules.using_rule == UsingRule::Required) {
        return fail(Diag::ValidationRerankUsing, "RERANK requires USING <vector>", body_start);
    }
    if (!clauses.prefetch.empty() && rules.prefetch_rule == PrefetchRule::RefusedWhenGiven) {
        return fail(Diag::ValidationPrefetch, "this query expression does not accept PREFETCH", body_start);
    }
    if (clauses.prefetch.empty() && rules.prefetch_rule == PrefetchRule::Required) {
        return fail(rules.required, rules.required_message, body_start);
    }
    if (auto* slot = expression.using_slot()) *slot = std::move(clauses.using_vector);
    if (auto* list = expression.prefetch_list()) *list = std::move(clauses.prefetch);
    return {};
}

// QUERY POINTS fetches points by id: only FROM, SHARD and the output selectors apply.
Result<void> check_points_clauses(const Query& query, Span body_start) {
    if (!query.expression.is(QueryExpr::Kind::Points)) return {};
    const Page& page = query.page;
    const bool paged = page.limit || page.offset || page.limit_param || page.offset_param;
    if (query.score_threshold || query.filter || query.params || query.group || paged) {
        return fail(Diag::ValidationPointsClause, "QUERY POINTS accepts only output selectors and SHARD", body_start);
    }
    return {};
}

Result<void> parse_clauses(Parser& parser, std::span<const CteDefinition> ctes, Query& query, BodyClauses& clauses,
                           Span body_start) {
    ZORV_CHECK(parse_using(parser, query.expression, clauses, body_start));
    ZORV_CHECK(parse_prefetch_clause(parser, ctes, clauses));
    if (parser.accept(TokenKind::Where)) query.filter = Box<Filter>(ZORV_TRY(parse_filter(parser)));
    if (parser.accept(TokenKind::Shard)) query.shard_key = ZORV_TRY(parse_shard_key(parser));
    if (parser.accept(TokenKind::Params)) query.params = ZORV_TRY(parse_search_params(parser));
    if (parser.accept(TokenKind::Score)) {
        ZORV_CHECK(parser.expect_token(TokenKind::Threshold));
        query.score_threshold = ZORV_TRY(parse_number(parser));
    }
    ZORV_CHECK(parse_group_by(parser, query));
    ZORV_CHECK(parse_output(parser, query));
    ZORV_CHECK(parse_page(parser, query.page));
    return check_clause_order(parser);
}

}  // namespace

Result<Box<Query>> parse_query_body(Parser& parser, bool top_level, std::span<const CteDefinition> ctes) {
    const Span body_start = parser.current().span;
    // Built in place on the heap: every holder keeps a body boxed, and a large record moved
    // through results would also weigh on the stack of deeply nested PREFETCH bodies.
    Box<Query> boxed;
    Query& query = *boxed;
    ZORV_CHECK(parse_query_expression_into(parser, query.expression));
    ZORV_CHECK(parse_from(parser, top_level, query));
    BodyClauses clauses;
    ZORV_CHECK(parse_clauses(parser, ctes, query, clauses, body_start));
    ZORV_CHECK(place_using_and_prefetch(query.expression, clauses, body_start));
    ZORV_CHECK(check_prefetch_ctes(query.expression, ctes, body_start));
    ZORV_CHECK(check_points_clauses(query, body_start));
    return boxed;
}

Result<Statement> parse_query(Parser& parser) {
    ZORV_CHECK(parser.expect_token(TokenKind::Query));
    Box<Query> query = ZORV_TRY(parse_query_body(parser, true, {}));
    return Statement{std::move(query)};
}

}  // namespace zorv::core
