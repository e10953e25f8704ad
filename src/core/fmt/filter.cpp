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

void write_parenthesised(TextSink& sink, const Filter& f) {
    sink.text('(');
    write_filter(sink, f);
    sink.text(')');
}

void write_value_list(TextSink& sink, const LiteralList& values) {
    sink.text('(');
    sink.join(values, ", ", write_literal);
    sink.text(')');
}

void write_point_ids(TextSink& sink, const std::vector<PointId>& ids) { sink.join(ids, ", ", write_point_id); }

void write_geo_point(TextSink& sink, const GeoPoint& p) {
    sink.text("{lat: ").f64(p.lat).text(", lon: ").f64(p.lon).text('}');
}

void write_geo_points(TextSink& sink, const std::vector<GeoPoint>& points) { sink.join(points, ", ", write_geo_point); }

void write_geo_polygon(TextSink& sink, const Filter::GeoPolygon& node) {
    sink.identifier(node.field).text(" GEO_POLYGON {exterior: [");
    write_geo_points(sink, node.exterior);
    sink.text(']');
    if (!node.interiors.empty()) {
        sink.text(", interiors: [");
        sink.join(node.interiors, ", ", [](TextSink& s, const auto& ring) {
            s.text('[');
            write_geo_points(s, ring);
            s.text(']');
        });
        sink.text(']');
    }
    sink.text('}');
}

void write_point_id_predicate(TextSink& sink, const PointIdPredicate& predicate) {
    if (predicate.kind() == PointIdPredicate::Kind::Eq) {
        sink.text("id = ");
        write_point_id(sink, std::get<0>(predicate.value));
        return;
    }
    sink.text("id IN (");
    write_point_ids(sink, std::get<1>(predicate.value));
    sink.text(')');
}

// The text of each filter node.
struct FilterWriter {
    TextSink& sink;

    void operator()(const Filter::PointId& n) const { write_point_id_predicate(sink, n.predicate); }
    void operator()(const Filter::Compare& n) const {
        sink.identifier(n.field).text(' ').text(compare_op_text(n.op)).text(' ');
        write_literal(sink, n.value);
    }
    void operator()(const Filter::Between& n) const {
        sink.identifier(n.field).text(" BETWEEN ");
        write_literal(sink, n.low);
        sink.text(" AND ");
        write_literal(sink, n.high);
    }
    void operator()(const Filter::In& n) const {
        sink.identifier(n.field).text(" IN ");
        write_value_list(sink, n.values);
    }
    void operator()(const Filter::IsNull& n) const { sink.identifier(n.field).text(" IS NULL"); }
    void operator()(const Filter::IsEmpty& n) const { sink.identifier(n.field).text(" IS EMPTY"); }
    void operator()(const Filter::MatchText& n) const { sink.identifier(n.field).text(" MATCH ").quoted(n.text); }
    void operator()(const Filter::MatchAny& n) const {
        sink.identifier(n.field).text(" MATCH ANY ");
        write_value_list(sink, n.values);
    }
    void operator()(const Filter::MatchPhrase& n) const {
        sink.identifier(n.field).text(" MATCH PHRASE ").quoted(n.text);
    }
    void operator()(const Filter::MatchPrefix& n) const {
        sink.identifier(n.field).text(" MATCH PREFIX ").quoted(n.prefix);
    }
    void operator()(const Filter::MatchTokens& n) const {
        sink.identifier(n.field).text(" MATCH TOKENS ").quoted(n.text);
    }
    void operator()(const Filter::MatchExcept& n) const {
        sink.identifier(n.field).text(" MATCH EXCEPT ");
        write_value_list(sink, n.values);
    }
    void operator()(const Filter::MinShould& n) const {
        sink.text("MIN SHOULD ").integer(n.min_count).text(" (");
        sink.join(n.operands, ", ", write_filter);
        sink.text(')');
    }
    void operator()(const Filter::And& n) const {
        sink.join(n.operands, " AND ", [](TextSink& s, const Filter& f) {
            is_junction(f) ? write_parenthesised(s, f) : write_filter(s, f);
        });
    }
    void operator()(const Filter::Or& n) const {
        sink.join(n.operands, " OR ", [](TextSink& s, const Filter& f) {
            f.is(Filter::Kind::Or) ? write_parenthesised(s, f) : write_filter(s, f);
        });
    }
    void operator()(const Filter::Not& n) const {
        sink.text("NOT ");
        is_junction(*n.operand) ? write_parenthesised(sink, *n.operand) : write_filter(sink, *n.operand);
    }
    void operator()(const Filter::Nested& n) const {
        sink.text("NESTED(").quoted(n.path).text(", ");
        write_filter(sink, *n.filter);
        sink.text(')');
    }
    void operator()(const Filter::HasVector& n) const { sink.text("HAS_VECTOR ").identifier(n.name); }
    void operator()(const Filter::Slice& n) const {
        sink.text("SLICE (").integer(n.total).text(", ").integer(n.index).text(')');
    }
    void operator()(const Filter::ValuesCount& n) const {
        sink.identifier(n.field).text(" VALUES_COUNT ").text(compare_op_text(n.op)).text(' ').integer(n.count);
    }
    void operator()(const Filter::GeoBoundingBox& n) const {
        sink.identifier(n.field).text(" GEO_BBOX {top_left: ");
        write_geo_point(sink, n.top_left);
        sink.text(", bottom_right: ");
        write_geo_point(sink, n.bottom_right);
        sink.text('}');
    }
    void operator()(const Filter::GeoRadius& n) const {
        sink.identifier(n.field).text(" GEO_RADIUS {center: ");
        write_geo_point(sink, n.center);
        sink.text(", radius: ").f64(n.radius).text('}');
    }
    void operator()(const Filter::GeoPolygon& n) const { write_geo_polygon(sink, n); }
};

}  // namespace

void write_filter(TextSink& sink, const Filter& filter) { std::visit(FilterWriter{sink}, filter.node); }

std::string format_filter(const Filter& filter) { return print_to_string(write_filter, filter); }

void write_point_selector(TextSink& sink, const PointSelector& selector) {
    switch (selector.kind()) {
        case PointSelector::Kind::Id:
            sink.text("id = ");
            write_point_id(sink, std::get<0>(selector.value));
            return;
        case PointSelector::Kind::Ids:
            sink.text("id IN (");
            write_point_ids(sink, std::get<1>(selector.value));
            sink.text(')');
            return;
        case PointSelector::Kind::Filter: write_filter(sink, *std::get<2>(selector.value)); return;
    }
}

std::string format_point_selector(const PointSelector& selector) {
    return print_to_string(write_point_selector, selector);
}

}  // namespace zorv::core
