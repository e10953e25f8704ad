// A FORMULA expression as the Expression message: numbers narrowed to f32, subtraction and CASE
// rewritten into sums, products and negations, conditions built by the filter conversion.
#pragma once

#include "core/error.h"
#include "plan/formula.h"
#include "qdrant/points.pb.h"

namespace zorv::runtime::rpc {

// Fails only with a condition's error.
core::Result<qdrant::Expression> expression_to_proto(const plan::PlanExpression& expression);

}  // namespace zorv::runtime::rpc
