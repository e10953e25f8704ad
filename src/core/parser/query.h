// The QUERY statement: the body with its clauses in fixed order, ranking expressions, query
// inputs, PREFETCH items and WITH common table expressions.
#pragma once

#include <optional>
#include <span>
#include <string>

#include "core/ast/query.h"
#include "core/ast/read.h"
#include "core/parser/helpers.h"
#include "core/parser/parser.h"

namespace zorv::core {

// QUERY body: the statement dispatch calls this at the keyword QUERY.
Result<Statement> parse_query(Parser& parser);
// WITH name AS ( QUERY ... ) [, ...] QUERY body: the statement dispatch calls this at WITH.
Result<Statement> parse_with_query(Parser& parser);

// One body after its QUERY keyword. A top-level body requires FROM; `ctes` are the common table
// expressions this body's PREFETCH list may name (only read, handed on to nested bodies).
Result<Box<Query>> parse_query_body(Parser& parser, bool top_level, std::span<const CteDefinition> ctes);

// The ranking expression that starts a body, chosen by its first token (USING and PREFETCH are
// moved in later by the body reader).
Result<QueryExpr> parse_query_expression(Parser& parser);
// The same read into `out` (as default-constructed): the common nearest forms are built in place
// instead of moving their input through every reader.
Result<void> parse_query_expression_into(Parser& parser, QueryExpr& out);

// TEXT, IMAGE, OBJECT, VECTOR, POINT, a string, a vector literal or a placeholder.
Result<QueryInput> parse_query_input(Parser& parser);
Result<void> parse_query_input_into(Parser& parser, QueryInput& out);

// Optional START FROM value of ORDER BY (also used by SCROLL); nothing when START is absent.
Result<std::optional<Literal>> parse_order_start(Parser& parser);
// ORDER BY field [ASC | DESC] [START FROM value], ORDER being current: of SCROLL and QUERY ORDER BY.
Result<OrderClause> parse_order_clause(Parser& parser);

// RRF or DBSF, as a word or a string; the token is consumed whatever it is.
Result<FusionMethod> parse_fusion_method(Parser& parser);

// The options of USING HYBRID and of the HYBRID shorthand: [DENSE name] [SPARSE name] [FUSION m].
struct HybridOptions {
    std::optional<std::string> dense_vector;
    std::optional<std::string> sparse_vector;
    FusionMethod fusion = FusionMethod::Rrf;
};
Result<HybridOptions> parse_hybrid_options(Parser& parser);

// Replaces a text Nearest by a Hybrid for USING HYBRID; ZORV-VALIDATION-HYBRID at `body_start`
// when the expression cannot become one.
Result<void> convert_using_hybrid(QueryExpr& expression, HybridOptions options, Span body_start);

// One item of a PREFETCH list: a nested QUERY body or a CTE name, then WHERE, SCORE THRESHOLD
// and LOOKUP as written.
Result<Prefetch> parse_prefetch_item(Parser& parser, std::span<const CteDefinition> ctes);

// Every CTE named by the expression's PREFETCH list must be one of `ctes` (ASCII case ignored).
Result<void> check_prefetch_ctes(const QueryExpr& expression, std::span<const CteDefinition> ctes, Span body_start);

}  // namespace zorv::core
