#include "core/parser/filter.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ast/vector.h"
#include "core/parser/helpers.h"
#include "core/text.h"

namespace zorv::core {
namespace {

Result<Filter> parse_or(Parser& p);

// From the start of `first` to the end of the last token consumed.
Span span_from(const Token& first, const Parser& p) { return Span{first.span.start, p.previous().span.end}; }

std::optional<CompareOp> comparison_op(TokenKind kind) {
    switch (kind) {
        case TokenKind::Equals:
        case TokenKind::NotEquals: return CompareOp::Eq;
        case TokenKind::Gt: return CompareOp::Gt;
        case TokenKind::Gte: return CompareOp::Gte;
        case TokenKind::Lt: return CompareOp::Lt;
        case TokenKind::Lte: return CompareOp::Lte;
        default: return std::nullopt;
    }
}

// Range bounds must be ordered values: numbers, strings (datetimes) or placeholders.
Result<void> check_range_bound(const Literal& value, Span span) {
    std::string_view got;
    switch (value.kind()) {
        case Literal::Kind::Bool: got = "boolean"; break;
        case Literal::Kind::Null: got = "null"; break;
        case Literal::Kind::Dict: got = "object"; break;
        case Literal::Kind::List:
        case Literal::Kind::F32Array: got = "array"; break;
        default: return {};
    }
    return fail(Diag::ParseFilter,
                "range comparison requires a number, string, datetime, or parameter bound, got " + std::string(got),
                span);
}

std::unexpected<ZorvError> id_predicate_refused(const Token& op) {
    return fail(Diag::ValidationIdPredicate, "point ID predicates support only =, !=, IN, and NOT IN", op.span);
}

Filter wrap_not_if(bool negate, Filter filter) { return negate ? negate_filter(std::move(filter)) : filter; }

// ---------------------------------------------------------------------------------------------
// Geographic values

const Literal* find_key(const LiteralDict& dict, std::string_view key) {
    for (const auto& [k, v] : dict) {
        if (equals_ignore_case(k, key)) return &v;
    }
    return nullptr;
}

std::unexpected<ZorvError> geo_error(std::string message, Span span) {
    return fail(Diag::ValidationGeo, std::move(message), span);
}

Result<double> geo_number(const LiteralDict& dict, std::string_view key, Span span) {
    const Literal* value = find_key(dict, key);
    if (value != nullptr && value->is(Literal::Kind::Int)) return static_cast<double>(value->as_int());
    if (value != nullptr && value->is(Literal::Kind::Float)) {
        if (!std::isfinite(value->as_float())) return geo_error(std::string(key) + " must be finite", span);
        return value->as_float();
    }
    return geo_error(std::string(key) + " must be numeric", span);
}

Result<GeoPoint> geo_point(const Literal* entry, std::string_view label, Span span) {
    if (entry == nullptr || !entry->is(Literal::Kind::Dict)) {
        return geo_error(std::string(label) + " must be an object with lat and lon", span);
    }
    const LiteralDict& dict = entry->as_dict();
    GeoPoint point;
    point.lat = ZORV_TRY(geo_number(dict, "lat", span));
    point.lon = ZORV_TRY(geo_number(dict, "lon", span));
    if (std::fabs(point.lat) > 90.0) return geo_error("latitude must be between -90 and 90", span);
    if (std::fabs(point.lon) > 180.0) return geo_error("longitude must be between -180 and 180", span);
    return point;
}

// A list of geo points whose elements are labelled "name[i]".
Result<std::vector<GeoPoint>> geo_ring(const Literal& entry, std::string_view name, Span span) {
    if (!entry.is(Literal::Kind::List))
        return geo_error(std::string(name) + " must be a list of geo-point objects", span);
    std::vector<GeoPoint> points;
    points.reserve(entry.as_list().size());
    std::size_t i = 0;
    for (const Literal& element : entry.as_list()) {
        std::string label = std::string(name) + "[" + std::to_string(i++) + "]";
        points.push_back(ZORV_TRY(geo_point(&element, label, span)));
    }
    return points;
}

// The object after GEO_BBOX, GEO_RADIUS or GEO_POLYGON, with the span of its first token.
Result<std::pair<LiteralDict, Span>> geo_object(Parser& p, std::string_view keyword) {
    const Span span = p.current().span;
    Literal value = ZORV_TRY(parse_literal(p));
    if (!value.is(Literal::Kind::Dict)) return geo_error(std::string(keyword) + " requires an object", span);
    return std::pair<LiteralDict, Span>(std::move(value.as_dict()), span);
}

Result<Filter> geo_bbox(Parser& p, std::string field) {
    auto [dict, span] = ZORV_TRY(geo_object(p, "GEO_BBOX"));
    GeoPoint top_left = ZORV_TRY(geo_point(find_key(dict, "top_left"), "top_left", span));
    GeoPoint bottom_right = ZORV_TRY(geo_point(find_key(dict, "bottom_right"), "bottom_right", span));
    return Filter{Filter::GeoBoundingBox{std::move(field), top_left, bottom_right}};
}

Result<Filter> geo_radius(Parser& p, std::string field) {
    auto [dict, span] = ZORV_TRY(geo_object(p, "GEO_RADIUS"));
    GeoPoint center = ZORV_TRY(geo_point(find_key(dict, "center"), "center", span));
    double radius = ZORV_TRY(geo_number(dict, "radius", span));
    if (radius <= 0.0) return geo_error("radius must be greater than zero", span);
    return Filter{Filter::GeoRadius{std::move(field), center, radius}};
}

Result<Filter> geo_polygon(Parser& p, std::string field) {
    auto [dict, span] = ZORV_TRY(geo_object(p, "GEO_POLYGON"));
    const Literal* exterior_entry = find_key(dict, "exterior");
    if (exterior_entry == nullptr) return geo_error("exterior is required", span);
    std::vector<GeoPoint> exterior = ZORV_TRY(geo_ring(*exterior_entry, "exterior", span));
    if (exterior.size() < 3) return geo_error("exterior polygon ring must have at least 3 points", span);

    std::vector<std::vector<GeoPoint>> interiors;
    if (const Literal* entry = find_key(dict, "interiors")) {
        if (!entry->is(Literal::Kind::List)) return geo_error("interiors must be a list of point-rings", span);
        for (const Literal& ring_entry : entry->as_list()) {
            std::vector<GeoPoint> ring = ZORV_TRY(geo_ring(ring_entry, "interior ring", span));
            if (ring.size() < 3) return geo_error("each interior polygon ring must have at least 3 points", span);
            interiors.push_back(std::move(ring));
        }
    }
    return Filter{Filter::GeoPolygon{std::move(field), std::move(exterior), std::move(interiors)}};
}

// ---------------------------------------------------------------------------------------------
// Field predicates

// "(" then scalar values ")" like parse_value_list, keeping each value's span for the id conversion,
// which runs once the whole list has been read.
Result<std::vector<PointId>> point_id_list(Parser& p, const char* empty_message) {
    Delimited list = ZORV_TRY(Delimited::open_flat(p, TokenKind::LParen));
    std::vector<std::pair<Literal, Span>> values;
    if (!list.accept_close()) {
        do {
            const Token first = p.current();
            Literal value = ZORV_TRY(parse_scalar_literal(p));
            values.emplace_back(std::move(value), span_from(first, p));
        } while (p.accept(TokenKind::Comma));
        ZORV_TRY(list.close());
    }
    if (values.empty()) return fail(Diag::ParseIn, empty_message, span_from(list.opener(), p));
    std::vector<PointId> ids;
    ids.reserve(values.size());
    for (auto& [value, span] : values) ids.push_back(ZORV_TRY(literal_to_point_id(std::move(value), span)));
    return ids;
}

// IN or NOT IN after the field name; the IN keyword has been consumed.
Result<Filter> in_predicate(Parser& p, std::string field, bool is_id, bool negated) {
    const char* empty_message = negated ? "NOT IN requires a non-empty value list"
                                        : "IN requires a non-empty value list";
    if (is_id) {
        std::vector<PointId> ids = ZORV_TRY(point_id_list(p, empty_message));
        return wrap_not_if(negated, Filter{Filter::PointId{PointIdPredicate::in(std::move(ids))}});
    }
    const Token open = p.current();
    LiteralList values = ZORV_TRY(parse_value_list(p));
    if (values.empty()) return fail(Diag::ParseIn, empty_message, span_from(open, p));
    return wrap_not_if(negated, Filter{Filter::In{std::move(field), std::move(values)}});
}

Result<Filter> comparison(Parser& p, std::string field, bool is_id) {
    const Token op_token = p.take_token();
    const CompareOp op = *comparison_op(op_token.kind);
    const bool negated = op_token.kind == TokenKind::NotEquals;
    const Token first = p.current();
    Literal value = ZORV_TRY(parse_literal(p));
    const Span value_span = span_from(first, p);
    if (op != CompareOp::Eq) ZORV_CHECK(check_range_bound(value, value_span));
    if (is_id) {
        if (op != CompareOp::Eq) return id_predicate_refused(op_token);
        PointId id = ZORV_TRY(literal_to_point_id(std::move(value), value_span));
        return wrap_not_if(negated, Filter{Filter::PointId{PointIdPredicate::eq(std::move(id))}});
    }
    return wrap_not_if(negated, Filter{Filter::Compare{std::move(field), op, std::move(value)}});
}

Result<Filter> between(Parser& p, std::string field) {
    const Token low_first = p.current();
    Literal low = ZORV_TRY(parse_scalar_literal(p));
    const Span low_span = span_from(low_first, p);
    ZORV_TRY(p.expect_token(TokenKind::And));
    const Token high_first = p.current();
    Literal high = ZORV_TRY(parse_scalar_literal(p));
    const Span high_span = span_from(high_first, p);
    ZORV_CHECK(check_range_bound(low, low_span));
    ZORV_CHECK(check_range_bound(high, high_span));
    return Filter{Filter::Between{std::move(field), std::move(low), std::move(high)}};
}

Result<Filter> is_predicate(Parser& p, std::string field) {
    const bool negated = p.accept(TokenKind::Not);
    if (p.accept(TokenKind::Null)) return wrap_not_if(negated, Filter{Filter::IsNull{std::move(field)}});
    if (p.accept(TokenKind::Empty)) return wrap_not_if(negated, Filter{Filter::IsEmpty{std::move(field)}});
    return fail(Diag::ParseFilter, "IS requires NULL, EMPTY, NOT NULL, or NOT EMPTY", p.current().span);
}

// MATCH ANY / MATCH EXCEPT: a non-empty value list; the empty-list error points at "(".
Result<LiteralList> exact_value_list(Parser& p, Diag diag, const char* message) {
    const Span open = p.current().span;
    LiteralList values = ZORV_TRY(parse_value_list(p));
    if (values.empty()) return fail(diag, message, open);
    return values;
}

Result<Filter> match_predicate(Parser& p, std::string field) {
    if (p.accept(TokenKind::Any)) {
        LiteralList values =
            ZORV_TRY(exact_value_list(p, Diag::ParseMatchAny, "MATCH ANY requires a non-empty exact-value list"));
        return Filter{Filter::MatchAny{std::move(field), std::move(values)}};
    }
    if (p.accept(TokenKind::Except)) {
        LiteralList values =
            ZORV_TRY(exact_value_list(p, Diag::ParseMatchExcept, "MATCH EXCEPT requires a non-empty exact-value list"));
        return Filter{Filter::MatchExcept{std::move(field), std::move(values)}};
    }
    if (p.accept(TokenKind::Phrase)) {
        return Filter{Filter::MatchPhrase{std::move(field), ZORV_TRY(parse_string_literal(p))}};
    }
    if (p.accept(TokenKind::Prefix)) {
        return Filter{Filter::MatchPrefix{std::move(field), ZORV_TRY(parse_string_literal(p))}};
    }
    if (p.accept(TokenKind::Tokens)) {
        return Filter{Filter::MatchTokens{std::move(field), ZORV_TRY(parse_string_literal(p))}};
    }
    return Filter{Filter::MatchText{std::move(field), ZORV_TRY(parse_string_literal(p))}};
}

Result<Filter> values_count(Parser& p, std::string field) {
    const Token op_token = p.current();
    std::optional<CompareOp> op = comparison_op(op_token.kind);
    if (!op) return fail(Diag::ParseComparison, "expected a comparison operator", op_token.span);
    p.take_token();
    std::uint64_t count = ZORV_TRY(parse_nonnegative_integer(p, "VALUES_COUNT"));
    return wrap_not_if(op_token.kind == TokenKind::NotEquals,
                       Filter{Filter::ValuesCount{std::move(field), *op, count}});
}

bool is_point_id_field(std::string_view field) { return equals_ignore_case(field, "id"); }

// Field name, then the predicate chosen by the next token.
Result<Filter> field_predicate(Parser& p) {
    std::string field = ZORV_TRY(parse_field_name(p));
    const bool is_id = is_point_id_field(field);
    const Token op = p.current();
    if (comparison_op(op.kind)) return comparison(p, std::move(field), is_id);
    if (op.kind == TokenKind::In || op.kind == TokenKind::Not) {
        p.take_token();
        const bool negated = op.kind == TokenKind::Not;
        if (negated) ZORV_TRY(p.expect_token(TokenKind::In));
        return in_predicate(p, std::move(field), is_id, negated);
    }
    switch (op.kind) {
        case TokenKind::Between:
        case TokenKind::Is:
        case TokenKind::Match:
        case TokenKind::ValuesCount:
        case TokenKind::GeoBbox:
        case TokenKind::GeoRadius:
        case TokenKind::GeoPolygon:
            if (is_id) return id_predicate_refused(op);
            p.take_token();
            break;
        default:
            return fail(Diag::ParseFilter, "expected a filter operator after " + quote_for_message(field), op.span);
    }
    switch (op.kind) {
        case TokenKind::Between: return between(p, std::move(field));
        case TokenKind::Is: return is_predicate(p, std::move(field));
        case TokenKind::Match: return match_predicate(p, std::move(field));
        case TokenKind::ValuesCount: return values_count(p, std::move(field));
        case TokenKind::GeoBbox: return geo_bbox(p, std::move(field));
        case TokenKind::GeoRadius: return geo_radius(p, std::move(field));
        default: return geo_polygon(p, std::move(field));
    }
}

// ---------------------------------------------------------------------------------------------
// Conditions and operator levels

Result<Filter> parenthesized(Parser& p) {
    Delimited parens = ZORV_TRY(Delimited::open(p, TokenKind::LParen));
    Filter inner = ZORV_TRY(parse_or(p));
    ZORV_TRY(parens.close());
    return inner;
}

Result<Filter> min_should(Parser& p) {
    const Token min = p.take_token();
    p.take_token();  // SHOULD
    const std::uint64_t count = ZORV_TRY(parse_nonnegative_integer(p, "MIN SHOULD"));
    if (count == 0) return fail(Diag::ValidationMinShould, "MIN SHOULD count must be >= 1", min.span);
    Delimited parens = ZORV_TRY(Delimited::open(p, TokenKind::LParen));
    std::vector<Filter> operands;
    do {
        operands.push_back(ZORV_TRY(parse_or(p)));
    } while (p.accept(TokenKind::Comma));
    ZORV_TRY(parens.close());
    return Filter{Filter::MinShould{count, std::move(operands)}};
}

Result<Filter> nested(Parser& p) {
    p.take_token();  // NESTED
    Delimited parens = ZORV_TRY(Delimited::open(p, TokenKind::LParen));
    std::string path = ZORV_TRY(parse_string_literal(p));
    ZORV_TRY(p.expect_token(TokenKind::Comma));
    Filter inner = ZORV_TRY(parse_or(p));
    ZORV_TRY(parens.close());
    return Filter{Filter::Nested{std::move(path), Box<Filter>(std::move(inner))}};
}

Result<Filter> slice(Parser& p) {
    const Token keyword = p.take_token();
    Delimited parens = ZORV_TRY(Delimited::open_flat(p, TokenKind::LParen));
    const std::uint64_t total = ZORV_TRY(parse_nonnegative_integer(p, "SLICE"));
    ZORV_TRY(p.expect_token(TokenKind::Comma));
    const std::uint64_t index = ZORV_TRY(parse_nonnegative_integer(p, "SLICE"));
    ZORV_TRY(parens.close());
    if (total == 0) return fail(Diag::ValidationSlice, "SLICE total must be >= 1", keyword.span);
    if (index >= total) {
        return fail(Diag::ValidationSlice,
                    "SLICE index (" + std::to_string(index) + ") must be less than total (" + std::to_string(total) +
                        ")",
                    keyword.span);
    }
    return Filter{Filter::Slice{total, index}};
}

Result<Filter> condition(Parser& p) {
    switch (p.current().kind) {
        case TokenKind::LParen: return parenthesized(p);
        case TokenKind::HasVector: p.take_token(); return Filter{Filter::HasVector{ZORV_TRY(p.parse_identifier())}};
        case TokenKind::Min:
            if (p.lookahead(1).kind == TokenKind::Should) return min_should(p);
            return field_predicate(p);
        case TokenKind::Nested: return nested(p);
        case TokenKind::Slice: return slice(p);
        default: return field_predicate(p);
    }
}

// NOT binds tightest; every NOT of a chain takes one nesting level.
Result<Filter> parse_not(Parser& p) {
    if (!p.check(TokenKind::Not)) return condition(p);
    auto guard = ZORV_TRY(p.enter_nesting(p.current()));
    p.take_token();
    return negate_filter(ZORV_TRY(parse_not(p)));
}

// One level of a flat n-ary operator: `a op b op c` is one node with three operands.
template <class Node, Result<Filter> (*Operand)(Parser&)>
Result<Filter> parse_chain(Parser& p, TokenKind op) {
    Filter first = ZORV_TRY(Operand(p));
    if (!p.check(op)) return first;
    std::vector<Filter> operands;
    operands.push_back(std::move(first));
    while (p.accept(op)) operands.push_back(ZORV_TRY(Operand(p)));
    return Filter{Node{std::move(operands)}};
}

Result<Filter> parse_and(Parser& p) { return parse_chain<Filter::And, parse_not>(p, TokenKind::And); }

Result<Filter> parse_or(Parser& p) { return parse_chain<Filter::Or, parse_and>(p, TokenKind::Or); }

}  // namespace

Result<Filter> parse_filter(Parser& parser) { return parse_or(parser); }

}  // namespace zorv::core
