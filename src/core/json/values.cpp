// Literals, spans, placeholders, point ids, shard keys and geo points.
#include <variant>

#include "core/json/emit.h"
#include "core/overloaded.h"

namespace zorv::core::json {

void write_span(JsonOut& out, const Span& span) {
    Object obj(out);
    u64_field(out, "start", span.start);
    u64_field(out, "end", span.end);
}

void write_placeholder_array(JsonOut& out, const Placeholder& placeholder) {
    Array arr(out);
    if (placeholder.is_named()) {
        out.string(placeholder.name);
    } else {
        out.u64(placeholder.index);
    }
    if (placeholder.span) write_span(out, *placeholder.span);
}

void write_placeholder(JsonOut& out, const Placeholder& placeholder) {
    tagged(out, placeholder.is_named() ? "Param" : "PositionalParam",
           [&] { write_placeholder_array(out, placeholder); });
}

void write_dict_pairs(JsonOut& out, const LiteralDict& pairs) {
    Array arr(out);
    for (const auto& [name, value] : pairs) {
        Array pair(out);
        out.string(name);
        write_literal(out, value);
    }
}

void write_f32_list(JsonOut& out, const std::vector<float>& values) {
    Array arr(out);
    for (float v : values) out.f32(v);
}

void write_literal(JsonOut& out, const Literal& literal) {
    std::visit(Overloaded{
                   [&](const std::string& s) { tagged(out, "Str", [&] { out.string(s); }); },
                   [&](std::int64_t n) { tagged(out, "Int", [&] { out.i64(n); }); },
                   [&](std::uint64_t n) { tagged(out, "UInt", [&] { out.u64(n); }); },
                   [&](double x) { tagged(out, "Float", [&] { out.f64(x); }); },
                   [&](bool b) { tagged(out, "Bool", [&] { out.boolean(b); }); },
                   [&](const NullValue&) { out.string("Null"); },
                   [&](const LiteralDict& d) { tagged(out, "Dict", [&] { write_dict_pairs(out, d); }); },
                   [&](const LiteralList& l) {
                       tagged(out, "List", [&] { array_of(out, l, [&](const Literal& v) { write_literal(out, v); }); });
                   },
                   [&](const F32Array& a) { tagged(out, "F32Array", [&] { write_f32_list(out, a); }); },
                   [&](const Placeholder& p) { write_placeholder(out, p); },
               },
               literal.value);
}

void write_point_id(JsonOut& out, const PointId& id) {
    std::visit(Overloaded{
                   [&](std::uint64_t n) { tagged(out, "Number", [&] { out.u64(n); }); },
                   [&](const std::string& s) { tagged(out, "String", [&] { out.string(s); }); },
                   [&](const Placeholder& p) { write_placeholder(out, p); },
               },
               id.value);
}

void write_shard_key(JsonOut& out, const ShardKey& key) {
    std::visit(Overloaded{
                   [&](const std::string& s) { tagged(out, "Keyword", [&] { out.string(s); }); },
                   [&](std::uint64_t n) { tagged(out, "Number", [&] { out.u64(n); }); },
                   [&](const Placeholder& p) { write_placeholder(out, p); },
               },
               key.value);
}

void write_opt_shard_key_field(JsonOut& out, std::string_view key, const std::optional<ShardKey>& shard_key) {
    out.key(key);
    if (shard_key) {
        write_shard_key(out, *shard_key);
    } else {
        out.null();
    }
}

void write_geo_point(JsonOut& out, const GeoPoint& point) {
    Object obj(out);
    f64_field(out, "lat", point.lat);
    f64_field(out, "lon", point.lon);
}

}  // namespace zorv::core::json
