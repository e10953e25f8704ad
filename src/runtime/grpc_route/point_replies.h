// Points, groups, payloads and vectors of Points service replies as the hit records the REST
// backend also fills. Failures are ZORV-BACKEND-ENVELOPE.
#pragma once

#include <optional>
#include <vector>

#include "core/error.h"
#include "plan/json_value.h"
#include "protocol/response.h"
#include "qdrant/points.pb.h"

namespace zorv::runtime::rpc {

// Whether the request asked for payloads: the gRPC map cannot tell an empty payload from none,
// and REST reports the two apart.
enum class PayloadWanted : bool { No, Yes };

core::Result<protocol::ScoredPoint> scored_point_from_proto(qdrant::ScoredPoint& point, PayloadWanted payload);
// Score 0.
core::Result<protocol::ScoredPoint> retrieved_point_from_proto(qdrant::RetrievedPoint& point, PayloadWanted payload);
core::Result<protocol::HitGroup> point_group_from_proto(qdrant::PointGroup& group, PayloadWanted payload);
// Keys in ascending byte order: the map has no order of its own.
protocol::HitPayload payload_from_proto(google::protobuf::Map<std::string, qdrant::Value>& payload);
// NaN and infinities become null; integers are unsigned when not negative, as REST replies read.
plan::JsonValue value_from_proto(qdrant::Value& value);
core::Result<std::optional<protocol::HitVectors>> vectors_output_from_proto(qdrant::VectorsOutput* vectors);
core::Result<core::VectorValue> vector_output_from_proto(qdrant::VectorOutput& vector);

// Every point of a list, in order; the first failure fails the list.
core::Result<std::vector<protocol::ScoredPoint>> scored_points_from_proto(
    google::protobuf::RepeatedPtrField<qdrant::ScoredPoint>& points, PayloadWanted payload);
core::Result<std::vector<protocol::ScoredPoint>> retrieved_points_from_proto(
    google::protobuf::RepeatedPtrField<qdrant::RetrievedPoint>& points, PayloadWanted payload);

}  // namespace zorv::runtime::rpc
