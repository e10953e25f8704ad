// UPSERT rows into plan points, and query inputs into plan inputs.
#pragma once

#include <vector>

#include "core/ast/mutation.h"
#include "core/ast/query.h"
#include "core/error.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// The first failing row ends the lowering; payloads and inference inputs (object, options) are
// scanned for NaN and infinity (ZORV-PLAN-NON-FINITE) since JSON cannot carry them.
core::Result<PlanUpsert> lower_upsert_points(const core::Upsert& upsert);
core::Result<PlanPoint> lower_upsert_point(const core::UpsertRow& row);

// Also used for the inputs of every vector query.
core::Result<PlanQueryInput> lower_vector_input(const core::QueryInput& input);
// The same written into `out`, which a request already holds: an input moved through every
// layer of a lowering costs more than the rest of its planning.
core::Result<void> lower_vector_input_into(const core::QueryInput& input, PlanQueryInput& out);
core::Result<std::vector<PlanQueryInput>> lower_vector_inputs(const std::vector<core::QueryInput>& inputs);

// ZORV-PLAN-NON-FINITE for the first NaN or infinity in an object input or an options map.
core::Result<void> check_finite_vector(const PlanVector& vector);
core::Result<void> check_finite_point_vectors(const PlanPointVectors& vectors);
core::Result<void> check_finite_payload(const PlanPayload& payload);

}  // namespace zorv::plan
