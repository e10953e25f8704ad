// Names that a REST route puts into a path segment unchanged: "", "." and ".." would name another
// path, so planning refuses them for both transports alike.
#pragma once

#include <string_view>

#include "core/error.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// ZORV-PLAN-PATH-NAME for the first collection name (members of a BATCH and candidates of a
// CROSS_RERANK too) or DROP_INDEX field that is empty, "." or "..".
core::Result<void> validate_path_names(const PlanOp& op);

// The same check for one collection name that a caller puts into a path itself.
core::Result<void> validate_collection_path_name(std::string_view collection);

}  // namespace zorv::plan
