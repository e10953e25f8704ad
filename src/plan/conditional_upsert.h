// Conditional upserts: sending one twice is not the same as sending it once.
#pragma once

#include "plan/plan_op.h"

namespace zorv::plan {

// An UPSERT with an update filter, or with an insert_only or update_only mode. A failed batch
// never sends such a member again alone.
bool is_conditional_upsert(const PlanOp& op);

}  // namespace zorv::plan
