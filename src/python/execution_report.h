// The ExecutionReport class: the report of one execution call, with typed per-statement accessors.
#pragma once

#include "protocol/response.h"
#include "python/py_ref.h"

namespace zorv::python {

struct ExecutionReportObject {
    PyObject_HEAD protocol::ExecutionReport report;
};

// The one ExecutionReport class of the process (borrowed, lives for the process), or null with
// the error of a failed creation.
PyObject* execution_report_type_object();

// A new ExecutionReport owning `report`, or null with the allocation error set.
PyObject* create_report_object(protocol::ExecutionReport report);

// Adds ScoredPoint and ExecutionReport, in this order, through `add` (which also lists each
// name in the module's __all__). -1 with the Python error set on failure.
using AddModuleName = int (*)(PyObject* module, const char* name, PyObject* value);
int register_result_classes(PyObject* module, AddModuleName add);

}  // namespace zorv::python
