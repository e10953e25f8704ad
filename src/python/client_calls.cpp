// The running methods of Client: arguments are checked, converted and bound with the GIL held,
// a blocking run runs on the caller's thread with the GIL released (an execute_async run on the
// shared pool), and its outcome becomes a Python object on the caller's thread or through the
// asyncio future.
#include <boost/asio/io_context.hpp>
#include <boost/asio/thread_pool.hpp>
#include <string>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "net/async_pool.h"
#include "python/analyze_dict.h"
#include "python/async_future.h"
#include "python/blocking_wait.h"
#include "python/client.h"
#include "python/client_runs.h"
#include "python/errors.h"
#include "python/execution_report.h"
#include "python/values.h"

namespace zorv::python {
namespace {

boost::asio::thread_pool* pool_or_raise() {
    auto pool = net::shared_pool();
    if (pool) return *pool;
    PyErr_Format(PyExc_RuntimeError, "the shared async runtime cannot be started: %s", pool.error().c_str());
    return nullptr;
}

// The outcome as a new reference, or null with the exception set: a run's error by its kind, an
// escaped failure as RuntimeError "{prefix}{text}".
template <class T, class Convert>
PyObject* outcome_to_py(RunOutcome<T> outcome, const char* failure_prefix, Convert convert) {
    if (!outcome.result) {
        PyErr_Format(PyExc_RuntimeError, "%s%s", failure_prefix, outcome.failure.c_str());
        return nullptr;
    }
    if (!*outcome.result) {
        core::ZorvError error = std::move(*outcome.result).error();
        const char* cls = error_class_for_kind(error.kind);
        return raise_zorv_error(std::move(error), cls);
    }
    return convert(std::move(**outcome.result));
}

PyObject* report_to_py(protocol::ExecutionReport report) { return create_report_object(std::move(report)); }

constexpr const char* kBlockingFailure = "background task failed: ";

// Runs `start` on the calling thread with the GIL released; a signal interrupts the wait only, the
// run going on on the pool.
template <class T, class Convert>
PyObject* block_on(boost::asio::thread_pool& pool,
                   const std::function<void(boost::asio::io_context&, RunDone<T>)>& start, Convert convert) {
    std::optional<RunOutcome<T>> outcome = run_on_caller<T>(pool, start);
    if (!outcome) return nullptr;
    return outcome_to_py<T>(std::move(*outcome), kBlockingFailure, convert);
}

// Rows as a sequence other than str, converted one by one like bind parameters.
std::optional<std::vector<core::Literal>> rows_from_py(PyObject* rows) {
    auto refuse = [] {
        PyErr_Clear();
        raise_zorv_error(core::make_error(core::Diag::BindTypeMismatch,
                                          "upsert_many rows must be a list of point objects ({id, vector, "
                                          "\xE2\x80\xA6payload})"),
                         kValidationErrorClass);
        return std::nullopt;
    };
    if (PyUnicode_Check(rows) || !PySequence_Check(rows)) return refuse();
    PyRef iterator = PyRef::steal(PyObject_GetIter(rows));
    if (!iterator) return refuse();
    std::vector<core::Literal> values;
    const Py_ssize_t hint = PyObject_LengthHint(rows, 0);
    if (hint > 0) values.reserve(static_cast<std::size_t>(hint));
    PyErr_Clear();
    while (PyRef item = PyRef::steal(PyIter_Next(iterator.get()))) {
        std::optional<core::Literal> value = py_to_bind_value(item.get());
        if (!value) return std::nullopt;
        values.push_back(std::move(*value));
    }
    if (PyErr_Occurred()) return refuse();
    return values;
}

}  // namespace

PyObject* execute_query(const std::shared_ptr<runtime::Executor>& executor, PyObject* query, PyObject* params,
                        PyObject* on_error) {
    std::optional<bool> continue_on_error = continue_on_error_from_py(on_error);
    if (!continue_on_error) return nullptr;
    std::optional<DispatchInput> input = normalize_query_input(query, params);
    if (!input) return nullptr;
    boost::asio::thread_pool* pool = pool_or_raise();
    if (pool == nullptr) return nullptr;
    auto start = [&](boost::asio::io_context& context, RunDone<protocol::ExecutionReport> done) {
        spawn_dispatch(context, executor, std::move(*input), *continue_on_error, std::move(done));
    };
    return block_on<protocol::ExecutionReport>(*pool, start, report_to_py);
}

PyObject* execute_query_async(const std::shared_ptr<runtime::Executor>& executor, PyObject* query, PyObject* params,
                              PyObject* on_error) {
    std::optional<bool> continue_on_error = continue_on_error_from_py(on_error);
    if (!continue_on_error) return nullptr;
    std::optional<DispatchInput> input = normalize_query_input(query, params);
    if (!input) return nullptr;
    boost::asio::thread_pool* pool = pool_or_raise();
    if (pool == nullptr) return nullptr;
    std::shared_ptr<AsyncTarget> target = AsyncTarget::create();
    if (!target) return nullptr;
    PyObject* future = target->future();
    // The run holds its own executor reference: it goes on when the client is dropped or the
    // future cancelled, and its outcome is then dropped.
    spawn_dispatch(*pool, executor, std::move(*input), *continue_on_error,
                   [target](RunOutcome<protocol::ExecutionReport> outcome) {
                       target->complete([&outcome] {
                           return outcome_to_py<protocol::ExecutionReport>(std::move(outcome),
                                                                           "execute_async background task failed: ",
                                                                           report_to_py);
                       });
                   });
    return future;
}

PyObject* explain_analyze_query(const std::shared_ptr<runtime::Executor>& executor, PyObject* query, PyObject* params,
                                PyObject* on_error) {
    // Both values analyse alike: a failing statement is always raised.
    if (!continue_on_error_from_py(on_error)) return nullptr;
    std::optional<DispatchInput> input = normalize_query_input(query, params);
    if (!input) return nullptr;
    if (std::holds_alternative<TextsInput>(*input) || std::holds_alternative<StatementsInput>(*input)) {
        return raise_zorv_error(core::make_error(core::Diag::ValidationAnalyzeBatch,
                                                 "explain_analyze accepts a single statement (string or Stmt), not a "
                                                 "batch; analyze each entry separately"),
                                kValidationErrorClass);
    }
    boost::asio::thread_pool* pool = pool_or_raise();
    if (pool == nullptr) return nullptr;
    auto start = [&](boost::asio::io_context& context, RunDone<runtime::AnalyzeReport> done) {
        spawn_explain_analyze(context, executor, std::move(*input), std::move(done));
    };
    return block_on<runtime::AnalyzeReport>(*pool, start, [](const runtime::AnalyzeReport& report) {
        return analyze_report_to_py(report);
    });
}

PyObject* upsert_rows(const std::shared_ptr<runtime::Executor>& executor, std::string_view collection, PyObject* rows,
                      std::uint64_t batch_size, PyObject* on_error) {
    std::optional<bool> continue_on_error = continue_on_error_from_py(on_error);
    if (!continue_on_error) return nullptr;
    std::optional<std::vector<core::Literal>> values = rows_from_py(rows);
    if (!values) return nullptr;
    boost::asio::thread_pool* pool = pool_or_raise();
    if (pool == nullptr) return nullptr;
    auto start = [&](boost::asio::io_context& context, RunDone<protocol::ExecutionReport> done) {
        spawn_upsert_many(context, executor, std::string(collection), std::move(*values), batch_size,
                          *continue_on_error, std::move(done));
    };
    return block_on<protocol::ExecutionReport>(*pool, start, report_to_py);
}

PyObject* close_client(const std::shared_ptr<runtime::Executor>& executor) {
    boost::asio::thread_pool* pool = pool_or_raise();
    if (pool == nullptr) return nullptr;
    auto start = [&](RunDone<void> done) { spawn_close(*pool, executor, std::move(done)); };
    // Close is idempotent and fast; the wait stays interruptible like every other.
    std::optional<RunOutcome<void>> outcome = run_blocking<void>(start);
    if (!outcome) return nullptr;
    if (!outcome->result) {
        PyErr_Format(PyExc_RuntimeError, "%s%s", kBlockingFailure, outcome->failure.c_str());
        return nullptr;
    }
    if (!*outcome->result) {
        core::ZorvError error = std::move(*outcome->result).error();
        const char* cls = error_class_for_kind(error.kind);
        return raise_zorv_error(std::move(error), cls);
    }
    return Py_NewRef(Py_None);
}

}  // namespace zorv::python
