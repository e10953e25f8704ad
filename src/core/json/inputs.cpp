// Query inputs (what a ranking stage starts from) and vector inputs (literal vectors and the
// inference inputs of points).
#include <variant>

#include "core/json/emit.h"
#include "core/overloaded.h"

namespace zorv::core::json {
namespace {

// "options" only when there is at least one, and always last.
void write_options_field(JsonOut& out, const LiteralDict& options) {
    if (options.empty()) return;
    out.key("options");
    write_dict_pairs(out, options);
}

void write_image(JsonOut& out, const VectorValue::Image& image) {
    tagged(out, "Image", [&] {
        Object obj(out);
        str_field(out, "source", image.source);
        opt_str_field(out, "model", image.model);
        write_options_field(out, image.options);
    });
}

void write_object(JsonOut& out, const VectorValue::Object& object) {
    tagged(out, "Object", [&] {
        Object obj(out);
        out.key("object");
        write_literal(out, *object.object);
        opt_str_field(out, "model", object.model);
        write_options_field(out, object.options);
    });
}

}  // namespace

void write_vector_input(JsonOut& out, const VectorValue& vector) {
    using V = VectorValue;
    std::visit(Overloaded{
                   [&](const V::Dense& v) { tagged(out, "Dense", [&] { write_f32_list(out, v.values); }); },
                   [&](const V::Sparse& v) {
                       tagged(out, "Sparse", [&] {
                           Object obj(out);
                           out.key("indices");
                           array_of(out, v.indices, [&](std::uint32_t i) { out.u64(i); });
                           out.key("values");
                           write_f32_list(out, v.values);
                       });
                   },
                   [&](const V::MultiDense& v) {
                       tagged(out, "MultiDense", [&] {
                           array_of(out, v.rows, [&](const std::vector<float>& row) { write_f32_list(out, row); });
                       });
                   },
                   [&](const V::Document& v) {
                       tagged(out, "Document", [&] {
                           Object obj(out);
                           str_field(out, "text", v.text);
                           opt_str_field(out, "model", v.model);
                           write_options_field(out, v.options);
                       });
                   },
                   [&](const V::Image& v) { write_image(out, v); },
                   [&](const V::Object& v) { write_object(out, v); },
                   [&](const Placeholder& p) { write_placeholder(out, p); },
               },
               vector.value);
}

void write_query_input(JsonOut& out, const QueryInput& input) {
    std::visit(Overloaded{
                   [&](const QueryInput::Text& t) {
                       tagged(out, "Text", [&] {
                           Object obj(out);
                           str_field(out, "text", t.text);
                           opt_str_field(out, "model", t.model);
                           if (t.text_param) str_field(out, "text_param", t.text_param->text());
                           write_options_field(out, t.options);
                       });
                   },
                   [&](const QueryInput::Image& v) { write_image(out, v); },
                   [&](const QueryInput::Object& v) { write_object(out, v); },
                   [&](const VectorValue& v) { tagged(out, "Vector", [&] { write_vector_input(out, v); }); },
                   [&](const PointId& id) { tagged(out, "Point", [&] { write_point_id(out, id); }); },
                   [&](const Placeholder& p) { write_placeholder(out, p); },
               },
               input.value);
}

void write_point_vectors(JsonOut& out, const PointVectors& vectors) {
    std::visit(Overloaded{
                   [&](const VectorValue& v) { tagged(out, "Unnamed", [&] { write_vector_input(out, v); }); },
                   [&](const NamedVectors& named) {
                       tagged(out, "Named", [&] {
                           Array arr(out);
                           for (const auto& [name, v] : named) {
                               Array pair(out);
                               out.string(name);
                               write_vector_input(out, v);
                           }
                       });
                   },
                   [&](const Placeholder& p) { write_placeholder(out, p); },
               },
               vectors.value);
}

}  // namespace zorv::core::json
