// The planning entry points: one bound statement becomes one PlanOp, or the first error.
// Planning is pure: no state between calls, no network, nothing partial on failure.
#pragma once

#include <string_view>
#include <vector>

#include "core/ast/statement.h"
#include "core/error.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// Refuses any placeholder (the scan's error, unchanged), lowers, then checks point ids and the
// names that become REST path segments.
core::Result<PlanOp> plan_statement(const core::Statement& statement);

// The same for a template bound from a row source just before: only value placeholders are
// refused up front.
core::Result<PlanOp> plan_prepared_statement(const core::Statement& statement);

// Parses the script and plans each statement in order; the parse error or the first planning
// error wins. On success, the parsed statements.
core::Result<std::vector<core::Statement>> plan_script(std::string_view text);

// The dispatcher, one lowering per statement kind. It neither checks placeholders nor validates
// point ids: callers go through the entry points above.
core::Result<PlanOp> lower_statement(const core::Statement& statement);

}  // namespace zorv::plan
