// QUERY lowering: the FROM rule, the choice among QUERY, QUERY_GROUPS, GET_POINTS and
// CROSS_RERANK, and the assembly of the request from the statement's clauses.
#pragma once

#include <optional>

#include "core/ast/query.h"
#include "core/error.h"
#include "plan/plan_op.h"
#include "plan/prefetch.h"

namespace zorv::plan {

// One statement with its own CTEs and a fresh budget: the dispatcher's entry.
core::Result<PlanOp> plan_query(const core::Query& query);

// The same inside a larger plan (a BATCH member): the budget is shared by the whole statement.
core::Result<PlanOp> lower_query(const core::Query& query, CteScope scope, QueryBudget& budget, unsigned depth = 0);
core::Result<PlanOp> lower_search_query(const core::Query& query, CteScope scope, QueryBudget& budget,
                                        unsigned depth = 0);
core::Result<PlanOp> lower_groups_query(const core::Query& query, CteScope scope, QueryBudget& budget,
                                        unsigned depth = 0);

struct PlanSelectors {
    PlanPayloadSelector with_payload;
    std::optional<PlanVectorSelector> with_vector;
};

// An absent WITH PAYLOAD means all payload; an absent WITH VECTOR stays absent.
PlanSelectors lower_selectors(const core::OutputSelection& output);

}  // namespace zorv::plan
