#include "runtime/executor/dispatch.h"

#include <algorithm>
#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "embed/message_format.h"
#include "plan/batch.h"
#include "plan/conditional_upsert.h"
#include "plan/planner.h"
#include "runtime/executor/cross_rerank.h"
#include "runtime/executor/deadline.h"
#include "runtime/executor/prepare.h"
#include "runtime/executor/schema_cache.h"

namespace zorv::runtime {
namespace {

using protocol::BackendReply;
using protocol::StatementResult;

AsyncResult<std::vector<BackendReply>> send_query_batch(Executor& executor, const plan::PlanBatch& batch,
                                                        plan::QueryBatch built) {
    co_return co_await executor.backend->query_batch(batch.collection, std::move(built.searches), batch.timeout,
                                                     batch.consistency);
}

AsyncResult<std::vector<BackendReply>> send_update_batch(Executor& executor, const plan::PlanBatch& batch,
                                                         plan::UpdateBatch built) {
    // The backend borrows the operations for the length of the call.
    const std::vector<plan::UpdateOperation> operations = std::move(built.operations);
    co_return co_await executor.backend->update_batch(batch.collection, operations, batch.wait.value_or(true));
}

core::Result<StatementResult> member_result(const plan::PlanOp& member, bool query, BackendReply reply) {
    if (query) return protocol::query_batch_result(std::move(reply));
    return protocol::operation_result(member, std::move(reply));
}

// A failed call under "continue": conditional upserts fail with the call's error, every other
// member is sent again alone.
AsyncResult<void> send_members_alone(Executor& executor, const plan::PlanBatch& batch, const core::ZorvError& error,
                                     std::vector<StatementResult>& results) {
    for (const plan::PlanOp& member : batch.members) {
        if (plan::is_conditional_upsert(member)) {
            results.push_back(protocol::failed_statement_result(member, error));
            continue;
        }
        auto reply = co_await schema_for_dispatch(executor, member);
        if (!reply) {
            results.push_back(protocol::failed_statement_result(member, reply.error()));
            continue;
        }
        auto result = protocol::operation_result(member, std::move(*reply));
        if (!result) co_return std::unexpected(std::move(result).error());
        results.push_back(std::move(*result));
    }
    co_return core::Result<void>{};
}

core::ZorvError cardinality_error(bool query, std::size_t replies, std::size_t members) {
    return core::fail(core::Diag::BatchCardinality,
                      embed::format_message("{} batch returned {} results for {} operations",
                                            query ? "query" : "update", replies, members))
        .error();
}

}  // namespace

AsyncResult<protocol::StatementResult> dispatch_operation(Executor& executor, plan::PlanOp op) {
    if (op.kind() == plan::PlanOpKind::Batch) {
        std::vector<StatementResult> members;
        auto sent = co_await execute_batch_op(executor, std::move(op), members, false);
        if (!sent) co_return std::unexpected(std::move(sent).error());
        const auto ok = static_cast<std::size_t>(
            std::count_if(members.begin(), members.end(), [](const StatementResult& r) { return r.ok; }));
        std::string message = embed::format_message("Batch: {}/{} operations ok", ok, members.size());
        co_return StatementResult{.ok = ok == members.size(),
                                  .operation = "BATCH",
                                  .message = std::move(message),
                                  .data = std::nullopt,
                                  .telemetry = std::nullopt};
    }
    if (op.kind() == plan::PlanOpKind::CrossRerank) {
        co_return co_await cross_rerank(executor, std::move(op.get<plan::PlanOpKind::CrossRerank>()));
    }
    auto reply = co_await schema_for_dispatch(executor, op);
    if (!reply) co_return std::unexpected(std::move(reply).error());
    co_return protocol::operation_result(op, std::move(*reply));
}

AsyncResult<void> execute_batch_op(Executor& executor, plan::PlanOp op, std::vector<protocol::StatementResult>& results,
                                   bool continue_on_error) {
    if (op.kind() != plan::PlanOpKind::Batch) {
        co_return core::fail(core::Diag::BatchInvariant, "execute_batch_op requires a Batch operation");
    }
    const plan::PlanBatch& batch = op.get<plan::PlanOpKind::Batch>();
    const bool query = batch.key.is_query();
    core::Result<std::vector<BackendReply>> replies;
    if (query) {
        auto built = plan::query_batch_from_members(batch.members);
        if (!built) co_return std::unexpected(std::move(built).error());
        replies = co_await send_query_batch(executor, batch, std::move(*built));
    } else {
        auto built = plan::update_batch_from_members(batch.members);
        if (!built) co_return std::unexpected(std::move(built).error());
        replies = co_await send_update_batch(executor, batch, std::move(*built));
    }
    if (!replies) {
        if (!continue_on_error) co_return std::unexpected(std::move(replies).error());
        co_return co_await send_members_alone(executor, batch, replies.error(), results);
    }
    if (replies->size() != batch.members.size()) {
        core::ZorvError error = cardinality_error(query, replies->size(), batch.members.size());
        if (!continue_on_error) co_return std::unexpected(std::move(error));
        for (const plan::PlanOp& member : batch.members) {
            results.push_back(protocol::failed_statement_result(member, error));
        }
        co_return core::Result<void>{};
    }
    for (std::size_t i = 0; i < batch.members.size(); ++i) {
        auto result = member_result(batch.members[i], query, std::move((*replies)[i]));
        if (!result) co_return std::unexpected(std::move(result).error());
        results.push_back(std::move(*result));
    }
    co_return core::Result<void>{};
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
