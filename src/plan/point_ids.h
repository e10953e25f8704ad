// String point ids must be UUIDs before a plan leaves the planner: the parser accepts any string,
// and Qdrant would refuse the request later with a less helpful message.
#pragma once

#include <string_view>

#include "core/error.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// True for the four UUID text forms, hexadecimal digits in either case: 32 digits; 8-4-4-4-12
// with hyphens; that in braces; that behind the lower-case "urn:uuid:" prefix.
bool is_uuid_text(std::string_view text);

// ZORV-PLAN-POINT-ID for a string id that is not a UUID; integer ids always pass.
core::Result<void> check_point_id(const PlanPointId& id);

// Checks the has_id conditions of a filter, nested and grouped ones included, in clause order.
core::Result<void> validate_filter_point_ids(const PlanFilter& filter);

// Checks every point id of the operation, in the operation's order, and stops at the first bad one.
core::Result<void> validate_point_ids(const PlanOp& op);

}  // namespace zorv::plan
