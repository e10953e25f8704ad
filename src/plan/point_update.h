// The point mutations as plan operations: payload and vector updates, and the dispatcher rows of
// all eight kinds with their wait flag.
#pragma once

#include "core/ast/mutation.h"
#include "core/ast/statement.h"
#include "core/error.h"
#include "plan/plan_op.h"

namespace zorv::plan {

core::Result<PlanSetPayload> lower_update_payload(const core::UpdatePayload& update);
core::Result<PlanDeletePayload> lower_delete_payload(const core::DeletePayload& remove);
PlanUpdateVectors lower_update_vector(const core::UpdateVector& update);
// ZORV-PLAN-DELETE-VECTOR for no names or a name given twice (names compare case-sensitively).
core::Result<PlanDeleteVectors> lower_delete_vector(const core::DeleteVector& remove);

// UPSERT, DELETE, CLEAR PAYLOAD, DELETE PAYLOAD, DELETE VECTOR, UPDATE VECTOR and UPDATE PAYLOAD
// (OVERWRITE_PAYLOAD when it overwrites) with the collection and the resolved wait.
core::Result<PlanOp> plan_point_write(const core::Statement& statement);

// True for UPSERT to DELETE_VECTOR.
bool is_point_mutation(PlanOpKind kind);

// The point ids of a point mutation in order (explicit ids before the filter); other kinds pass.
core::Result<void> validate_write_point_ids(const PlanOp& op);

}  // namespace zorv::plan
