// Which operations change what a collection looks like to the client: its vectors, settings or
// payload indexes. A cached view of that collection is stale once one of them succeeds.
#pragma once

#include <optional>
#include <string_view>

#include "plan/plan_op.h"

namespace zorv::plan {

// The collection whose schema the operation changes: CREATE_COLLECTION, ALTER_COLLECTION,
// DROP_COLLECTION, CREATE_INDEX and DROP_INDEX name one; every other kind (shard keys included)
// changes none. The view points into `op`.
std::optional<std::string_view> schema_changed_collection(const PlanOp& op);

}  // namespace zorv::plan
