#include "runtime/executor/analyze.h"

#include <chrono>
#include <utility>

#include "core/diagnostics.h"
#include "core/explain.h"
#include "core/params/scan.h"
#include "core/parser/parser.h"
#include "plan/planner.h"
#include "runtime/executor/deadline.h"
#include "runtime/executor/dispatch.h"
#include "runtime/executor/prepare.h"
#include "runtime/executor/schema_cache.h"

namespace zorv::runtime {

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds since `start`; 0 should the clock report the end before the start.
double elapsed_ms(Clock::time_point start) {
    const Clock::time_point end = Clock::now();
    if (end < start) return 0;
    const auto elapsed = end - start;
    const auto whole = std::chrono::duration_cast<std::chrono::seconds>(elapsed);
    const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed - whole);
    return (static_cast<double>(whole.count()) + static_cast<double>(nanos.count()) / 1e9) * 1000.0;
}

struct Dispatched {
    protocol::StatementResult result;
    double dispatch_ms = 0;
    double decode_ms = 0;
};

// The reranking stage runs on the client and has no reply to decode; every other kind, BATCH
// included, is one backend call (both transports refuse BATCH there).
AsyncResult<Dispatched> timed_dispatch(Executor& executor, plan::PlanOp op) {
    const Clock::time_point dispatch_start = Clock::now();
    if (op.kind() == plan::PlanOpKind::CrossRerank) {
        auto result = co_await dispatch_operation(executor, std::move(op));
        if (!result) co_return std::unexpected(std::move(result).error());
        co_return Dispatched{std::move(*result), elapsed_ms(dispatch_start), 0};
    }
    auto reply = co_await schema_for_dispatch(executor, op);
    if (!reply) co_return std::unexpected(std::move(reply).error());
    const double dispatch_ms = elapsed_ms(dispatch_start);
    const Clock::time_point decode_start = Clock::now();
    auto result = protocol::operation_result(op, std::move(*reply));
    if (!result) co_return std::unexpected(std::move(result).error());
    co_return Dispatched{std::move(*result), dispatch_ms, elapsed_ms(decode_start)};
}

}  // namespace

AsyncResult<AnalyzeReport> analyze_statement(Executor& executor, core::Statement statement, double parse_ms) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    const Clock::time_point total_start = Clock::now();
    AnalyzeReport report;
    report.plan = core::explain_statement(statement);
    report.phases.parse_ms = parse_ms;

    // An unbound statement must not reach preparation, which may already create a collection.
    if (auto bound = core::ensure_fully_bound(statement); !bound) co_return std::unexpected(std::move(bound).error());

    const Clock::time_point prepare_start = Clock::now();
    auto prepared = co_await prepare_statement(executor, std::move(statement));
    if (!prepared) co_return std::unexpected(std::move(prepared).error());
    auto op = plan::plan_statement(*prepared);
    if (!op) co_return std::unexpected(std::move(op).error());
    report.phases.prepare_plan_ms = elapsed_ms(prepare_start);

    auto dispatched = co_await timed_dispatch(executor, std::move(*op));
    if (!dispatched) co_return std::unexpected(std::move(dispatched).error());
    report.phases.dispatch_ms = dispatched->dispatch_ms;
    report.phases.decode_ms = dispatched->decode_ms;
    report.phases.total_ms = elapsed_ms(total_start);

    if (const auto& telemetry = dispatched->result.telemetry) {
        report.server_time_s = telemetry->time_s;
        report.usage = telemetry->usage;
    }
    report.results.push_back(std::move(dispatched->result));
    co_return report;
}

AsyncResult<AnalyzeReport> explain_analyze(Executor& executor, std::string text) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    const Clock::time_point parse_start = Clock::now();
    auto statements = core::parse_script(text);
    if (!statements) co_return std::unexpected(std::move(statements).error());
    if (statements->empty()) {
        co_return core::fail(core::Diag::ValidationEmptyScript,
                             "no statements to analyze; the query string is empty or contains only comments");
    }
    if (statements->size() > 1) {
        co_return core::fail(core::Diag::ValidationMultiStmt,
                             "explain_analyze accepts a single statement; analyze each statement separately");
    }
    core::Statement statement = std::move(statements->front());
    const double parse_ms = elapsed_ms(parse_start);
    co_return co_await with_deadline(executor, analyze_statement(executor, std::move(statement), parse_ms));
}

AsyncResult<AnalyzeReport> explain_analyze_with_timeout(Executor& executor, core::Statement statement) {
    if (auto open = check_open(executor); !open) co_return std::unexpected(std::move(open).error());
    co_return co_await with_deadline(executor, analyze_statement(executor, std::move(statement), 0));
}

}  // namespace zorv::runtime
