#include "core/ast/vector.h"
#include "core/diagnostics.h"
#include "core/text.h"

#include <cmath>
#include <limits>
#include <string_view>

namespace zorv::core {
namespace {

// Doubles at or above this magnitude round to an infinite float.
constexpr double f32_overflow_bound = 0x1.ffffffp127;

std::unexpected<ZorvError> vector_error(const char* message, std::optional<Span> span) {
    return fail(Diag::ValidationVector, message, span);
}

bool key_is(std::string_view key, std::string_view lower_name) {
    if (key.size() != lower_name.size()) return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (ascii_lower(key[i]) != lower_name[i]) return false;
    }
    return true;
}

const Literal* first_value(const LiteralDict& pairs, std::string_view lower_name) {
    for (const auto& [key, value] : pairs) {
        if (key_is(key, lower_name)) return &value;
    }
    return nullptr;
}

Placeholder with_span(Placeholder param, std::optional<Span> span) {
    if (!param.span) param.span = span;
    return param;
}

Result<float> to_f32(const Literal& element, std::optional<Span> span) {
    double wide = 0.0;
    switch (element.kind()) {
        case Literal::Kind::Float: wide = element.as_float(); break;
        case Literal::Kind::Int: wide = static_cast<double>(element.as_int()); break;
        case Literal::Kind::UInt: wide = static_cast<double>(element.as_uint()); break;
        default: return fail(Diag::BindTypeMismatch, "vector elements must be numeric", span);
    }
    // Checked before the cast: narrowing a double beyond the float range is undefined.
    if (!std::isfinite(wide) || std::fabs(wide) >= f32_overflow_bound) {
        return vector_error("vector elements must be finite f32 values", span);
    }
    return static_cast<float>(wide);
}

Result<std::vector<float>> to_f32_list(const LiteralList& elements, std::optional<Span> span) {
    std::vector<float> out(elements.size());
    for (std::size_t k = 0; k < elements.size(); ++k) {
        // Floats within the f32 range are the bulk of every vector; the rest take the full rule.
        const double* wide = std::get_if<double>(&elements[k].value);
        if (wide != nullptr && std::fabs(*wide) < f32_overflow_bound) {
            out[k] = static_cast<float>(*wide);
        } else {
            out[k] = ZORV_TRY(to_f32(elements[k], span));
        }
    }
    return out;
}

Result<std::uint32_t> to_sparse_index(const Literal& element, std::optional<Span> span) {
    constexpr std::uint64_t max_index = std::numeric_limits<std::uint32_t>::max();
    if (element.is(Literal::Kind::UInt)) {
        if (element.as_uint() > max_index) return vector_error("sparse vector index is out of range", span);
        return static_cast<std::uint32_t>(element.as_uint());
    }
    if (element.is(Literal::Kind::Int)) {
        std::int64_t v = element.as_int();
        if (v < 0) return vector_error("sparse vector indices must be non-negative integers", span);
        if (static_cast<std::uint64_t>(v) > max_index) return vector_error("sparse vector index is out of range", span);
        return static_cast<std::uint32_t>(v);
    }
    return vector_error("sparse vector indices must be non-negative integers", span);
}

// An F32Array is taken as it is; a List goes through the float rule; anything else is refused
// with `wrong_shape`.
Result<std::vector<float>> take_float_buffer(Literal literal, const char* wrong_shape, std::optional<Span> span) {
    if (literal.is(Literal::Kind::F32Array)) return std::move(literal.as_f32_array());
    if (literal.is(Literal::Kind::List)) return to_f32_list(literal.as_list(), span);
    return vector_error(wrong_shape, span);
}

Result<VectorValue> list_to_vector(LiteralList elements, std::optional<Span> span) {
    bool all_rows = true;
    for (const Literal& element : elements) {
        if (!element.is(Literal::Kind::List) && !element.is(Literal::Kind::F32Array)) {
            all_rows = false;
            break;
        }
    }
    if (!all_rows) {
        std::vector<float> values = ZORV_TRY(to_f32_list(elements, span));
        return VectorValue{VectorValue::Dense{std::move(values)}};
    }
    if (elements.empty()) return vector_error("multidense vector cannot be empty", span);
    VectorValue::MultiDense multi;
    multi.rows.reserve(elements.size());
    for (Literal& element : elements) {
        std::vector<float> row;
        if (element.is(Literal::Kind::F32Array)) {
            row = std::move(element.as_f32_array());
        } else {
            row = ZORV_TRY(to_f32_list(element.as_list(), span));
        }
        if (row.empty()) return vector_error("multidense vector rows cannot be empty", span);
        multi.rows.push_back(std::move(row));
    }
    return VectorValue{std::move(multi)};
}

// The values of the shape keys of a vector object; a later pair replaces an earlier one.
struct ShapeKeys {
    Literal* indices = nullptr;
    Literal* values = nullptr;
    Literal* data = nullptr;
    Literal* dim = nullptr;
};

ShapeKeys find_shape_keys(LiteralDict& pairs) {
    ShapeKeys keys;
    for (auto& [key, value] : pairs) {
        if (key_is(key, "indices")) keys.indices = &value;
        else if (key_is(key, "values")) keys.values = &value;
        else if (key_is(key, "data")) keys.data = &value;
        else if (key_is(key, "dim")) keys.dim = &value;
    }
    return keys;
}

Result<VectorValue> sparse_from_keys(const ShapeKeys& keys, std::optional<Span> span) {
    if (keys.indices == nullptr || keys.values == nullptr) {
        return vector_error("sparse vectors require indices and values lists", span);
    }
    if (!keys.indices->is(Literal::Kind::List)) {
        return vector_error("sparse vector indices must be non-negative integers", span);
    }
    VectorValue::Sparse sparse;
    const LiteralList& raw_indices = keys.indices->as_list();
    sparse.indices.reserve(raw_indices.size());
    for (const Literal& element : raw_indices) sparse.indices.push_back(ZORV_TRY(to_sparse_index(element, span)));
    sparse.values =
        ZORV_TRY(take_float_buffer(std::move(*keys.values), "sparse vector values must be a list of numbers", span));
    if (sparse.indices.empty() || sparse.indices.size() != sparse.values.size()) {
        return vector_error("sparse vector indices and values must be non-empty and have equal length", span);
    }
    return VectorValue{std::move(sparse)};
}

std::optional<std::uint64_t> positive_dim(const Literal& dim) {
    if (dim.is(Literal::Kind::UInt) && dim.as_uint() > 0) return dim.as_uint();
    if (dim.is(Literal::Kind::Int) && dim.as_int() > 0) return static_cast<std::uint64_t>(dim.as_int());
    return std::nullopt;
}

Result<VectorValue> flat_multi_from_keys(const ShapeKeys& keys, std::optional<Span> span) {
    if (keys.indices != nullptr || keys.values != nullptr) {
        return vector_error(
            "vector object must be either flat multivector {data, dim} or sparse {indices, values}, not both", span);
    }
    if (keys.data == nullptr || keys.dim == nullptr) {
        return vector_error("flat multivector requires data and dim (e.g. {data: [...], dim: 128})", span);
    }
    std::optional<std::uint64_t> dim = positive_dim(*keys.dim);
    if (!dim) return vector_error("multivector dim must be a positive integer", span);
    std::vector<float> data =
        ZORV_TRY(take_float_buffer(std::move(*keys.data), "multivector data must be a flat list of numbers", span));
    if (data.empty() || data.size() % *dim != 0) {
        return vector_error("multivector data length must be a non-empty multiple of dim", span);
    }
    VectorValue::MultiDense multi;
    multi.rows.reserve(data.size() / *dim);
    for (std::size_t start = 0; start < data.size(); start += *dim) {
        multi.rows.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(start),
                                data.begin() + static_cast<std::ptrdiff_t>(start + *dim));
    }
    return VectorValue{std::move(multi)};
}

Result<VectorValue> dict_to_vector(LiteralDict pairs, std::optional<Span> span) {
    std::optional<VectorValue> inference = ZORV_TRY(inference_vector_from_dict(pairs, span));
    if (inference) return std::move(*inference);
    ShapeKeys keys = find_shape_keys(pairs);
    if (keys.data == nullptr && keys.dim == nullptr) return sparse_from_keys(keys, span);
    return flat_multi_from_keys(keys, span);
}

bool marks_single_vector(const LiteralDict& pairs) {
    for (const auto& [key, value] : pairs) {
        if (key_is(key, "values") || key_is(key, "indices")) return true;
    }
    return false;
}

// The one inference kind a dict carries, by the first pair of each key with the right value kind.
struct InferenceKinds {
    const Literal* text = nullptr;
    const Literal* image = nullptr;
    const Literal* object = nullptr;
    int count() const { return (text != nullptr) + (image != nullptr) + (object != nullptr); }
};

InferenceKinds find_inference_kinds(const LiteralDict& pairs) {
    InferenceKinds kinds;
    const Literal* text = first_value(pairs, "text");
    const Literal* image = first_value(pairs, "image");
    const Literal* object = first_value(pairs, "object");
    if (text != nullptr && text->is(Literal::Kind::Str)) kinds.text = text;
    if (image != nullptr && image->is(Literal::Kind::Str)) kinds.image = image;
    if (object != nullptr && object->is(Literal::Kind::Dict)) kinds.object = object;
    return kinds;
}

bool is_inference_key(std::string_view key) {
    return key_is(key, "text") || key_is(key, "image") || key_is(key, "object") || key_is(key, "model") ||
           key_is(key, "options");
}

}  // namespace

Result<std::optional<VectorValue>> inference_vector_from_dict(const LiteralDict& pairs, std::optional<Span> span) {
    InferenceKinds kinds = find_inference_kinds(pairs);
    if (kinds.count() == 0) return std::optional<VectorValue>{};
    if (kinds.count() > 1) return vector_error("inference vector carries more than one of text, image, object", span);
    for (const auto& [key, value] : pairs) {
        if (!is_inference_key(key)) {
            return vector_error("inference vector must only carry text/image/object, model, and options", span);
        }
    }
    std::optional<std::string> model;
    if (const Literal* m = first_value(pairs, "model")) {
        if (!m->is(Literal::Kind::Str)) return vector_error("inference vector model must be a string", span);
        model = m->as_str();
    }
    LiteralDict options;
    if (const Literal* o = first_value(pairs, "options")) {
        if (!o->is(Literal::Kind::Dict)) return vector_error("inference vector options must be an object", span);
        options = o->as_dict();
    }
    if (kinds.text != nullptr) {
        return std::optional<VectorValue>(
            VectorValue{VectorValue::Document{kinds.text->as_str(), std::move(model), std::move(options)}});
    }
    if (kinds.image != nullptr) {
        return std::optional<VectorValue>(
            VectorValue{VectorValue::Image{kinds.image->as_str(), std::move(model), std::move(options)}});
    }
    return std::optional<VectorValue>(
        VectorValue{VectorValue::Object{Box<Literal>(*kinds.object), std::move(model), std::move(options)}});
}

Result<VectorValue> literal_to_vector(Literal literal, std::optional<Span> span) {
    switch (literal.kind()) {
        case Literal::Kind::F32Array:
            if (literal.as_f32_array().empty()) return vector_error("dense vector cannot be empty", span);
            return VectorValue{VectorValue::Dense{std::move(literal.as_f32_array())}};
        case Literal::Kind::List: return list_to_vector(std::move(literal.as_list()), span);
        case Literal::Kind::Dict: return dict_to_vector(std::move(literal.as_dict()), span);
        case Literal::Kind::Param:
        case Literal::Kind::PositionalParam: return VectorValue{with_span(std::move(literal.as_placeholder()), span)};
        default: return vector_error("vector must be a dense list, sparse object, or list of dense lists", span);
    }
}

Result<PointVectors> literal_to_vector_input(Literal literal, std::optional<Span> span) {
    switch (literal.kind()) {
        case Literal::Kind::Param:
        case Literal::Kind::PositionalParam: return PointVectors{with_span(std::move(literal.as_placeholder()), span)};
        case Literal::Kind::Dict: break;
        default: {
            VectorValue vector = ZORV_TRY(literal_to_vector(std::move(literal), span));
            return PointVectors{std::move(vector)};
        }
    }
    LiteralDict& pairs = literal.as_dict();
    if (marks_single_vector(pairs)) {
        VectorValue vector = ZORV_TRY(literal_to_vector(std::move(literal), span));
        return PointVectors{std::move(vector)};
    }
    std::optional<VectorValue> inference = ZORV_TRY(inference_vector_from_dict(pairs, span));
    if (inference) return PointVectors{std::move(*inference)};
    NamedVectors named;
    named.reserve(pairs.size());
    for (auto& [key, value] : pairs) {
        VectorValue vector = ZORV_TRY(literal_to_vector(std::move(value), span));
        named.emplace_back(std::move(key), std::move(vector));
    }
    return PointVectors{std::move(named)};
}

Result<PointId> literal_to_point_id(Literal literal, Span span) {
    switch (literal.kind()) {
        case Literal::Kind::Str: return PointId{std::move(std::get<std::string>(literal.value))};
        case Literal::Kind::Int:
            if (literal.as_int() >= 0) return PointId{static_cast<std::uint64_t>(literal.as_int())};
            break;
        case Literal::Kind::UInt: return PointId{literal.as_uint()};
        case Literal::Kind::Param:
        case Literal::Kind::PositionalParam: return PointId{with_span(std::move(literal.as_placeholder()), span)};
        default: break;
    }
    return fail(Diag::ValidationPointId, "point IDs must be unsigned integers or strings", span);
}

}  // namespace zorv::core
