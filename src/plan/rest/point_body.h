// Vectors, points, payloads and the bodies of the point mutations as Qdrant REST JSON, in both
// forms: the value tree (keys sorted, the last repeated key wins) and compact text (keys in the
// order Qdrant documents them, entries as written).
#pragma once

#include <string>

#include "plan/batch.h"
#include "plan/json_value.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// Dense elements widened to 64 bits (NaN and infinity written null); sparse values in their
// shortest 32-bit text in the text form; inference inputs always carry "model" ("" when none).
JsonValue vector_to_value(const PlanVector& vector);
void write_vector_input(std::string& out, const PlanVector& vector);

// One vector, or named vectors as an object ({} when there are none).
JsonValue point_vectors_to_value(const PlanPointVectors& vectors);
void write_vector_struct(std::string& out, const PlanPointVectors& vectors);

JsonValue payload_to_value(const PlanPayload& payload);
void write_payload_object(std::string& out, const PlanPayload& payload);

// The single-request bodies. A point without vectors is sent with "vector": {}, since Qdrant
// refuses a point object without the member.
JsonValue upsert_body_to_value(const PlanUpsert& upsert);
JsonValue points_selector_body_to_value(const PlanPointsSelector& selector);  // DELETE, CLEAR_PAYLOAD
JsonValue set_payload_body_to_value(const PlanSetPayload& set);               // UPDATE / OVERWRITE_PAYLOAD
JsonValue delete_payload_body_to_value(const PlanDeletePayload& remove);
JsonValue update_vectors_body_to_value(const PlanUpdateVectors& update);
JsonValue delete_vectors_body_to_value(const PlanDeleteVectors& remove);

// The body of one update operation, as sent alone or inside an update batch.
JsonValue update_operation_body_to_value(const UpdateOperation& operation);
void write_update_operation_body(std::string& out, const UpdateOperation& operation);

}  // namespace zorv::plan
