#include "runtime/executor/runs.h"

#include <string_view>
#include <utility>

#include "core/diagnostics.h"
#include "core/params/scan.h"
#include "core/parser/parser.h"
#include "plan/batch.h"
#include "plan/planner.h"
#include "runtime/executor/deadline.h"
#include "runtime/executor/dispatch.h"
#include "runtime/executor/prepare.h"
#include "runtime/executor/run_batches.h"

namespace zorv::runtime {

namespace {

using protocol::StatementResult;

// Sends what the pending run holds and leaves it empty, without key.
AsyncResult<void> flush_run(Executor& executor, plan::PendingRun& run, std::vector<StatementResult>& results,
                            bool continue_on_error) {
    run.key.reset();
    std::vector<plan::PlanOp> operations = std::exchange(run.operations, {});
    co_return co_await execute_query_run(executor, std::move(operations), results, continue_on_error);
}

// A statement that failed before it had an operation: the pending run goes out first, then the
// failure becomes a result ("continue") or the error ("stop"). A failed flush wins.
AsyncResult<void> record_early_failure(Executor& executor, plan::PendingRun& run, std::string_view operation,
                                       core::ZorvError error, std::vector<StatementResult>& results,
                                       bool continue_on_error) {
    auto flushed = co_await flush_run(executor, run, results, continue_on_error);
    if (!flushed) co_return flushed;
    if (!continue_on_error) co_return std::unexpected(std::move(error));
    results.push_back(protocol::failed_statement_result(operation, error));
    co_return core::Result<void>{};
}

// Readies and plans one statement, then sends whatever its operation pushes out of the run.
AsyncResult<void> run_one(Executor& executor, plan::PendingRun& run, core::Statement statement,
                          std::vector<StatementResult>& results, bool continue_on_error) {
    if (auto bound = core::ensure_fully_bound(statement); !bound) {
        co_return co_await record_early_failure(executor, run, "BIND", std::move(bound).error(), results,
                                                continue_on_error);
    }
    if (auto taken = plan::take_run_on_key_change(run, statement)) {
        auto sent = co_await execute_query_run(executor, std::move(*taken), results, continue_on_error);
        if (!sent) co_return sent;
    }
    auto prepared = co_await prepare_statement(executor, std::move(statement));
    if (!prepared) {
        co_return co_await record_early_failure(executor, run, "PREPARE", std::move(prepared).error(), results,
                                                continue_on_error);
    }
    auto op = plan::plan_statement(*prepared);
    if (!op) {
        co_return co_await record_early_failure(executor, run, "PLAN", std::move(op).error(), results,
                                                continue_on_error);
    }
    plan::RunPush push = plan::push_run_op(run, std::move(*op));
    if (push.flushed) {
        auto sent = co_await execute_query_run(executor, std::move(*push.flushed), results, continue_on_error);
        if (!sent) co_return sent;
    }
    if (!push.single) co_return core::Result<void>{};
    if (push.single->kind() == plan::PlanOpKind::Batch)
        co_return co_await execute_batch_op(executor, std::move(*push.single), results, continue_on_error);
    co_return co_await run_single_operation(executor, std::move(*push.single), results, continue_on_error);
}

// Statements of consecutive parseable texts, run together so that they may share batches.
AsyncResult<void> run_pending(Executor& executor, std::vector<core::Statement>& pending,
                              std::vector<StatementResult>& results, bool continue_on_error) {
    if (pending.empty()) co_return core::Result<void>{};
    auto run = co_await run_with_timeout(executor, std::exchange(pending, {}), continue_on_error);
    if (!run) co_return std::unexpected(std::move(run).error());
    for (StatementResult& result : *run) results.push_back(std::move(result));
    co_return core::Result<void>{};
}

}  // namespace

AsyncResult<std::vector<StatementResult>> run_statements(Executor& executor, std::vector<core::Statement> statements,
                                                         bool continue_on_error) {
    std::vector<StatementResult> results;
    results.reserve(statements.size());
    plan::PendingRun run;
    for (core::Statement& statement : statements) {
        auto done = co_await run_one(executor, run, std::move(statement), results, continue_on_error);
        if (!done) co_return std::unexpected(std::move(done).error());
    }
    auto flushed = co_await flush_run(executor, run, results, continue_on_error);
    if (!flushed) co_return std::unexpected(std::move(flushed).error());
    co_return results;
}

AsyncResult<std::vector<StatementResult>> run_with_timeout(Executor& executor, std::vector<core::Statement> statements,
                                                           bool continue_on_error) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    co_return co_await with_deadline(executor, run_statements(executor, std::move(statements), continue_on_error));
}

AsyncResult<protocol::ExecutionReport> execute_script(Executor& executor, std::string script, bool continue_on_error) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    auto statements = core::parse_script(script);
    if (!statements) {
        if (!continue_on_error) co_return std::unexpected(std::move(statements).error());
        std::vector<StatementResult> failed;
        failed.push_back(protocol::failed_statement_result("PARSE", statements.error()));
        co_return protocol::summarize_results(std::move(failed));
    }
    if (statements->empty()) {
        co_return core::fail(core::Diag::ValidationEmptyScript,
                             "no statements to execute; the query string is empty or contains only comments");
    }
    auto results = co_await run_with_timeout(executor, std::move(*statements), continue_on_error);
    if (!results) co_return std::unexpected(std::move(results).error());
    co_return protocol::summarize_results(std::move(*results));
}

AsyncResult<protocol::ExecutionReport> execute_many(Executor& executor, std::vector<std::string> texts,
                                                    bool continue_on_error) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    std::vector<StatementResult> results;
    results.reserve(texts.size());
    std::vector<core::Statement> pending;
    for (const std::string& text : texts) {
        auto statements = core::parse_script(text);
        if (statements) {
            for (core::Statement& statement : *statements) pending.push_back(std::move(statement));
            continue;
        }
        // A text that does not parse closes the list before it: those statements go out first.
        auto ran = co_await run_pending(executor, pending, results, continue_on_error);
        if (!ran) co_return std::unexpected(std::move(ran).error());
        if (!continue_on_error) co_return std::unexpected(std::move(statements).error());
        results.push_back(protocol::failed_statement_result("PARSE", statements.error()));
    }
    auto ran = co_await run_pending(executor, pending, results, continue_on_error);
    if (!ran) co_return std::unexpected(std::move(ran).error());
    if (results.empty()) {
        co_return core::fail(core::Diag::ValidationEmptyScript,
                             "no statements to execute; the query list is empty or every entry is empty");
    }
    co_return protocol::summarize_results(std::move(results));
}

}  // namespace zorv::runtime
