// Plan filters as Qdrant's protobuf Filter and Condition. The messages are narrower than the
// plan (doubles-only ranges, int64 and string matches, homogeneous lists): what they cannot hold
// is refused with a ZORV-GRPC-* error of kind Validation, never cut down.
#pragma once

#include <vector>

#include "core/error.h"
#include "plan/filter.h"
#include "qdrant/common.pb.h"

namespace zorv::runtime::rpc {

using ProtoConditions = google::protobuf::RepeatedPtrField<qdrant::Condition>;

// A single condition becomes {must: [condition]}.
core::Result<qdrant::Filter> filter_to_proto(const plan::PlanFilter& filter);

// must, must_not, should, then min_should; the first error ends it.
core::Result<qdrant::Filter> filter_clauses_to_proto(const plan::PlanClauses& clauses);

// Appends the conditions to `out` in order; stops at the first error.
core::Result<void> conditions_to_proto(const std::vector<plan::PlanCondition>& conditions, ProtoConditions& out);

core::Result<qdrant::Condition> condition_to_proto(const plan::PlanCondition& condition);

}  // namespace zorv::runtime::rpc
