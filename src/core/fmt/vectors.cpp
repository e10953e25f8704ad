#include "core/fmt/vectors.h"

#include "core/fmt/values.h"

namespace zorv::core {
namespace {

void write_f32s(TextSink& sink, const std::vector<float>& values) {
    sink.join(values, ", ", [](TextSink& s, float v) { s.f32(v); });
}

// The shared tail of the inference inputs: ", model: ..." and ", options: {...}", then "}".
void write_inference_tail(TextSink& sink, const std::optional<std::string>& model, const LiteralDict& options) {
    if (model) sink.text(", model: ").quoted(*model);
    if (!options.empty()) {
        sink.text(", options: ");
        write_inference_options(sink, options);
    }
    sink.text('}');
}

}  // namespace

void write_dense(TextSink& sink, const std::vector<float>& values) {
    sink.text('[');
    write_f32s(sink, values);
    sink.text(']');
}

void write_inference_options(TextSink& sink, const LiteralDict& options) {
    sink.text('{');
    sink.join(options, ", ", [](TextSink& s, const LiteralEntry& e) {
        s.identifier(e.first).text(": ");
        write_literal(s, e.second);
    });
    sink.text('}');
}

std::string format_inference_options(const LiteralDict& options) {
    return print_to_string(write_inference_options, options);
}

void write_vector_value(TextSink& sink, const VectorValue& vector) {
    switch (vector.kind()) {
        case VectorValue::Kind::Dense: write_dense(sink, std::get<VectorValue::Dense>(vector.value).values); return;
        case VectorValue::Kind::Sparse: {
            const auto& sparse = std::get<VectorValue::Sparse>(vector.value);
            sink.text("{indices: [");
            sink.join(sparse.indices, ", ", [](TextSink& s, std::uint32_t i) { s.integer(i); });
            sink.text("], values: [");
            write_f32s(sink, sparse.values);
            sink.text("]}");
            return;
        }
        case VectorValue::Kind::MultiDense:
            sink.text('[');
            sink.join(std::get<VectorValue::MultiDense>(vector.value).rows, ", ", write_dense);
            sink.text(']');
            return;
        case VectorValue::Kind::Document: {
            const auto& doc = std::get<VectorValue::Document>(vector.value);
            sink.text("{text: ").quoted(doc.text);
            write_inference_tail(sink, doc.model, doc.options);
            return;
        }
        case VectorValue::Kind::Image: {
            const auto& image = std::get<VectorValue::Image>(vector.value);
            sink.text("{image: ").quoted(image.source);
            write_inference_tail(sink, image.model, image.options);
            return;
        }
        case VectorValue::Kind::Object: {
            const auto& object = std::get<VectorValue::Object>(vector.value);
            sink.text("{object: ");
            write_literal(sink, *object.object);
            write_inference_tail(sink, object.model, object.options);
            return;
        }
        case VectorValue::Kind::Param:
        case VectorValue::Kind::PositionalParam: write_placeholder(sink, std::get<Placeholder>(vector.value)); return;
    }
}

std::string format_vector_value(const VectorValue& vector) { return print_to_string(write_vector_value, vector); }

void write_point_vectors(TextSink& sink, const PointVectors& vectors) {
    switch (vectors.kind()) {
        case PointVectors::Kind::Unnamed: write_vector_value(sink, std::get<VectorValue>(vectors.value)); return;
        case PointVectors::Kind::Named:
            sink.text('{');
            sink.join(std::get<NamedVectors>(vectors.value), ", ", [](TextSink& s, const auto& entry) {
                s.identifier(entry.first).text(": ");
                write_vector_value(s, entry.second);
            });
            sink.text('}');
            return;
        case PointVectors::Kind::Param:
        case PointVectors::Kind::PositionalParam: write_placeholder(sink, std::get<Placeholder>(vectors.value)); return;
    }
}

std::string format_point_vectors(const PointVectors& vectors) { return print_to_string(write_point_vectors, vectors); }

}  // namespace zorv::core
