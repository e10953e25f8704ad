// One operation to the server: BATCH as one batch call, CROSS RERANK on the client over its
// candidate searches, every other kind through the schema cache's door.
#pragma once

#include <vector>

#include "core/ast/statement.h"
#include "plan/plan_op.h"
#include "protocol/response.h"
#include "runtime/executor.h"

namespace zorv::runtime {

AsyncResult<protocol::StatementResult> dispatch_operation(Executor& executor, plan::PlanOp op);

// Sends a BATCH operation as one query_batch or update_batch call and appends one result per
// member to `results`; under continue_on_error a failed call is spread over the members.
AsyncResult<void> execute_batch_op(Executor& executor, plan::PlanOp op, std::vector<protocol::StatementResult>& results,
                                   bool continue_on_error);

// prepare_statement, plan_statement, dispatch_operation.
AsyncResult<protocol::StatementResult> plan_and_dispatch(Executor& executor, core::Statement statement);

// The closed check, then plan_and_dispatch under the executor's deadline.
AsyncResult<protocol::StatementResult> dispatch_with_timeout(Executor& executor, core::Statement statement);

}  // namespace zorv::runtime
