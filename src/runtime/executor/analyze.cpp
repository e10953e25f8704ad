#include "runtime/executor/analyze.h"

#include "core/diagnostics.h"

namespace zorv::runtime {

// Placeholder until the measured run is built.
AsyncResult<AnalyzeReport> explain_analyze(Executor& executor, std::string text) {
    (void)executor;
    (void)text;
    co_return core::fail(core::Diag::ValidationMultiStmt, "explain_analyze is not built yet");
}

AsyncResult<AnalyzeReport> explain_analyze_with_timeout(Executor& executor, core::Statement statement) {
    (void)executor;
    (void)statement;
    co_return core::fail(core::Diag::ValidationMultiStmt, "explain_analyze is not built yet");
}

}  // namespace zorv::runtime
