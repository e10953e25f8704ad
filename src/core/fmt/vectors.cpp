#include "core/fmt/vectors.h"

#include "core/fmt/values.h"

namespace zorv::core {
namespace {

std::string format_dense(const std::vector<float>& values) {
    return "[" + join_mapped(values, ", ", format_f32) + "]";
}

// The shared tail of the inference inputs: ", model: ..." and ", options: {...}", then "}".
std::string inference_tail(const std::optional<std::string>& model, const LiteralDict& options) {
    std::string out;
    if (model) out += ", model: " + quote_string(*model);
    if (!options.empty()) out += ", options: " + format_inference_options(options);
    out += '}';
    return out;
}

}  // namespace

std::string format_inference_options(const LiteralDict& options) {
    return "{" +
           join_mapped(options, ", ",
                       [](const LiteralEntry& e) { return format_identifier(e.first) + ": " + format_literal(e.second); }) +
           "}";
}

std::string format_vector_value(const VectorValue& vector) {
    switch (vector.kind()) {
        case VectorValue::Kind::Dense: return format_dense(std::get<VectorValue::Dense>(vector.value).values);
        case VectorValue::Kind::Sparse: {
            const auto& sparse = std::get<VectorValue::Sparse>(vector.value);
            return "{indices: [" +
                   join_mapped(sparse.indices, ", ", [](std::uint32_t i) { return std::to_string(i); }) +
                   "], values: [" + join_mapped(sparse.values, ", ", format_f32) + "]}";
        }
        case VectorValue::Kind::MultiDense:
            return "[" + join_mapped(std::get<VectorValue::MultiDense>(vector.value).rows, ", ", format_dense) + "]";
        case VectorValue::Kind::Document: {
            const auto& doc = std::get<VectorValue::Document>(vector.value);
            return "{text: " + quote_string(doc.text) + inference_tail(doc.model, doc.options);
        }
        case VectorValue::Kind::Image: {
            const auto& image = std::get<VectorValue::Image>(vector.value);
            return "{image: " + quote_string(image.source) + inference_tail(image.model, image.options);
        }
        case VectorValue::Kind::Object: {
            const auto& object = std::get<VectorValue::Object>(vector.value);
            return "{object: " + format_literal(*object.object) + inference_tail(object.model, object.options);
        }
        case VectorValue::Kind::Param:
        case VectorValue::Kind::PositionalParam: return format_placeholder(std::get<Placeholder>(vector.value));
    }
    return "?";
}

std::string format_point_vectors(const PointVectors& vectors) {
    switch (vectors.kind()) {
        case PointVectors::Kind::Unnamed: return format_vector_value(std::get<VectorValue>(vectors.value));
        case PointVectors::Kind::Named:
            return "{" +
                   join_mapped(std::get<NamedVectors>(vectors.value), ", ",
                               [](const auto& entry) {
                                   return format_identifier(entry.first) + ": " + format_vector_value(entry.second);
                               }) +
                   "}";
        case PointVectors::Kind::Param:
        case PointVectors::Kind::PositionalParam: return format_placeholder(std::get<Placeholder>(vectors.value));
    }
    return "?";
}

}  // namespace zorv::core
