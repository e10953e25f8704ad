// Plan values, vectors and points as Qdrant's protobuf messages. Every conversion is pure: it
// returns the whole message or the first error in its order of work, and nothing is sent.
#pragma once

#include <string>

#include "core/ast/literal.h"
#include "core/error.h"
#include "plan/plan_op.h"
#include "qdrant/points.pb.h"

namespace zorv::runtime::rpc {

using ProtoPayload = google::protobuf::Map<std::string, qdrant::Value>;

// Null leaves the kind unset; F32Array widens each float exactly. A UInt above the int64 range
// fails with ZORV-GRPC-VALUE-INT: the proto has no unsigned integer, and a double would change it.
core::Result<qdrant::Value> value_to_proto(const core::Literal& value);

// Entries in order into `out`; a key given twice keeps its later value.
core::Result<void> payload_to_proto(const core::LiteralDict& entries, ProtoPayload& out);

qdrant::PointId point_id_to_proto(const plan::PlanPointId& id);

// The vector of a written point; a placeholder fails with ZORV-BIND-UNBOUND-PARAM or
// ZORV-BIND-MISSING-POSITIONAL naming plan_vector_to_proto.
core::Result<qdrant::Vector> plan_vector_to_proto(const core::VectorValue& vector);

// One input of a query: a point id, a literal vector or an inference input. Placeholders fail
// as in plan_vector_to_proto, naming to_vector_input.
core::Result<qdrant::VectorInput> to_vector_input(const plan::PlanQueryInput& input);

// The options of an inference input; a key given twice keeps its later value.
core::Result<void> options_to_proto(const core::LiteralDict& options,
                                    google::protobuf::Map<std::string, qdrant::Value>& out);

// One unnamed vector or named vectors (a name given twice keeps its later vector).
core::Result<qdrant::Vectors> to_vectors(const plan::PlanPointVectors& vectors);

// One UPSERT row: no vectors leaves `vectors` unset, no payload gives an empty map.
core::Result<qdrant::PointStruct> point_to_proto(const plan::PlanPoint& point);

// One UPDATE VECTOR row.
core::Result<qdrant::PointVectors> point_vectors_to_proto(const plan::PlanPointVectorsUpdate& row);

}  // namespace zorv::runtime::rpc
