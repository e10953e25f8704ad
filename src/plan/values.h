// Statement values that may still be placeholders, converted into plan values that have no room
// for one. Every planning entry point refuses unbound statements first, so a placeholder here is
// a bug in the planner, never a user error: the process stops with the invariant's text.
#pragma once

#include <string_view>

#include "core/ast/literal.h"
#include "core/ast/placeholder.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// Stops the process: "invariant violation: unbound parameter :name reached {place}" (or
// "unbound positional parameter ?N").
[[noreturn]] void unbound_placeholder(const core::Placeholder& placeholder, std::string_view place);

PlanShardKey to_plan_shard_key(const core::ShardKey& key);
PlanPointId to_plan_point_id(const core::PointId& id);

}  // namespace zorv::plan
