// The Client class: one executor over one transport, shared by every request the client starts.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "python/py_ref.h"
#include "runtime/executor.h"

namespace zorv::python {

struct ClientObject {
    PyObject_HEAD std::shared_ptr<runtime::Executor> executor;
    std::optional<std::string> route_affinity;
};

// The one Client class of the process, created on first use (borrowed, lives for the process), or
// nullptr with the Python error of a failed creation.
PyObject* client_type_object();

// The executor of a client built from the constructor's arguments, or null with the Python error
// set. Runs with the GIL held and starts nothing.
std::shared_ptr<runtime::Executor> build_client(std::string_view url, std::optional<std::string> api_key, bool use_grpc,
                                                PyObject* embedder, const std::optional<std::string>& route_affinity);

// The bodies of the running methods; each returns a new reference or null with the error set.
PyObject* execute_query(const std::shared_ptr<runtime::Executor>& executor, PyObject* query, PyObject* params,
                        PyObject* on_error);
PyObject* execute_query_async(const std::shared_ptr<runtime::Executor>& executor, PyObject* query, PyObject* params,
                              PyObject* on_error);
PyObject* explain_analyze_query(const std::shared_ptr<runtime::Executor>& executor, PyObject* query, PyObject* params,
                                PyObject* on_error);
PyObject* upsert_rows(const std::shared_ptr<runtime::Executor>& executor, std::string_view collection, PyObject* rows,
                      std::uint64_t batch_size, PyObject* on_error);
// Returns None.
PyObject* close_client(const std::shared_ptr<runtime::Executor>& executor);

}  // namespace zorv::python
