// Statement lists on the executor: the run loop that groups compatible neighbours into batch calls,
// and the entry points for script text, lists of texts and parsed statements.
#pragma once

#include <string>
#include <vector>

#include "core/ast/statement.h"
#include "protocol/response.h"
#include "runtime/executor.h"

namespace zorv::runtime {

AsyncResult<std::vector<protocol::StatementResult>> run_statements(Executor& executor,
                                                                   std::vector<core::Statement> statements,
                                                                   bool continue_on_error);

// The closed check, then run_statements under the executor's deadline.
AsyncResult<std::vector<protocol::StatementResult>> run_with_timeout(Executor& executor,
                                                                     std::vector<core::Statement> statements,
                                                                     bool continue_on_error);

AsyncResult<protocol::ExecutionReport> execute_script(Executor& executor, std::string script, bool continue_on_error);

AsyncResult<protocol::ExecutionReport> execute_many(Executor& executor, std::vector<std::string> texts,
                                                    bool continue_on_error);

}  // namespace zorv::runtime
