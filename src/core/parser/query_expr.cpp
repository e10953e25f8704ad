// The ranking expression forms of a QUERY body and the USING HYBRID conversion.
#include <array>
#include <string>
#include <utility>

#include "core/parser/formula.h"
#include "core/parser/helpers.h"
#include "core/parser/query.h"
#include "core/text.h"

namespace zorv::core {
namespace {

// The HYBRID expression a text input becomes, with the options that name its vectors.
QueryExpr::Hybrid hybrid_from_text(QueryInput::Text&& text, HybridOptions&& options) {
    return QueryExpr::Hybrid{std::move(text.text),
                             std::move(text.model),
                             std::move(options.dense_vector),
                             std::move(options.sparse_vector),
                             options.fusion,
                             std::move(text.text_param)};
}

Result<QueryExpr> parse_points(Parser& parser) {
    parser.take_token();  // POINTS
    Delimited parens = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    if (parens.at_close()) {
        return fail(Diag::ParsePointIds, "point ID list cannot be empty", parser.current().span);
    }
    QueryExpr::Points points;
    do {
        points.ids.push_back(ZORV_TRY(parse_point_id(parser, "point ID list")));
    } while (parser.accept(TokenKind::Comma));
    ZORV_CHECK(parens.close());
    return QueryExpr{std::move(points)};
}

Result<void> parse_nearest_into(Parser& parser, QueryExpr& out) {
    parser.accept(TokenKind::Nearest);
    auto& nearest = out.node.emplace<QueryExpr::Nearest>();
    return parse_query_input_into(parser, nearest.input);
}

Result<QueryExpr> parse_mmr(Parser& parser) {
    parser.take_token();  // MMR
    QueryExpr::Nearest nearest;
    nearest.input = ZORV_TRY(parse_query_input(parser));
    ZORV_CHECK(parser.expect_word("DIVERSITY"));
    const Span number_span = parser.current().span;
    Mmr mmr;
    mmr.diversity = ZORV_TRY(parse_number(parser));
    if (mmr.diversity < 0.0 || mmr.diversity > 1.0) {
        return fail(Diag::ValidationMmr, "MMR diversity must be between 0 and 1", number_span);
    }
    ZORV_CHECK(parser.expect_word("CANDIDATES"));
    mmr.candidates = ZORV_TRY(parse_positive_integer(parser, "MMR candidates"));
    nearest.mmr = Box<Mmr>(mmr);
    return QueryExpr{std::move(nearest)};
}

// ( example, ... ): integers and strings are point ids here, anything else a query input.
Result<std::vector<QueryInput>> parse_recommend_examples(Parser& parser) {
    Delimited parens = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    if (parens.at_close()) {
        return fail(Diag::ParsePointIds, "recommend example list cannot be empty", parser.current().span);
    }
    std::vector<QueryInput> examples;
    do {
        const Token& tok = parser.current();
        const bool is_id = (tok.kind == TokenKind::Integer && tok.is_number()) || tok.kind == TokenKind::String;
        if (is_id) {
            examples.push_back(QueryInput{ZORV_TRY(parse_point_id(parser, "recommend example list"))});
        } else {
            examples.push_back(ZORV_TRY(parse_query_input(parser)));
        }
    } while (parser.accept(TokenKind::Comma));
    ZORV_CHECK(parens.close());
    return examples;
}

Result<RecommendStrategy> parse_recommend_strategy(Parser& parser) {
    const Token& tok = parser.take_token();
    if (equals_ignore_case(tok.text, "average_vector")) return RecommendStrategy::AverageVector;
    if (equals_ignore_case(tok.text, "best_score")) return RecommendStrategy::BestScore;
    if (equals_ignore_case(tok.text, "sum_scores")) return RecommendStrategy::SumScores;
    return fail(Diag::ValidationRecommendStrategy, "unknown recommend strategy " + quote_for_message(tok.text),
                tok.span);
}

Result<QueryExpr> parse_recommend(Parser& parser) {
    parser.take_token();  // RECOMMEND
    QueryExpr::Recommend recommend;
    ZORV_CHECK(parser.expect_word("POSITIVE"));
    recommend.positive = ZORV_TRY(parse_recommend_examples(parser));
    if (parser.accept_word("NEGATIVE")) recommend.negative = ZORV_TRY(parse_recommend_examples(parser));
    if (parser.accept(TokenKind::Strategy)) recommend.strategy = ZORV_TRY(parse_recommend_strategy(parser));
    return QueryExpr{std::move(recommend)};
}

// ( POSITIVE input NEGATIVE input, ... ) with at least one pair.
Result<std::vector<ContextPair>> parse_context_pairs(Parser& parser) {
    Delimited parens = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    std::vector<ContextPair> pairs;
    do {
        ContextPair pair;
        ZORV_CHECK(parser.expect_word("POSITIVE"));
        pair.positive = ZORV_TRY(parse_query_input(parser));
        ZORV_CHECK(parser.expect_word("NEGATIVE"));
        pair.negative = ZORV_TRY(parse_query_input(parser));
        pairs.push_back(std::move(pair));
    } while (parser.accept(TokenKind::Comma));
    ZORV_CHECK(parens.close());
    return pairs;
}

Result<QueryExpr> parse_context(Parser& parser) {
    parser.take_token();  // CONTEXT
    QueryExpr::Context context;
    context.pairs = ZORV_TRY(parse_context_pairs(parser));
    return QueryExpr{std::move(context)};
}

Result<QueryExpr> parse_discover(Parser& parser) {
    parser.take_token();  // DISCOVER
    QueryExpr::Discover discover;
    ZORV_CHECK(parser.expect_token(TokenKind::Target));
    discover.target = ZORV_TRY(parse_query_input(parser));
    ZORV_CHECK(parser.expect_token(TokenKind::Context));
    discover.context = ZORV_TRY(parse_context_pairs(parser));
    return QueryExpr{std::move(discover)};
}

Result<QueryExpr> parse_order_by(Parser& parser) {
    OrderClause order = ZORV_TRY(parse_order_clause(parser));
    return QueryExpr{QueryExpr::OrderBy{std::move(order.field), order.direction, std::move(order.start_from)}};
}

Result<QueryExpr> parse_sample(Parser& parser) {
    parser.take_token();  // SAMPLE
    if (!parser.accept_word("RANDOM")) {
        return fail(Diag::ParseSample, "SAMPLE requires RANDOM", parser.current().span);
    }
    return QueryExpr{QueryExpr::SampleRandom{}};
}

Result<QueryExpr> parse_fusion(Parser& parser) {
    parser.take_token();  // FUSION
    QueryExpr::Fusion fusion;
    fusion.method = ZORV_TRY(parse_fusion_method(parser));
    return QueryExpr{std::move(fusion)};
}

Result<QueryExpr> parse_formula_expr(Parser& parser) {
    parser.take_token();  // FORMULA
    QueryExpr::Formula formula{Box<FormulaExpr>(ZORV_TRY(parse_formula(parser))), {}, {}};
    if (parser.accept(TokenKind::Defaults)) formula.defaults = ZORV_TRY(parse_config_list(parser));
    return QueryExpr{std::move(formula)};
}

// ( a = number , b = number , c = number ): exactly these three, in this order.
Result<FeedbackStrategy> parse_feedback_strategy_params(Parser& parser) {
    Delimited parens = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    static constexpr std::array<std::string_view, 3> letters = {"a", "b", "c"};
    static constexpr std::array<std::string_view, 3> upper = {"A", "B", "C"};
    std::array<double, 3> values{};
    for (std::size_t i = 0; i < letters.size(); ++i) {
        if (i > 0 && !parser.accept(TokenKind::Comma)) {
            return fail(Diag::ParseFeedbackStrategy,
                        "feedback strategy expects exactly three parameters (a, b, c) in order", parser.current().span);
        }
        if (!parser.accept_word(letters[i])) {
            return fail(Diag::ParseFeedbackStrategy,
                        "feedback strategy expects '" + std::string(upper[i]) + "' here (order: a, b, c)",
                        parser.current().span);
        }
        ZORV_CHECK(parser.expect_token(TokenKind::Equals));
        values[i] = ZORV_TRY(parse_number(parser));
    }
    if (parser.check(TokenKind::Comma)) {
        return fail(Diag::ParseFeedbackStrategy,
                    "feedback strategy accepts exactly three parameters (a, b, c) in order", parser.current().span);
    }
    ZORV_CHECK(parens.close());
    return FeedbackStrategy{values[0], values[1], values[2]};
}

// ( ( input , score ) [, ( input , score )]... )
Result<std::vector<FeedbackItem>> parse_feedback_items(Parser& parser) {
    Delimited list = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    std::vector<FeedbackItem> items;
    do {
        Delimited pair = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
        FeedbackItem item;
        item.example = ZORV_TRY(parse_query_input(parser));
        ZORV_CHECK(parser.expect_token(TokenKind::Comma));
        item.score = ZORV_TRY(parse_number(parser));
        ZORV_CHECK(pair.close());
        items.push_back(std::move(item));
    } while (parser.accept(TokenKind::Comma));
    ZORV_CHECK(list.close());
    return items;
}

Result<QueryExpr> parse_relevance_feedback(Parser& parser) {
    parser.take_token();  // RELEVANCE
    ZORV_CHECK(parser.expect_token(TokenKind::Feedback));
    ZORV_CHECK(parser.expect_token(TokenKind::Target));
    QueryExpr::RelevanceFeedback feedback;
    feedback.target = ZORV_TRY(parse_query_input(parser));
    ZORV_CHECK(parser.expect_token(TokenKind::Feedback));
    feedback.feedback = ZORV_TRY(parse_feedback_items(parser));
    ZORV_CHECK(parser.expect_token(TokenKind::Strategy));
    ZORV_CHECK(parser.expect_word("NAIVE"));
    feedback.strategy = ZORV_TRY(parse_feedback_strategy_params(parser));
    return QueryExpr{std::move(feedback)};
}

Result<QueryExpr> parse_hybrid(Parser& parser) {
    parser.take_token();  // HYBRID
    const Span input_span = parser.current().span;
    QueryInput input = ZORV_TRY(parse_query_input(parser));
    if (!input.is(QueryInput::Kind::Text)) {
        return fail(Diag::ValidationHybrid, "HYBRID shorthand requires a text input", input_span);
    }
    auto& text = input.get<QueryInput::Kind::Text>();
    if (!text.options.empty()) {
        return fail(Diag::ValidationHybrid,
                    "HYBRID shorthand cannot carry OPTIONS; query the dense and sparse vectors separately", input_span);
    }
    HybridOptions options = ZORV_TRY(parse_hybrid_options(parser));
    QueryExpr::Hybrid hybrid = hybrid_from_text(std::move(text), std::move(options));
    return QueryExpr{std::move(hybrid)};
}

// TEXT 'string', VECTOR literal or POINT id.
Result<QueryInput> parse_rerank_input(Parser& parser) {
    if (parser.accept_word("TEXT")) {
        QueryInput::Text text;
        text.text = ZORV_TRY(parse_string_literal(parser));
        return QueryInput{std::move(text)};
    }
    if (parser.check(TokenKind::Vector) || parser.check(TokenKind::Point)) return parse_query_input(parser);
    return fail(Diag::ParseRerank, "RERANK input requires TEXT '\u2026', VECTOR [\u2026], or POINT <id>",
                parser.current().span);
}

Result<QueryExpr> parse_rerank(Parser& parser) {
    parser.take_token();  // RERANK
    QueryExpr::Rerank rerank;
    rerank.input = ZORV_TRY(parse_rerank_input(parser));
    rerank.model = ZORV_TRY(parse_model_clause(parser));
    return QueryExpr{std::move(rerank)};
}

Result<QueryExpr> parse_cross_rerank(Parser& parser) {
    parser.take_token();  // CROSS
    ZORV_CHECK(parser.expect_token(TokenKind::Rerank));
    QueryExpr::CrossRerank cross;
    parser.accept_word("TEXT");
    auto placeholder = parse_placeholder_ref(parser);
    if (placeholder) {
        cross.query_param = std::move(placeholder);
    } else if (parser.check(TokenKind::String)) {
        cross.query = ZORV_TRY(parse_string_literal(parser));
    } else {
        return fail(Diag::ParseCrossRerank, "CROSS RERANK requires TEXT '\u2026' or a string query",
                    parser.current().span);
    }
    cross.model = ZORV_TRY(parse_model_clause(parser));
    if (parser.accept(TokenKind::On)) {
        ZORV_CHECK(parser.expect_token(TokenKind::Field));
        cross.field = ZORV_TRY(parser.parse_identifier());
    }
    return QueryExpr{std::move(cross)};
}

}  // namespace

Result<void> parse_query_expression_into(Parser& parser, QueryExpr& out) {
    auto take = [&out](Result<QueryExpr> parsed) -> Result<void> {
        if (!parsed) return std::unexpected(std::move(parsed).error());
        out = std::move(*parsed);
        return {};
    };
    // Words first (matched by text), then keyword kinds, then a plain query input.
    if (parser.is_word("POINTS")) return take(parse_points(parser));
    switch (parser.current().kind) {
        case TokenKind::Order: return take(parse_order_by(parser));
        case TokenKind::Nearest: return parse_nearest_into(parser, out);
        case TokenKind::Context: return take(parse_context(parser));
        case TokenKind::Discover: return take(parse_discover(parser));
        case TokenKind::Fusion: return take(parse_fusion(parser));
        case TokenKind::Recommend: return take(parse_recommend(parser));
        case TokenKind::Sample: return take(parse_sample(parser));
        default: break;
    }
    if (parser.is_word("FORMULA")) return take(parse_formula_expr(parser));
    if (parser.check(TokenKind::Relevance)) return take(parse_relevance_feedback(parser));
    if (parser.is_word("MMR")) return take(parse_mmr(parser));
    if (parser.check(TokenKind::Hybrid)) return take(parse_hybrid(parser));
    if (parser.is_word("CROSS")) return take(parse_cross_rerank(parser));
    if (parser.check(TokenKind::Rerank)) return take(parse_rerank(parser));
    return parse_nearest_into(parser, out);
}

Result<QueryExpr> parse_query_expression(Parser& parser) {
    Result<QueryExpr> out{std::in_place};
    ZORV_CHECK(parse_query_expression_into(parser, *out));
    return out;
}

Result<void> convert_using_hybrid(QueryExpr& expression, HybridOptions options, Span body_start) {
    constexpr Diag code = Diag::ValidationHybrid;
    static constexpr const char* needs_text =
        "USING HYBRID requires a text nearest query (QUERY TEXT '\u2026' or QUERY '\u2026')";
    if (expression.is(QueryExpr::Kind::Hybrid)) {
        return fail(code, "USING HYBRID is redundant with QUERY HYBRID; use one form only", body_start);
    }
    if (!expression.is(QueryExpr::Kind::Nearest)) return fail(code, needs_text, body_start);
    auto& nearest = expression.get<QueryExpr::Kind::Nearest>();
    if (nearest.mmr) {
        return fail(code, "USING HYBRID cannot combine with MMR; use dense nearest with MMR or HYBRID without MMR",
                    body_start);
    }
    if (!nearest.input.is(QueryInput::Kind::Text)) return fail(code, needs_text, body_start);
    auto& text = nearest.input.get<QueryInput::Kind::Text>();
    if (!text.options.empty()) {
        return fail(code, "USING HYBRID cannot carry OPTIONS; query the dense and sparse vectors separately",
                    body_start);
    }
    QueryExpr::Hybrid hybrid = hybrid_from_text(std::move(text), std::move(options));
    expression = QueryExpr{std::move(hybrid)};
    return {};
}

}  // namespace zorv::core
