#include "runtime/executor/runs.h"

#include <utility>

#include "core/diagnostics.h"
#include "core/params/scan.h"
#include "core/parser/parser.h"
#include "runtime/executor/deadline.h"
#include "runtime/executor/dispatch.h"

namespace zorv::runtime {

// Placeholder: one statement at a time, no runs; the batching loop comes later.
AsyncResult<std::vector<protocol::StatementResult>> run_statements(Executor& executor,
                                                                   std::vector<core::Statement> statements,
                                                                   bool continue_on_error) {
    std::vector<protocol::StatementResult> results;
    results.reserve(statements.size());
    for (core::Statement& statement : statements) {
        if (auto bound = core::ensure_fully_bound(statement); !bound) {
            if (!continue_on_error) co_return std::unexpected(std::move(bound).error());
            results.push_back(protocol::failed_statement_result("BIND", bound.error()));
            continue;
        }
        auto result = co_await plan_and_dispatch(executor, std::move(statement));
        if (!result) {
            if (!continue_on_error) co_return std::unexpected(std::move(result).error());
            results.push_back(protocol::failed_statement_result("PLAN", result.error()));
            continue;
        }
        results.push_back(std::move(*result));
    }
    co_return results;
}

AsyncResult<std::vector<protocol::StatementResult>> run_with_timeout(Executor& executor,
                                                                     std::vector<core::Statement> statements,
                                                                     bool continue_on_error) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    co_return co_await with_deadline(executor, run_statements(executor, std::move(statements), continue_on_error));
}

AsyncResult<protocol::ExecutionReport> execute_script(Executor& executor, std::string script, bool continue_on_error) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    auto statements = core::parse_script(script);
    if (!statements) co_return std::unexpected(std::move(statements).error());
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
    std::string script;
    for (const std::string& text : texts) (script += text) += ";\n";
    co_return co_await execute_script(executor, std::move(script), continue_on_error);
}

}  // namespace zorv::runtime
