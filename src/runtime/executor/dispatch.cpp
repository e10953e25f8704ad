#include "runtime/executor/dispatch.h"

#include <utility>

#include "core/diagnostics.h"
#include "plan/planner.h"
#include "runtime/executor/deadline.h"
#include "runtime/executor/prepare.h"
#include "runtime/executor/schema_cache.h"

namespace zorv::runtime {

// Placeholder: every kind goes through the schema cache's door; BATCH and CROSS RERANK come later.
AsyncResult<protocol::StatementResult> dispatch_operation(Executor& executor, plan::PlanOp op) {
    auto reply = co_await schema_for_dispatch(executor, op);
    if (!reply) co_return std::unexpected(std::move(reply).error());
    co_return protocol::operation_result(op, std::move(*reply));
}

AsyncResult<void> execute_batch_op(Executor& executor, plan::PlanOp op, std::vector<protocol::StatementResult>& results,
                                   bool continue_on_error) {
    (void)executor;
    (void)op;
    (void)results;
    (void)continue_on_error;
    co_return core::fail(core::Diag::BatchInvariant, "execute_batch_op is not built yet");
}

AsyncResult<protocol::StatementResult> plan_and_dispatch(Executor& executor, core::Statement statement) {
    auto prepared = co_await prepare_statement(executor, std::move(statement));
    if (!prepared) co_return std::unexpected(std::move(prepared).error());
    auto op = plan::plan_statement(*prepared);
    if (!op) co_return std::unexpected(std::move(op).error());
    co_return co_await dispatch_operation(executor, std::move(*op));
}

AsyncResult<protocol::StatementResult> dispatch_with_timeout(Executor& executor, core::Statement statement) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    co_return co_await with_deadline(executor, plan_and_dispatch(executor, std::move(statement)));
}

}  // namespace zorv::runtime
