// Query inputs and the small value forms shared by several ranking expressions.
#include <string>
#include <utility>

#include "core/ast/vector.h"
#include "core/parser/helpers.h"
#include "core/parser/query.h"
#include "core/text.h"

namespace zorv::core {
namespace {

// OPTIONS { name: value, ... }; empty without the word.
Result<LiteralDict> parse_input_options(Parser& parser) {
    if (!parser.accept_word("OPTIONS")) return LiteralDict{};
    return parse_object_literal(parser);
}

Result<QueryInput> parse_text_input(Parser& parser) {
    parser.take_token();  // TEXT
    QueryInput::Text input;
    auto placeholder = parse_placeholder_ref(parser);
    if (placeholder) {
        input.text_param = std::move(placeholder);
    } else {
        input.text = ZORV_TRY(parse_string_literal(parser));
    }
    input.model = ZORV_TRY(parse_optional_model(parser));
    input.options = ZORV_TRY(parse_input_options(parser));
    return QueryInput{std::move(input)};
}

Result<QueryInput> parse_image_input(Parser& parser) {
    parser.take_token();  // IMAGE
    QueryInput::Image input;
    input.source = ZORV_TRY(parse_string_literal(parser));
    input.model = ZORV_TRY(parse_optional_model(parser));
    input.options = ZORV_TRY(parse_input_options(parser));
    return QueryInput{std::move(input)};
}

Result<QueryInput> parse_object_input(Parser& parser) {
    parser.take_token();  // OBJECT
    LiteralDict entries;
    if (parser.check(TokenKind::LParen)) {
        Delimited parens = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
        entries = ZORV_TRY(parse_object_literal(parser));
        ZORV_CHECK(parens.close());
    } else {
        entries = ZORV_TRY(parse_object_literal(parser));
    }
    QueryInput::Object input;
    input.object = Literal::dict(std::move(entries));
    input.model = ZORV_TRY(parse_optional_model(parser));
    input.options = ZORV_TRY(parse_input_options(parser));
    return QueryInput{std::move(input)};
}

// A literal turned into a vector; shape errors carry the span of the literal's first token.
Result<void> parse_vector_literal_input(Parser& parser, QueryInput& out) {
    const Span first = parser.current().span;
    Literal literal = ZORV_TRY(parse_literal(parser));
    Result<VectorValue> vector = literal_to_vector(std::move(literal), first);
    if (!vector) return std::unexpected(std::move(vector).error());
    out.value.emplace<VectorValue>(std::move(*vector));
    return {};
}

Result<QueryInput> parse_vector_literal_input(Parser& parser) {
    Result<QueryInput> out{std::in_place};
    ZORV_CHECK(parse_vector_literal_input(parser, *out));
    return out;
}

Result<QueryInput> parse_named_param_input(Parser& parser) {
    const Span colon = parser.take_token().span;
    std::string name = ZORV_TRY(parser.parse_param());
    return QueryInput{Placeholder::named(std::move(name), Span{colon.start, parser.previous().span.end})};
}

QueryInput parse_positional_input(Parser& parser) {
    const Span mark = parser.take_token().span;
    return QueryInput{Placeholder::positional(parser.next_positional_index(), mark)};
}

// The placeholder and literal forms that may follow VECTOR.
Result<QueryInput> parse_vector_input(Parser& parser) {
    parser.take_token();  // VECTOR
    if (parser.check(TokenKind::Colon)) return parse_named_param_input(parser);
    if (parser.check(TokenKind::Question)) return parse_positional_input(parser);
    return parse_vector_literal_input(parser);
}

Result<QueryInput> parse_point_input(Parser& parser) {
    parser.take_token();  // POINT
    PointId id = ZORV_TRY(parse_point_id(parser, "POINT"));
    return QueryInput{std::move(id)};
}

}  // namespace

Result<void> parse_query_input_into(Parser& parser, QueryInput& out) {
    auto take = [&out](Result<QueryInput> parsed) -> Result<void> {
        if (!parsed) return std::unexpected(std::move(parsed).error());
        out = std::move(*parsed);
        return {};
    };
    if (parser.is_word("TEXT")) return take(parse_text_input(parser));
    if (parser.is_word("IMAGE")) return take(parse_image_input(parser));
    if (parser.is_word("OBJECT")) return take(parse_object_input(parser));
    const Token& tok = parser.current();
    switch (tok.kind) {
        case TokenKind::Vector: return take(parse_vector_input(parser));
        case TokenKind::Point: return take(parse_point_input(parser));
        case TokenKind::String: {
            auto& input = out.value.emplace<QueryInput::Text>();
            input.text = ZORV_TRY(parse_string_literal(parser));
            return {};
        }
        case TokenKind::LBracket:
        case TokenKind::LBrace: return parse_vector_literal_input(parser, out);
        case TokenKind::Colon: return take(parse_named_param_input(parser));
        case TokenKind::Question: out = parse_positional_input(parser); return {};
        default:
            return fail(Diag::ParseQueryInput, "query input requires TEXT, IMAGE, OBJECT, VECTOR, POINT, or parameter",
                        tok.span);
    }
}

Result<QueryInput> parse_query_input(Parser& parser) {
    Result<QueryInput> out{std::in_place};
    ZORV_CHECK(parse_query_input_into(parser, *out));
    return out;
}

Result<std::optional<Literal>> parse_order_start(Parser& parser) {
    if (!parser.accept(TokenKind::Start)) return std::optional<Literal>{};
    ZORV_CHECK(parser.expect_token(TokenKind::From));
    const Span first = parser.current().span;
    Literal value = ZORV_TRY(parse_literal(parser));
    switch (value.kind()) {
        case Literal::Kind::Str:
        case Literal::Kind::Int:
        case Literal::Kind::Float:
        case Literal::Kind::Param:
        case Literal::Kind::PositionalParam: return std::optional<Literal>(std::move(value));
        default:
            return fail(Diag::ParseOrderStart,
                        "ORDER BY START FROM requires an integer, float, datetime string, or placeholder", first);
    }
}

// order_clause := ORDER BY field [ASC | DESC] [START FROM value]   (ORDER is current)
Result<OrderClause> parse_order_clause(Parser& parser) {
    parser.take_token();  // ORDER
    ZORV_CHECK(parser.expect_token(TokenKind::By));
    OrderClause order;
    order.field = ZORV_TRY(parse_field_name(parser));
    if (parser.accept(TokenKind::Desc)) {
        order.direction = OrderDirection::Desc;
    } else {
        parser.accept(TokenKind::Asc);
    }
    order.start_from = ZORV_TRY(parse_order_start(parser));
    return order;
}

Result<FusionMethod> parse_fusion_method(Parser& parser) {
    const Token& tok = parser.take_token();
    if (equals_ignore_case(tok.text, "rrf")) return FusionMethod::Rrf;
    if (equals_ignore_case(tok.text, "dbsf")) return FusionMethod::Dbsf;
    return fail(Diag::ValidationFusion, "fusion method must be RRF or DBSF", tok.span);
}

Result<HybridOptions> parse_hybrid_options(Parser& parser) {
    HybridOptions options;
    if (parser.accept(TokenKind::Dense)) options.dense_vector = ZORV_TRY(parser.parse_identifier());
    if (parser.accept(TokenKind::Sparse)) options.sparse_vector = ZORV_TRY(parser.parse_identifier());
    if (parser.accept(TokenKind::Fusion)) options.fusion = ZORV_TRY(parse_fusion_method(parser));
    return options;
}

}  // namespace zorv::core
