#include "python/analyze_dict.h"

#include <cmath>
#include <utility>

#include "python/result_forms.h"

namespace zorv::python {
namespace {

// Not finite: None, as JSON writes null.
PyRef number(double value) {
    if (!std::isfinite(value)) return PyRef::borrow(Py_None);
    return PyRef::steal(PyFloat_FromDouble(value));
}

bool put(PyObject* dict, const char* key, PyRef value) {
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

// The same entries with the keys in ascending order. Nested dicts are left as they are: the
// telemetry dicts already list theirs in that order, and payloads keep the order they were stored in.
PyRef sorted_dict(PyObject* dict) {
    PyRef keys = PyRef::steal(PyDict_Keys(dict));
    if (!keys || PyList_Sort(keys.get()) < 0) return {};
    PyRef sorted = PyRef::steal(PyDict_New());
    if (!sorted) return {};
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()); ++i) {
        PyObject* key = PyList_GET_ITEM(keys.get(), i);
        PyRef value = PyRef::borrow(PyDict_GetItemWithError(dict, key));
        if (!value) return {};
        if (PyDict_SetItem(sorted.get(), key, value.get()) < 0) return {};
    }
    return sorted;
}

PyRef phases_dict(const runtime::AnalyzePhases& phases) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return {};
    PyObject* d = dict.get();
    if (!put(d, "decode_ms", number(phases.decode_ms)) || !put(d, "dispatch_ms", number(phases.dispatch_ms)) ||
        !put(d, "parse_ms", number(phases.parse_ms)) || !put(d, "prepare_plan_ms", number(phases.prepare_plan_ms)) ||
        !put(d, "total_ms", number(phases.total_ms))) {
        return {};
    }
    return dict;
}

PyRef results_list(const std::vector<protocol::StatementResult>& results) {
    PyRef list = PyRef::steal(PyList_New(0));
    if (!list) return {};
    for (const auto& result : results) {
        PyRef dict = report_result_to_dict(result);
        if (!dict) return {};
        PyRef sorted = sorted_dict(dict.get());
        if (!sorted || PyList_Append(list.get(), sorted.get()) < 0) return {};
    }
    return list;
}

// The usage object as the telemetry dict writes it.
PyRef usage_dict(const protocol::Usage& usage) {
    protocol::Telemetry telemetry;
    telemetry.usage = usage;
    PyRef dict = telemetry_to_dict(telemetry);
    if (!dict) return {};
    PyRef entry = PyRef::borrow(PyDict_GetItemString(dict.get(), "usage"));
    if (!entry) return PyRef::steal(PyDict_New());
    return entry;
}

}  // namespace

PyObject* analyze_report_to_py(const runtime::AnalyzeReport& report) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    PyObject* d = dict.get();
    if (!put(d, "ok", PyRef::steal(PyBool_FromLong(report.ok ? 1 : 0))) ||
        !put(d, "phases", phases_dict(report.phases)) || !put(d, "plan", py_str(report.plan)) ||
        !put(d, "results", results_list(report.results))) {
        return nullptr;
    }
    if (report.server_time_s && !put(d, "server_time_s", number(*report.server_time_s))) return nullptr;
    if (report.usage && !put(d, "usage", usage_dict(*report.usage))) return nullptr;
    return dict.release();
}

}  // namespace zorv::python
