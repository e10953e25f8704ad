#include "core/fmt/filter.h"

#include "core/fmt/values.h"

namespace zorv::core {
namespace {

std::string_view compare_op_text(CompareOp op) {
    switch (op) {
        case CompareOp::Eq: return "=";
        case CompareOp::Gt: return ">";
        case CompareOp::Gte: return ">=";
        case CompareOp::Lt: return "<";
        case CompareOp::Lte: return "<=";
    }
    return "=";
}

bool is_junction(const Filter& f) { return f.is(Filter::Kind::And) || f.is(Filter::Kind::Or); }

std::string parenthesised(const Filter& f) { return "(" + format_filter(f) + ")"; }

std::string value_list(const LiteralList& values) { return "(" + join_mapped(values, ", ", format_literal) + ")"; }

std::string point_ids(const std::vector<PointId>& ids) { return join_mapped(ids, ", ", format_point_id); }

std::string geo_point(const GeoPoint& p) {
    return "{lat: " + format_f64(p.lat) + ", lon: " + format_f64(p.lon) + "}";
}

std::string geo_points(const std::vector<GeoPoint>& points) { return join_mapped(points, ", ", geo_point); }

std::string and_text(const Filter::And& node) {
    return join_mapped(node.operands, " AND ",
                       [](const Filter& f) { return is_junction(f) ? parenthesised(f) : format_filter(f); });
}

std::string or_text(const Filter::Or& node) {
    return join_mapped(node.operands, " OR ",
                       [](const Filter& f) { return f.is(Filter::Kind::Or) ? parenthesised(f) : format_filter(f); });
}

std::string geo_polygon_text(const Filter::GeoPolygon& node) {
    std::string out = format_identifier(node.field) + " GEO_POLYGON {exterior: [" + geo_points(node.exterior) + "]";
    if (!node.interiors.empty()) {
        out += ", interiors: [" +
               join_mapped(node.interiors, ", ", [](const auto& ring) { return "[" + geo_points(ring) + "]"; }) + "]";
    }
    out += '}';
    return out;
}

std::string point_id_text(const PointIdPredicate& predicate) {
    if (predicate.kind() == PointIdPredicate::Kind::Eq) return "id = " + format_point_id(std::get<0>(predicate.value));
    return "id IN (" + point_ids(std::get<1>(predicate.value)) + ")";
}

// The text of each filter node.
struct FilterText {
    std::string operator()(const Filter::PointId& n) const { return point_id_text(n.predicate); }
    std::string operator()(const Filter::Compare& n) const {
        return format_identifier(n.field) + " " + std::string(compare_op_text(n.op)) + " " + format_literal(n.value);
    }
    std::string operator()(const Filter::Between& n) const {
        return format_identifier(n.field) + " BETWEEN " + format_literal(n.low) + " AND " + format_literal(n.high);
    }
    std::string operator()(const Filter::In& n) const { return format_identifier(n.field) + " IN " + value_list(n.values); }
    std::string operator()(const Filter::IsNull& n) const { return format_identifier(n.field) + " IS NULL"; }
    std::string operator()(const Filter::IsEmpty& n) const { return format_identifier(n.field) + " IS EMPTY"; }
    std::string operator()(const Filter::MatchText& n) const {
        return format_identifier(n.field) + " MATCH " + quote_string(n.text);
    }
    std::string operator()(const Filter::MatchAny& n) const {
        return format_identifier(n.field) + " MATCH ANY " + value_list(n.values);
    }
    std::string operator()(const Filter::MatchPhrase& n) const {
        return format_identifier(n.field) + " MATCH PHRASE " + quote_string(n.text);
    }
    std::string operator()(const Filter::MatchPrefix& n) const {
        return format_identifier(n.field) + " MATCH PREFIX " + quote_string(n.prefix);
    }
    std::string operator()(const Filter::MatchTokens& n) const {
        return format_identifier(n.field) + " MATCH TOKENS " + quote_string(n.text);
    }
    std::string operator()(const Filter::MatchExcept& n) const {
        return format_identifier(n.field) + " MATCH EXCEPT " + value_list(n.values);
    }
    std::string operator()(const Filter::MinShould& n) const {
        return "MIN SHOULD " + std::to_string(n.min_count) + " (" + join_mapped(n.operands, ", ", format_filter) + ")";
    }
    std::string operator()(const Filter::And& n) const { return and_text(n); }
    std::string operator()(const Filter::Or& n) const { return or_text(n); }
    std::string operator()(const Filter::Not& n) const {
        return is_junction(*n.operand) ? "NOT " + parenthesised(*n.operand) : "NOT " + format_filter(*n.operand);
    }
    std::string operator()(const Filter::Nested& n) const {
        return "NESTED(" + quote_string(n.path) + ", " + format_filter(*n.filter) + ")";
    }
    std::string operator()(const Filter::HasVector& n) const { return "HAS_VECTOR " + format_identifier(n.name); }
    std::string operator()(const Filter::Slice& n) const {
        return "SLICE (" + std::to_string(n.total) + ", " + std::to_string(n.index) + ")";
    }
    std::string operator()(const Filter::ValuesCount& n) const {
        return format_identifier(n.field) + " VALUES_COUNT " + std::string(compare_op_text(n.op)) + " " +
               std::to_string(n.count);
    }
    std::string operator()(const Filter::GeoBoundingBox& n) const {
        return format_identifier(n.field) + " GEO_BBOX {top_left: " + geo_point(n.top_left) +
               ", bottom_right: " + geo_point(n.bottom_right) + "}";
    }
    std::string operator()(const Filter::GeoRadius& n) const {
        return format_identifier(n.field) + " GEO_RADIUS {center: " + geo_point(n.center) +
               ", radius: " + format_f64(n.radius) + "}";
    }
    std::string operator()(const Filter::GeoPolygon& n) const { return geo_polygon_text(n); }
};

}  // namespace

std::string format_filter(const Filter& filter) { return std::visit(FilterText{}, filter.node); }

std::string format_point_selector(const PointSelector& selector) {
    switch (selector.kind()) {
        case PointSelector::Kind::Id: return "id = " + format_point_id(std::get<0>(selector.value));
        case PointSelector::Kind::Ids: return "id IN (" + point_ids(std::get<1>(selector.value)) + ")";
        case PointSelector::Kind::Filter: return format_filter(*std::get<2>(selector.value));
    }
    return std::string();
}

}  // namespace zorv::core
