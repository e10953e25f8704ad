// Plan operations for the backend's own index and collection-update calls, so that they are
// compiled and sent through the same route table as statements.
#pragma once

#include <string_view>

#include "plan/collection_config.h"
#include "plan/index.h"
#include "plan/plan_op.h"

namespace zorv::plan {

PlanOp drop_index_plan(std::string_view collection, std::string_view field_name);
// Always waits: the caller expects the index to exist when the call returns.
PlanOp create_index_plan(std::string_view collection, const PlanFieldIndex& index);
// A quantization removal stays a removal ("Disabled").
PlanOp alter_collection_plan(std::string_view collection, const PlanCollectionUpdate& update);

}  // namespace zorv::plan
