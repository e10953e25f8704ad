#include "runtime/executor/run_batches.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "embed/message_format.h"
#include "plan/batch.h"
#include "plan/conditional_upsert.h"
#include "runtime/executor/dispatch.h"

namespace zorv::runtime {

namespace {

using protocol::StatementResult;

core::ZorvError cardinality_error(std::string_view family, std::size_t replies, std::size_t members) {
    return core::make_error(core::Diag::BatchCardinality,
                            embed::format_message("{} batch returned {} results for {} operations", family, replies,
                                                  members));
}

std::uint64_t upsert_points(const plan::UpdateOperation& operation) {
    const auto* upsert = std::get_if<0>(&operation.value);
    return upsert == nullptr ? 0 : upsert->points.size();
}

// Each member alone again, with the batch's collection, timeout and consistency: the single
// requests must carry what the batch carried.
std::vector<plan::PlanOp> query_members(const plan::QueryBatch& batch, std::vector<plan::PlanQueryRequest> searches) {
    std::vector<plan::PlanOp> members;
    members.reserve(searches.size());
    for (plan::PlanQueryRequest& search : searches) {
        members.push_back(plan::make_op<plan::PlanOpKind::Query>(
            plan::QueryOp{batch.collection, std::move(search), batch.timeout, batch.consistency}));
    }
    return members;
}

std::vector<plan::PlanOp> update_members(plan::UpdateBatch batch) {
    std::vector<plan::PlanOp> members;
    members.reserve(batch.operations.size());
    for (plan::UpdateOperation& operation : batch.operations)
        members.push_back(plan::update_operation_to_plan(std::move(operation), batch.collection, batch.wait));
    return members;
}

}  // namespace

AsyncResult<void> run_single_operation(Executor& executor, plan::PlanOp op, std::vector<StatementResult>& results,
                                       bool continue_on_error) {
    const plan::PlanOpKind kind = op.kind();
    auto result = co_await dispatch_operation(executor, std::move(op));
    if (result) {
        results.push_back(std::move(*result));
        co_return core::Result<void>{};
    }
    if (!continue_on_error) co_return std::unexpected(std::move(result).error());
    results.push_back(protocol::failed_statement_result(plan::plan_op_name(kind), result.error()));
    co_return core::Result<void>{};
}

AsyncResult<void> fanout_results(Executor& executor, std::vector<plan::PlanOp> members, core::ZorvError error,
                                 std::vector<StatementResult>& results) {
    for (plan::PlanOp& member : members) {
        if (plan::is_conditional_upsert(member)) {
            results.push_back(protocol::failed_statement_result(member, error));
            continue;
        }
        auto sent = co_await run_single_operation(executor, std::move(member), results, true);
        if (!sent) co_return std::unexpected(std::move(sent).error());
    }
    co_return core::Result<void>{};
}

AsyncResult<void> execute_query_run(Executor& executor, std::vector<plan::PlanOp> run,
                                    std::vector<StatementResult>& results, bool continue_on_error) {
    if (run.empty()) co_return core::Result<void>{};
    if (run.size() == 1)
        co_return co_await run_single_operation(executor, std::move(run.front()), results, continue_on_error);
    if (run.front().kind() != plan::PlanOpKind::Query)
        co_return co_await execute_update_run(executor, std::move(run), results, continue_on_error);

    auto built = plan::query_batch_from_ops(std::move(run));
    if (!built) co_return std::unexpected(std::move(built).error());
    plan::QueryBatch batch = std::move(*built);
    const std::size_t count = batch.searches.size();
    // The backend takes the searches; a fan-out under "continue" needs them again.
    std::optional<std::vector<plan::PlanQueryRequest>> kept;
    if (continue_on_error) kept = batch.searches;

    auto replies = co_await executor.backend->query_batch(batch.collection, std::move(batch.searches), batch.timeout,
                                                          batch.consistency);
    if (!replies) {
        if (!continue_on_error) co_return std::unexpected(std::move(replies).error());
        std::vector<plan::PlanOp> members = query_members(batch, std::move(*kept));
        co_return co_await fanout_results(executor, std::move(members), std::move(replies).error(), results);
    }
    if (replies->size() != count) {
        core::ZorvError error = cardinality_error("query", replies->size(), count);
        if (!continue_on_error) co_return std::unexpected(std::move(error));
        for (std::size_t i = 0; i < count; ++i) results.push_back(protocol::failed_statement_result("QUERY", error));
        co_return core::Result<void>{};
    }
    for (protocol::BackendReply& reply : *replies) results.push_back(protocol::query_batch_result(std::move(reply)));
    co_return core::Result<void>{};
}

AsyncResult<void> execute_update_run(Executor& executor, std::vector<plan::PlanOp> run,
                                     std::vector<StatementResult>& results, bool continue_on_error) {
    if (run.empty()) co_return core::Result<void>{};
    if (run.size() == 1)
        co_return co_await run_single_operation(executor, std::move(run.front()), results, continue_on_error);

    auto built = plan::update_batch_from_ops(std::move(run));
    if (!built) co_return std::unexpected(std::move(built).error());
    plan::UpdateBatch batch = std::move(*built);
    const std::size_t count = batch.operations.size();

    auto replies = co_await executor.backend->update_batch(batch.collection, batch.operations, batch.wait);
    if (!replies) {
        if (!continue_on_error) co_return std::unexpected(std::move(replies).error());
        std::vector<plan::PlanOp> members = update_members(std::move(batch));
        co_return co_await fanout_results(executor, std::move(members), std::move(replies).error(), results);
    }
    if (replies->size() != count) {
        core::ZorvError error = cardinality_error("update", replies->size(), count);
        if (!continue_on_error) co_return std::unexpected(std::move(error));
        for (const plan::UpdateOperation& operation : batch.operations)
            results.push_back(protocol::failed_statement_result(plan::plan_op_name(operation.kind()), error));
        co_return core::Result<void>{};
    }
    for (std::size_t i = 0; i < count; ++i) {
        const plan::UpdateOperation& operation = batch.operations[i];
        results.push_back(
            protocol::update_run_results(operation.kind(), upsert_points(operation), std::move((*replies)[i])));
    }
    co_return core::Result<void>{};
}

}  // namespace zorv::runtime
