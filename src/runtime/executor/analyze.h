// EXPLAIN ANALYZE: one statement run against the server with the client's time per phase.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/ast/statement.h"
#include "protocol/response.h"
#include "protocol/usage.h"
#include "runtime/executor.h"

namespace zorv::runtime {

struct AnalyzePhases {
    double parse_ms = 0;
    double prepare_plan_ms = 0;
    double dispatch_ms = 0;
    double decode_ms = 0;
    double total_ms = 0;
};

struct AnalyzeReport {
    bool ok = true;
    std::string plan;  // the explanation of the statement as given, before preparation
    AnalyzePhases phases;
    std::optional<double> server_time_s;
    std::optional<protocol::Usage> usage;
    std::vector<protocol::StatementResult> results;  // exactly one
};

// A statement text holding exactly one statement.
AsyncResult<AnalyzeReport> explain_analyze(Executor& executor, std::string text);

// A parsed statement.
AsyncResult<AnalyzeReport> explain_analyze_with_timeout(Executor& executor, core::Statement statement);

// The measured run behind both entry points, without a deadline. `parse_ms` is the time the caller
// spent parsing (0 when it did not parse). Any failure is returned as the error; nothing is undone.
AsyncResult<AnalyzeReport> analyze_statement(Executor& executor, core::Statement statement, double parse_ms);

}  // namespace zorv::runtime
