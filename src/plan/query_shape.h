// Statement-level checks of a QUERY that run before it is lowered, and the converters of its
// PARAMS block. They read the statement, so their messages speak in its terms.
#pragma once

#include <cstdint>
#include <optional>

#include "core/ast/query.h"
#include "core/error.h"
#include "plan/query_plan.h"

namespace zorv::plan {

// Literal vectors against the USING kind, average-vector shapes, fusion and rerank without
// stages, and RRF parameters where no RRF fusion happens; CTEs and inline sources included.
core::Result<void> check_query_shape(const core::Query& query);

// Absent when PARAMS sets none of the search fields (timeout, consistency and the RRF settings
// live elsewhere).
core::Result<std::optional<PlanSearchParams>> lower_search_params(const core::SearchParams& params);

struct BatchHeaderParams {
    std::optional<std::uint64_t> timeout;
    std::optional<core::Consistency> consistency;
    friend bool operator==(const BatchHeaderParams&, const BatchHeaderParams&) = default;
};

// A query BATCH header carries only timeout and consistency; any search field is refused.
core::Result<BatchHeaderParams> batch_header_params(const std::optional<core::SearchParams>& params);

}  // namespace zorv::plan
