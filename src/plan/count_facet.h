// COUNT and FACET: a collection, a filter and a few copied options.
#pragma once

#include "core/ast/read.h"
#include "core/error.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// ZORV-PLAN-COLLECTION when the statement names no collection or an empty one.
core::Result<PlanOp> lower_count(const core::Count& count);
core::Result<PlanOp> lower_facet(const core::Facet& facet);

}  // namespace zorv::plan
