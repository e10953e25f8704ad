// Filter trees: {"<Kind>": {fields}} per node, recursively.
#include <variant>

#include "core/json/emit.h"
#include "core/overloaded.h"

namespace zorv::core::json {
namespace {

void write_literals(JsonOut& out, std::string_view key, const LiteralList& values) {
    out.key(key);
    array_of(out, values, [&](const Literal& v) { write_literal(out, v); });
}

void write_operands(JsonOut& out, const std::vector<Filter>& operands) {
    out.key("operands");
    array_of(out, operands, [&](const Filter& f) { write_filter(out, f); });
}

void write_geo_field(JsonOut& out, std::string_view key, const GeoPoint& point) {
    out.key(key);
    write_geo_point(out, point);
}

void write_geo_ring(JsonOut& out, const std::vector<GeoPoint>& ring) {
    array_of(out, ring, [&](const GeoPoint& p) { write_geo_point(out, p); });
}

void write_point_id_match(JsonOut& out, const Filter::PointId& node) {
    std::visit(Overloaded{
                   [&](const PointId& id) { tagged(out, "Eq", [&] { write_point_id(out, id); }); },
                   [&](const std::vector<PointId>& ids) {
                       tagged(out, "In",
                              [&] { array_of(out, ids, [&](const PointId& id) { write_point_id(out, id); }); });
                   },
               },
               node.predicate.value);
}

void write_text_match(JsonOut& out, const std::string& field, std::string_view key, const std::string& text) {
    Object obj(out);
    str_field(out, "field", field);
    str_field(out, key, text);
}

void write_values_match(JsonOut& out, const std::string& field, const LiteralList& values) {
    Object obj(out);
    str_field(out, "field", field);
    write_literals(out, "values", values);
}

void write_filter_fields(JsonOut& out, const Filter& filter) {
    std::visit(Overloaded{
                   [&](const Filter::PointId& n) { write_point_id_match(out, n); },
                   [&](const Filter::Compare& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                       str_field(out, "op", compare_op_name(n.op));
                       out.key("value");
                       write_literal(out, n.value);
                   },
                   [&](const Filter::Between& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                       out.key("low");
                       write_literal(out, n.low);
                       out.key("high");
                       write_literal(out, n.high);
                   },
                   [&](const Filter::In& n) { write_values_match(out, n.field, n.values); },
                   [&](const Filter::IsNull& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                   },
                   [&](const Filter::IsEmpty& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                   },
                   [&](const Filter::MatchText& n) { write_text_match(out, n.field, "text", n.text); },
                   [&](const Filter::MatchAny& n) { write_values_match(out, n.field, n.values); },
                   [&](const Filter::MatchPhrase& n) { write_text_match(out, n.field, "text", n.text); },
                   [&](const Filter::MatchPrefix& n) { write_text_match(out, n.field, "prefix", n.prefix); },
                   [&](const Filter::MatchTokens& n) { write_text_match(out, n.field, "text", n.text); },
                   [&](const Filter::MatchExcept& n) { write_values_match(out, n.field, n.values); },
                   [&](const Filter::MinShould& n) {
                       Object obj(out);
                       u64_field(out, "min_count", n.min_count);
                       write_operands(out, n.operands);
                   },
                   [&](const Filter::And& n) {
                       Object obj(out);
                       write_operands(out, n.operands);
                   },
                   [&](const Filter::Or& n) {
                       Object obj(out);
                       write_operands(out, n.operands);
                   },
                   [&](const Filter::Not& n) {
                       Object obj(out);
                       out.key("operand");
                       write_filter(out, *n.operand);
                   },
                   [&](const Filter::Nested& n) {
                       Object obj(out);
                       str_field(out, "path", n.path);
                       out.key("filter");
                       write_filter(out, *n.filter);
                   },
                   [&](const Filter::HasVector& n) {
                       Object obj(out);
                       str_field(out, "name", n.name);
                   },
                   [&](const Filter::Slice& n) {
                       Object obj(out);
                       u64_field(out, "total", n.total);
                       u64_field(out, "index", n.index);
                   },
                   [&](const Filter::ValuesCount& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                       str_field(out, "op", compare_op_name(n.op));
                       u64_field(out, "count", n.count);
                   },
                   [&](const Filter::GeoBoundingBox& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                       write_geo_field(out, "top_left", n.top_left);
                       write_geo_field(out, "bottom_right", n.bottom_right);
                   },
                   [&](const Filter::GeoRadius& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                       write_geo_field(out, "center", n.center);
                       f64_field(out, "radius", n.radius);
                   },
                   [&](const Filter::GeoPolygon& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                       out.key("exterior");
                       write_geo_ring(out, n.exterior);
                       out.key("interiors");
                       array_of(out, n.interiors,
                                [&](const std::vector<GeoPoint>& ring) { write_geo_ring(out, ring); });
                   },
               },
               filter.node);
}

}  // namespace

void write_filter(JsonOut& out, const Filter& filter) {
    tagged(out, filter_kind_name(filter.kind()), [&] { write_filter_fields(out, filter); });
}

void write_opt_filter_field(JsonOut& out, std::string_view key, const std::optional<Box<Filter>>& filter) {
    out.key(key);
    if (filter) {
        write_filter(out, **filter);
    } else {
        out.null();
    }
}

}  // namespace zorv::core::json
