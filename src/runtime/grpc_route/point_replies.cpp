#include "runtime/grpc_route/point_replies.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "core/diagnostics.h"

namespace zorv::runtime::rpc {

namespace {

using core::VectorValue;
using plan::JsonValue;

std::unexpected<core::ZorvError> envelope(std::string message) {
    return core::fail(core::Diag::BackendEnvelope, std::move(message));
}

core::Result<plan::PlanPointId> point_id_from_proto(bool has_id, qdrant::PointId& id) {
    if (!has_id) return envelope("point is missing its id");
    switch (id.point_id_options_case()) {
        case qdrant::PointId::kNum: return plan::PlanPointId(id.num());
        case qdrant::PointId::kUuid: return plan::PlanPointId(std::move(*id.mutable_uuid()));
        default: return envelope("point id carries neither num nor uuid");
    }
}

std::vector<float> floats(google::protobuf::RepeatedField<float>& values) {
    return std::vector<float>(values.begin(), values.end());
}

// The id first, then payload, then vectors: a point that fails keeps nothing.
template <class Point>
core::Result<protocol::ScoredPoint> point_from_proto(Point& point, double score, PayloadWanted payload) {
    protocol::ScoredPoint out;
    const bool has_id = point.has_id();  // before mutable_id(), which makes one
    out.id = ZORV_TRY(point_id_from_proto(has_id, *point.mutable_id()));
    out.score = score;
    if (payload == PayloadWanted::Yes) out.payload = payload_from_proto(*point.mutable_payload());
    out.vector = ZORV_TRY(vectors_output_from_proto(point.has_vectors() ? point.mutable_vectors() : nullptr));
    return out;
}

}  // namespace

core::Result<protocol::ScoredPoint> scored_point_from_proto(qdrant::ScoredPoint& point, PayloadWanted payload) {
    return point_from_proto(point, protocol::score_f64(point.score()), payload);
}

core::Result<protocol::ScoredPoint> retrieved_point_from_proto(qdrant::RetrievedPoint& point, PayloadWanted payload) {
    return point_from_proto(point, 0.0, payload);
}

core::Result<protocol::HitGroup> point_group_from_proto(qdrant::PointGroup& group, PayloadWanted payload) {
    if (!group.has_id()) return envelope("group is missing its id");
    protocol::HitGroup out;
    qdrant::GroupId& id = *group.mutable_id();
    switch (id.kind_case()) {
        case qdrant::GroupId::kUnsignedValue: out.id = id.unsigned_value(); break;
        case qdrant::GroupId::kIntegerValue: out.id = id.integer_value(); break;
        case qdrant::GroupId::kStringValue: out.id = std::move(*id.mutable_string_value()); break;
        default: return envelope("group id carries no value");
    }
    out.hits = ZORV_TRY(scored_points_from_proto(*group.mutable_hits(), payload));
    return out;
}

protocol::HitPayload payload_from_proto(google::protobuf::Map<std::string, qdrant::Value>& payload) {
    protocol::HitPayload out;
    out.reserve(payload.size());
    for (auto& [key, value] : payload) out.emplace_back(key, value_from_proto(value));
    std::ranges::sort(out, [](const auto& a, const auto& b) { return a.first < b.first; });
    return out;
}

// The reply decoder bounds the nesting, so the recursion is bounded too.
JsonValue value_from_proto(qdrant::Value& value) {  // NOLINT(misc-no-recursion)
    switch (value.kind_case()) {
        case qdrant::Value::kDoubleValue: {
            const double x = value.double_value();
            return std::isfinite(x) ? JsonValue(x) : JsonValue(nullptr);
        }
        case qdrant::Value::kIntegerValue: {
            const std::int64_t n = value.integer_value();
            return n >= 0 ? JsonValue(static_cast<std::uint64_t>(n)) : JsonValue(n);
        }
        case qdrant::Value::kStringValue: return JsonValue(std::move(*value.mutable_string_value()));
        case qdrant::Value::kBoolValue: return JsonValue(value.bool_value());
        case qdrant::Value::kStructValue: {
            auto& fields = *value.mutable_struct_value()->mutable_fields();
            std::vector<plan::JsonObject::value_type> entries;
            entries.reserve(fields.size());
            for (auto& [key, item] : fields) entries.emplace_back(key, value_from_proto(item));
            return JsonValue(plan::JsonObject::from_entries(entries));
        }
        case qdrant::Value::kListValue: {
            auto& items = *value.mutable_list_value()->mutable_values();
            plan::JsonArray out;
            out.reserve(static_cast<std::size_t>(items.size()));
            for (qdrant::Value& item : items) out.push_back(value_from_proto(item));
            return JsonValue(std::move(out));
        }
        default: return JsonValue(nullptr);
    }
}

core::Result<std::optional<protocol::HitVectors>> vectors_output_from_proto(qdrant::VectorsOutput* vectors) {
    if (vectors == nullptr) return std::optional<protocol::HitVectors>();
    switch (vectors->vectors_options_case()) {
        case qdrant::VectorsOutput::kVector: {
            VectorValue single = ZORV_TRY(vector_output_from_proto(*vectors->mutable_vector()));
            return std::optional<protocol::HitVectors>(protocol::HitVectors(std::move(single)));
        }
        case qdrant::VectorsOutput::kVectors: {
            protocol::NamedHitVectors named;
            for (auto& [name, vector] : *vectors->mutable_vectors()->mutable_vectors()) {
                VectorValue converted = ZORV_TRY(vector_output_from_proto(vector));
                named.insert_or_assign(name, std::move(converted));
            }
            return std::optional<protocol::HitVectors>(protocol::HitVectors(std::move(named)));
        }
        default: return envelope("vectors output carries no vector options");
    }
}

core::Result<VectorValue> vector_output_from_proto(qdrant::VectorOutput& vector) {
    switch (vector.vector_case()) {
        case qdrant::VectorOutput::kDense:
            return VectorValue{VectorValue::Dense{floats(*vector.mutable_dense()->mutable_data())}};
        case qdrant::VectorOutput::kSparse: {
            qdrant::SparseVector& sparse = *vector.mutable_sparse();
            std::vector<std::uint32_t> indices(sparse.indices().begin(), sparse.indices().end());
            return VectorValue{VectorValue::Sparse{std::move(indices), floats(*sparse.mutable_values())}};
        }
        case qdrant::VectorOutput::kMultiDense: {
            std::vector<std::vector<float>> rows;
            rows.reserve(static_cast<std::size_t>(vector.multi_dense().vectors_size()));
            for (qdrant::DenseVector& row : *vector.mutable_multi_dense()->mutable_vectors()) {
                rows.push_back(floats(*row.mutable_data()));
            }
            return VectorValue{VectorValue::MultiDense{std::move(rows)}};
        }
        default: return envelope("vector output carries no vector");
    }
}

core::Result<std::vector<protocol::ScoredPoint>> scored_points_from_proto(
    google::protobuf::RepeatedPtrField<qdrant::ScoredPoint>& points, PayloadWanted payload) {
    std::vector<protocol::ScoredPoint> out;
    out.reserve(static_cast<std::size_t>(points.size()));
    for (qdrant::ScoredPoint& point : points) out.push_back(ZORV_TRY(scored_point_from_proto(point, payload)));
    return out;
}

core::Result<std::vector<protocol::ScoredPoint>> retrieved_points_from_proto(
    google::protobuf::RepeatedPtrField<qdrant::RetrievedPoint>& points, PayloadWanted payload) {
    std::vector<protocol::ScoredPoint> out;
    out.reserve(static_cast<std::size_t>(points.size()));
    for (qdrant::RetrievedPoint& point : points) out.push_back(ZORV_TRY(retrieved_point_from_proto(point, payload)));
    return out;
}

}  // namespace zorv::runtime::rpc
