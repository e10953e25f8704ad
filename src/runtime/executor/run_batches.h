// Sending a run: consecutive operations that share one batch key go out as one query_batch or
// update_batch call, a run of one goes alone, and a failed call is spread over its members.
// Each call appends its results to `results`, which the caller owns and keeps alive.
#pragma once

#include <vector>

#include "core/error.h"
#include "plan/plan_op.h"
#include "protocol/response.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// A run of QUERY operations or of point mutations; the first operation decides which.
AsyncResult<void> execute_query_run(Executor& executor, std::vector<plan::PlanOp> run,
                                    std::vector<protocol::StatementResult>& results, bool continue_on_error);

AsyncResult<void> execute_update_run(Executor& executor, std::vector<plan::PlanOp> run,
                                     std::vector<protocol::StatementResult>& results, bool continue_on_error);

AsyncResult<void> run_single_operation(Executor& executor, plan::PlanOp op,
                                       std::vector<protocol::StatementResult>& results, bool continue_on_error);

// The members of a failed batch call: a conditional upsert carries the call's error (sending it
// twice could apply it twice), every other member is sent again alone and gets its own result.
AsyncResult<void> fanout_results(Executor& executor, std::vector<plan::PlanOp> members, core::ZorvError error,
                                 std::vector<protocol::StatementResult>& results);

}  // namespace zorv::runtime
