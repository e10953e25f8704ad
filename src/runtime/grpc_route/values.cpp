#include "runtime/grpc_route/values.h"

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "core/diagnostics.h"
#include "plan/values.h"

namespace zorv::runtime::rpc {

namespace {

constexpr auto kInt64Max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());

core::ZorvError value_int_error(std::uint64_t n) {
    return core::make_error(core::Diag::GrpcValueInt,
                            "integer " + std::to_string(n) +
                                " cannot be represented on the gRPC path: the bundled Qdrant proto stores integers as "
                                "int64 (max 9223372036854775807)");
}

// `where` names the conversion that met the placeholder.
core::ZorvError placeholder_error(const core::Placeholder& placeholder, std::string_view where) {
    if (placeholder.is_named())
        return core::make_error(core::Diag::BindUnboundParam, "unbound named parameter ':" + placeholder.name +
                                                                  "' reached gRPC " + std::string(where) +
                                                                  " (bind parameters before dispatch)");
    return core::make_error(core::Diag::BindMissingPositional,
                            "missing positional parameter '?" + std::to_string(placeholder.index + 1) +
                                "' reached gRPC " + std::string(where) + " (bind parameters before dispatch)");
}

core::Result<void> value_into(const core::Literal& value, qdrant::Value& out);

core::Result<void> dict_into(const core::LiteralDict& entries, ProtoPayload& out) {
    for (const auto& [key, entry] : entries) {
        qdrant::Value converted;
        ZORV_CHECK(value_into(entry, converted));
        out[key] = std::move(converted);
    }
    return {};
}

core::Result<void> value_into(const core::Literal& value, qdrant::Value& out) {
    using Kind = core::Literal::Kind;
    switch (value.kind()) {
        case Kind::Str: out.set_string_value(value.as_str()); return {};
        case Kind::Int: out.set_integer_value(value.as_int()); return {};
        case Kind::UInt:
            if (value.as_uint() > kInt64Max) return std::unexpected(value_int_error(value.as_uint()));
            out.set_integer_value(static_cast<std::int64_t>(value.as_uint()));
            return {};
        case Kind::Float: out.set_double_value(value.as_float()); return {};
        case Kind::Bool: out.set_bool_value(value.as_bool()); return {};
        case Kind::Null: return {};  // no kind: the reply side reads it back as null
        case Kind::Dict: {
            auto& fields = *out.mutable_struct_value()->mutable_fields();
            return dict_into(value.as_dict(), fields);
        }
        case Kind::List: {
            auto& values = *out.mutable_list_value()->mutable_values();
            values.Reserve(static_cast<int>(value.as_list().size()));
            for (const core::Literal& element : value.as_list()) ZORV_CHECK(value_into(element, *values.Add()));
            return {};
        }
        case Kind::F32Array: {
            auto& values = *out.mutable_list_value()->mutable_values();
            values.Reserve(static_cast<int>(value.as_f32_array().size()));
            for (float x : value.as_f32_array()) values.Add()->set_double_value(static_cast<double>(x));
            return {};
        }
        case Kind::Param:
        case Kind::PositionalParam: plan::unbound_placeholder(value.as_placeholder(), "gRPC value conversion");
    }
    return {};
}

void dense_into(const std::vector<float>& values, qdrant::DenseVector& out) {
    out.mutable_data()->Assign(values.begin(), values.end());
}

void sparse_into(const core::VectorValue::Sparse& sparse, qdrant::SparseVector& out) {
    out.mutable_indices()->Assign(sparse.indices.begin(), sparse.indices.end());
    out.mutable_values()->Assign(sparse.values.begin(), sparse.values.end());
}

void multi_into(const core::VectorValue::MultiDense& multi, qdrant::MultiDenseVector& out) {
    out.mutable_vectors()->Reserve(static_cast<int>(multi.rows.size()));
    for (const auto& row : multi.rows) dense_into(row, *out.add_vectors());
}

core::Result<void> document_into(const core::VectorValue::Document& document, qdrant::Document& out) {
    out.set_text(document.text);
    out.set_model(document.model.value_or(""));
    return options_to_proto(document.options, *out.mutable_options());
}

core::Result<void> image_into(const core::VectorValue::Image& image, qdrant::Image& out) {
    out.mutable_image()->set_string_value(image.source);
    out.set_model(image.model.value_or(""));
    return options_to_proto(image.options, *out.mutable_options());
}

core::Result<void> object_into(const core::VectorValue::Object& object, qdrant::InferenceObject& out) {
    ZORV_CHECK(value_into(*object.object, *out.mutable_object()));
    out.set_model(object.model.value_or(""));
    return options_to_proto(object.options, *out.mutable_options());
}

// Vector and VectorInput name their alternatives alike; `where` names the caller for placeholders.
template <class Message>
core::Result<void> vector_into(const core::VectorValue& vector, Message& out, std::string_view where) {
    using Kind = core::VectorValue::Kind;
    const auto& v = vector.value;
    switch (vector.kind()) {
        case Kind::Dense: dense_into(std::get<core::VectorValue::Dense>(v).values, *out.mutable_dense()); return {};
        case Kind::Sparse: sparse_into(std::get<core::VectorValue::Sparse>(v), *out.mutable_sparse()); return {};
        case Kind::MultiDense:
            multi_into(std::get<core::VectorValue::MultiDense>(v), *out.mutable_multi_dense());
            return {};
        case Kind::Document: return document_into(std::get<core::VectorValue::Document>(v), *out.mutable_document());
        case Kind::Image: return image_into(std::get<core::VectorValue::Image>(v), *out.mutable_image());
        case Kind::Object: return object_into(std::get<core::VectorValue::Object>(v), *out.mutable_object());
        case Kind::Param:
        case Kind::PositionalParam: return std::unexpected(placeholder_error(std::get<core::Placeholder>(v), where));
    }
    return {};
}

core::Result<void> vectors_into(const plan::PlanPointVectors& vectors, qdrant::Vectors& out) {
    using Kind = core::PointVectors::Kind;
    switch (vectors.kind()) {
        case Kind::Unnamed:
            return vector_into(std::get<core::VectorValue>(vectors.value), *out.mutable_vector(),
                               "plan_vector_to_proto");
        case Kind::Named: {
            auto& named = *out.mutable_vectors()->mutable_vectors();
            for (const auto& [name, vector] : std::get<core::NamedVectors>(vectors.value)) {
                qdrant::Vector converted;
                ZORV_CHECK(vector_into(vector, converted, "plan_vector_to_proto"));
                named[name] = std::move(converted);
            }
            return {};
        }
        case Kind::Param:
        case Kind::PositionalParam:
            return std::unexpected(placeholder_error(std::get<core::Placeholder>(vectors.value), "to_vectors"));
    }
    return {};
}

}  // namespace

core::Result<qdrant::Value> value_to_proto(const core::Literal& value) {
    qdrant::Value out;
    ZORV_CHECK(value_into(value, out));
    return out;
}

core::Result<void> payload_to_proto(const core::LiteralDict& entries, ProtoPayload& out) {
    return dict_into(entries, out);
}

qdrant::PointId point_id_to_proto(const plan::PlanPointId& id) {
    qdrant::PointId out;
    if (const auto* num = std::get_if<std::uint64_t>(&id)) out.set_num(*num);
    else out.set_uuid(std::get<std::string>(id));
    return out;
}

core::Result<qdrant::Vector> plan_vector_to_proto(const core::VectorValue& vector) {
    qdrant::Vector out;
    ZORV_CHECK(vector_into(vector, out, "plan_vector_to_proto"));
    return out;
}

core::Result<qdrant::VectorInput> to_vector_input(const plan::PlanQueryInput& input) {
    qdrant::VectorInput out;
    if (input.kind() == plan::PlanQueryInput::Kind::Point) {
        *out.mutable_id() = point_id_to_proto(input.point());
        return out;
    }
    ZORV_CHECK(vector_into(input.vector(), out, "to_vector_input"));
    return out;
}

core::Result<void> options_to_proto(const core::LiteralDict& options,
                                    google::protobuf::Map<std::string, qdrant::Value>& out) {
    return dict_into(options, out);
}

core::Result<qdrant::Vectors> to_vectors(const plan::PlanPointVectors& vectors) {
    qdrant::Vectors out;
    ZORV_CHECK(vectors_into(vectors, out));
    return out;
}

core::Result<qdrant::PointStruct> point_to_proto(const plan::PlanPoint& point) {
    qdrant::PointStruct out;
    *out.mutable_id() = point_id_to_proto(point.id);
    if (point.vector) ZORV_CHECK(vectors_into(*point.vector, *out.mutable_vectors()));
    if (point.payload) ZORV_CHECK(dict_into(*point.payload, *out.mutable_payload()));
    return out;
}

core::Result<qdrant::PointVectors> point_vectors_to_proto(const plan::PlanPointVectorsUpdate& row) {
    qdrant::PointVectors out;
    *out.mutable_id() = point_id_to_proto(row.id);
    ZORV_CHECK(vectors_into(row.vector, *out.mutable_vectors()));
    return out;
}

}  // namespace zorv::runtime::rpc
