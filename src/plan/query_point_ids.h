// The point ids of a search request: inputs of the query variant, formula conditions, prefetch
// stages, filters and IDF corpus filters.
#pragma once

#include "core/error.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// The query variant (formula conditions in expression order), every stage, the filter, then the
// IDF corpus filter.
core::Result<void> validate_request_point_ids(const PlanQueryRequest& request);

// The query variant, the filter, the IDF corpus, then the nested stages.
core::Result<void> validate_stage_point_ids(const PlanPrefetch& stage);

}  // namespace zorv::plan
