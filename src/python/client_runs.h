// The runs of a Client on the shared pool. Each run owns its inputs and a reference to the
// executor, so it finishes on its own whatever becomes of the caller; `done` is called once, on a
// pool thread, and must not touch Python without taking the GIL.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ast/literal.h"
#include "core/error.h"
#include "protocol/response.h"
#include "python/dispatch_input.h"
#include "runtime/executor.h"
#include "runtime/executor/analyze.h"

namespace boost::asio {
class thread_pool;
class io_context;
}  // namespace boost::asio

namespace zorv::python {

// The run's result, or the text of an exception that escaped it (none should).
template <class T>
struct RunOutcome {
    std::optional<core::Result<T>> result;
    std::string failure;
};

template <class T>
using RunDone = std::function<void(RunOutcome<T>)>;

using ExecutorRef = std::shared_ptr<runtime::Executor>;

// Script text to execute_script, texts to execute_many, statements to run_with_timeout and then
// summarize_results.
void spawn_dispatch(boost::asio::thread_pool& pool, ExecutorRef executor, DispatchInput input, bool continue_on_error,
                    RunDone<protocol::ExecutionReport> done);

void spawn_close(boost::asio::thread_pool& pool, ExecutorRef executor, RunDone<void> done);

// The same runs on a context that a blocking caller runs on its own thread: no hop to the pool and
// back for the run's own work; the transfers still go through the process's transfer thread.
void spawn_dispatch(boost::asio::io_context& context, ExecutorRef executor, DispatchInput input, bool continue_on_error,
                    RunDone<protocol::ExecutionReport> done);
// A Script or Statement input; the caller refuses lists before.
void spawn_explain_analyze(boost::asio::io_context& context, ExecutorRef executor, DispatchInput input,
                           RunDone<runtime::AnalyzeReport> done);
void spawn_upsert_many(boost::asio::io_context& context, ExecutorRef executor, std::string collection,
                       std::vector<core::Literal> rows, std::uint64_t batch_size, bool continue_on_error,
                       RunDone<protocol::ExecutionReport> done);

}  // namespace zorv::python
