#include "python/execution_report.h"

#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "python/args.h"
#include "python/collection_info.h"
#include "python/from_results.h"
#include "python/result_forms.h"
#include "python/scored_point.h"

namespace zorv::python {
namespace {

using protocol::ExecData;

constexpr const char* kClassDoc =
    "Execution report returned by `Client.execute()`.\n\n"
    "Wraps the typed report: `.hits()` reads the typed hits payload\n"
    "directly, while `.results` and `.telemetry` serialize on access.\n"
    "`report[\"ok\"]`, `report.count(0)`, and `report.hits()` keep working.";

ExecutionReportObject* as_report(PyObject* self) { return reinterpret_cast<ExecutionReportObject*>(self); }
const protocol::ExecutionReport& report_of(PyObject* self) { return as_report(self)->report; }

void report_dealloc(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    std::destroy_at(&as_report(self)->report);
    type->tp_free(self);
    Py_DECREF(type);
}

PyObject* get_ok(PyObject* self, void*) { return PyBool_FromLong(report_of(self).ok ? 1 : 0); }
PyObject* get_succeeded(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(report_of(self).succeeded); }
PyObject* get_failed(PyObject* self, void*) { return PyLong_FromUnsignedLongLong(report_of(self).failed); }
PyObject* get_telemetry(PyObject* self, void*) {
    const auto& telemetry = report_of(self).telemetry;
    return telemetry ? telemetry_to_dict(*telemetry).release() : Py_NewRef(Py_None);
}
// The cyclic collector would scan the young lists again and again while thousands of vectors
// are built; nothing here can form a cycle, so it waits until the list is done.
class GcPause {
public:
    GcPause() : was_enabled_(PyGC_Disable() != 0) {}
    GcPause(const GcPause&) = delete;
    GcPause& operator=(const GcPause&) = delete;
    ~GcPause() {
        if (was_enabled_) PyGC_Enable();
    }

private:
    bool was_enabled_;
};

PyObject* get_results(PyObject* self, void*) {
    const GcPause pause;
    return report_results_to_list(report_of(self).results).release();
}

// The value of one of the five mapping keys, or null without an error for any other key.
PyObject* report_lookup(PyObject* self, std::string_view key) {
    if (key == "ok") return get_ok(self, nullptr);
    if (key == "succeeded") return get_succeeded(self, nullptr);
    if (key == "failed") return get_failed(self, nullptr);
    if (key == "results") return get_results(self, nullptr);
    if (key == "telemetry") return get_telemetry(self, nullptr);
    return nullptr;
}

PyObject* report_subscript(PyObject* self, PyObject* key_obj) {
    auto key = str_arg("__getitem__", "key", key_obj);
    if (!key) return nullptr;
    PyObject* value = report_lookup(self, *key);
    if (value == nullptr && !PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, key_obj);
    return value;
}

int report_contains(PyObject*, PyObject* key_obj) {
    auto key = str_arg("__contains__", "key", key_obj);
    if (!key) return -1;
    return *key == "ok" || *key == "succeeded" || *key == "failed" || *key == "results" || *key == "telemetry";
}

PyObject* report_get(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 2> specs{{{"key", true, false}, {"default", false, false}}};
    std::array<PyObject*, 2> out{};
    if (!extract_args("get", specs, args, nargs, kwnames, out)) return nullptr;
    auto key = str_arg("get", "key", out[0]);
    if (!key) return nullptr;
    PyObject* value = report_lookup(self, *key);
    if (value != nullptr || PyErr_Occurred()) return value;
    return Py_NewRef(out[1] != nullptr ? out[1] : Py_None);
}

PyObject* report_repr(PyObject* self) {
    const protocol::ExecutionReport& report = report_of(self);
    std::string text = "ExecutionReport(ok=";
    text += report.ok ? "true" : "false";
    text += ", succeeded=" + std::to_string(report.succeeded);
    text += ", failed=" + std::to_string(report.failed);
    text += ", results=" + std::to_string(report.results.size()) + ")";
    return py_str(text).release();
}

// The statement `stmt` selects: negative counts from the end; null when out of range. False with
// the argument error set when `stmt` is no signed 64-bit integer.
bool select_statement(const char* method, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                      const protocol::ExecutionReport& report, const protocol::StatementResult*& selected) {
    static constexpr std::array<ArgSpec, 1> specs{{{"stmt", false, false}}};
    std::array<PyObject*, 1> out{};
    selected = nullptr;
    if (!extract_args(method, specs, args, nargs, kwnames, out)) return false;
    std::int64_t stmt = 0;
    if (out[0] != nullptr) {
        if (!PyLong_Check(out[0]) && PyFloat_Check(out[0])) {
            PyErr_Format(PyExc_TypeError, "%s() argument 'stmt' must be int, not float", method);
            return false;
        }
        PyRef index = PyRef::steal(PyNumber_Index(out[0]));
        if (!index) {
            PyErr_Clear();
            PyErr_Format(PyExc_TypeError, "%s() argument 'stmt' must be int, not %.200s", method,
                         Py_TYPE(out[0])->tp_name);
            return false;
        }
        int overflow = 0;
        stmt = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
        if (overflow != 0) {
            PyErr_Format(PyExc_OverflowError, "%s() argument 'stmt' does not fit a signed 64-bit integer", method);
            return false;
        }
    }
    const auto size = static_cast<std::int64_t>(report.results.size());
    const std::int64_t index = stmt < 0 ? stmt + size : stmt;
    if (index >= 0 && index < size) selected = &report.results[static_cast<std::size_t>(index)];
    return true;
}

template <class T>
const T* selected_data(const protocol::StatementResult* result) {
    if (result == nullptr || !result->data) return nullptr;
    return std::get_if<T>(&result->data->value);
}

PyRef points_list(const std::vector<protocol::ScoredPoint>& hits) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(hits.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < hits.size(); ++i) {
        PyObject* point = create_scored_point_object(hits[i]);
        if (point == nullptr) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), point);
    }
    return list;
}

PyObject* empty_list() { return PyList_New(0); }

// One accessor body per method, after the statement is selected.
using Accessor = PyObject* (*)(const protocol::StatementResult* result);

PyObject* hits_body(const protocol::StatementResult* result) {
    const auto* hits = selected_data<ExecData::Hits>(result);
    return hits ? points_list(hits->points).release() : empty_list();
}

PyObject* ids_body(const protocol::StatementResult* result) {
    const auto* hits = selected_data<ExecData::Hits>(result);
    if (hits == nullptr) return empty_list();
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(hits->points.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < hits->points.size(); ++i) {
        PyRef id = point_id_to_py(hits->points[i].id);
        if (!id) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), id.release());
    }
    return list.release();
}

PyObject* facet_body(const protocol::StatementResult* result) {
    const auto* facet = selected_data<ExecData::Facet>(result);
    if (facet == nullptr) return empty_list();
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(facet->hits.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < facet->hits.size(); ++i) {
        PyRef entry = PyRef::steal(PyDict_New());
        if (!entry) return nullptr;
        PyRef value = facet_value_to_py(facet->hits[i].value);
        PyRef count = PyRef::steal(PyLong_FromUnsignedLongLong(facet->hits[i].count));
        if (!value || !count || PyDict_SetItemString(entry.get(), "value", value.get()) < 0 ||
            PyDict_SetItemString(entry.get(), "count", count.get()) < 0) {
            return nullptr;
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), entry.release());
    }
    return list.release();
}

PyObject* count_body(const protocol::StatementResult* result) {
    if (const auto* count = selected_data<ExecData::Count>(result)) return PyLong_FromUnsignedLongLong(count->count);
    const auto* mutation = selected_data<ExecData::Mutation>(result);
    return PyLong_FromUnsignedLongLong(mutation != nullptr ? mutation->count.value_or(0) : 0);
}

PyObject* groups_body(const protocol::StatementResult* result) {
    const auto* groups = selected_data<ExecData::Groups>(result);
    if (groups == nullptr) return empty_list();
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(groups->groups.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < groups->groups.size(); ++i) {
        PyRef entry = PyRef::steal(PyDict_New());
        if (!entry) return nullptr;
        PyRef id = group_id_to_py(groups->groups[i].id);
        PyRef hits = points_list(groups->groups[i].hits);
        if (!id || !hits || PyDict_SetItemString(entry.get(), "id", id.get()) < 0 ||
            PyDict_SetItemString(entry.get(), "hits", hits.get()) < 0) {
            return nullptr;
        }
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), entry.release());
    }
    return list.release();
}

PyObject* collections_body(const protocol::StatementResult* result) {
    const auto* names = selected_data<ExecData::Collections>(result);
    if (names == nullptr) return empty_list();
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(names->names.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < names->names.size(); ++i) {
        PyRef name = py_str(names->names[i]);
        if (!name) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), name.release());
    }
    return list.release();
}

PyObject* collection_body(const protocol::StatementResult* result) {
    const auto* info = selected_data<ExecData::Collection>(result);
    return info ? collection_info_to_dict(info->schema).release() : Py_NewRef(Py_None);
}

PyObject* shard_keys_body(const protocol::StatementResult* result) {
    const auto* keys = selected_data<ExecData::ShardKeys>(result);
    if (keys == nullptr) return empty_list();
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(keys->keys.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < keys->keys.size(); ++i) {
        PyRef key = point_id_to_py(keys->keys[i]);
        if (!key) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), key.release());
    }
    return list.release();
}

PyObject* quotas_body(const protocol::StatementResult* result) {
    const auto* quotas = selected_data<ExecData::Quotas>(result);
    return quotas ? quota_config_to_dict(quotas->config).release() : Py_NewRef(Py_None);
}

template <Accessor body>
PyObject* accessor_entry(const char* method, PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                         PyObject* kwnames) {
    const protocol::StatementResult* selected = nullptr;
    if (!select_statement(method, args, nargs, kwnames, report_of(self), selected)) return nullptr;
    return body(selected);
}

#define ZORV_ACCESSOR(name) \
    PyObject* name##_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) { \
        return accessor_entry<name##_body>(#name, self, args, nargs, kwnames); \
    }
ZORV_ACCESSOR(hits)
ZORV_ACCESSOR(ids)
ZORV_ACCESSOR(facet)
ZORV_ACCESSOR(count)
ZORV_ACCESSOR(groups)
ZORV_ACCESSOR(collections)
ZORV_ACCESSOR(collection)
ZORV_ACCESSOR(shard_keys)
ZORV_ACCESSOR(quotas)
#undef ZORV_ACCESSOR

PyObject* points_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return accessor_entry<hits_body>("points", self, args, nargs, kwnames);
}

PyObject* from_results_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    static constexpr std::array<ArgSpec, 1> specs{{{"results", true, false}}};
    std::array<PyObject*, 1> out{};
    if (!extract_args("from_results", specs, args, nargs, kwnames, out)) return nullptr;
    std::optional<protocol::ExecutionReport> report = report_from_results(out[0]);
    if (!report) return nullptr;
    return create_report_object(std::move(*report));
}

template <class F>
PyCFunction fastcall(F* function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

PyMethodDef report_methods[] = {
    {"from_results", fastcall(from_results_entry), kFast | METH_CLASS, kFromResultsDoc},
    {"hits", fastcall(hits_entry), kFast,
     "hits($self, stmt=0)\n--\n\nTyped `ScoredPoint` hits for statement `stmt` (default first)."},
    {"points", fastcall(points_entry), kFast, "points($self, stmt=0)\n--\n\nAlias for `hits`."},
    {"ids", fastcall(ids_entry), kFast, "ids($self, stmt=0)\n--\n\nPoint ids (`int` or `str`) for statement `stmt`."},
    {"facet", fastcall(facet_entry), kFast,
     "facet($self, stmt=0)\n--\n\nFacet entries (`[{value, count}, \xE2\x80\xA6]`) for statement `stmt`."},
    {"count", fastcall(count_entry), kFast,
     "count($self, stmt=0)\n--\n\nCount integer for statement `stmt`; `0` when the statement carries no\ncount."},
    {"groups", fastcall(groups_entry), kFast,
     "groups($self, stmt=0)\n--\n\n`GROUP BY` groups for statement `stmt`: `[{id, hits: [ScoredPoint, "
     "\xE2\x80\xA6]}]`."},
    {"collections", fastcall(collections_entry), kFast,
     "collections($self, stmt=0)\n--\n\n`SHOW COLLECTIONS` names for statement `stmt`."},
    {"collection", fastcall(collection_entry), kFast,
     "collection($self, stmt=0)\n--\n\n`SHOW COLLECTION` metadata as a dict, or `None`."},
    {"shard_keys", fastcall(shard_keys_entry), kFast,
     "shard_keys($self, stmt=0)\n--\n\n`SHOW SHARD KEYS` keys (`str` or `int`) for statement `stmt`."},
    {"quotas", fastcall(quotas_entry), kFast,
     "quotas($self, stmt=0)\n--\n\n`SHOW QUOTAS` configuration as a dict, or `None`."},
    {"get", fastcall(report_get), kFast,
     "get($self, key, default=None)\n--\n\n`dict`-style `get` over the same keys as `report[key]`."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef report_getset[] = {
    {"ok", get_ok, nullptr, "Whether every statement succeeded (`failed == 0`).", nullptr},
    {"succeeded", get_succeeded, nullptr, "Number of successful statements.", nullptr},
    {"failed", get_failed, nullptr, "Number of failed statements.", nullptr},
    {"telemetry", get_telemetry, nullptr,
     "Aggregated server telemetry (`time_s` plus hardware and inference\n`usage`) as a dict, or `None` when the "
     "backend reported none.",
     nullptr},
    {"results", get_results, nullptr,
     "One serialized dict (`{ok, operation, message, data?, telemetry?}`)\nper statement, in execution order.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot report_slots[] = {
    {Py_tp_doc, const_cast<char*>(kClassDoc)},
    {Py_tp_dealloc, reinterpret_cast<void*>(report_dealloc)},
    {Py_tp_methods, report_methods},
    {Py_tp_getset, report_getset},
    {Py_mp_subscript, reinterpret_cast<void*>(report_subscript)},
    {Py_sq_contains, reinterpret_cast<void*>(report_contains)},
    {Py_tp_repr, reinterpret_cast<void*>(report_repr)},
    {0, nullptr},
};

// No constructor and no subclassing: reports come from execution calls and `from_results`.
PyType_Spec report_spec = {
    "pyzorv.ExecutionReport",
    static_cast<int>(sizeof(ExecutionReportObject)),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    report_slots,
};

PyObject* report_type_cell = nullptr;

}  // namespace

PyObject* execution_report_type_object() {
    if (report_type_cell != nullptr) return report_type_cell;
    PyObject* type = PyType_FromSpec(&report_spec);
    if (type == nullptr) return nullptr;
    if (report_type_cell != nullptr) {
        Py_DECREF(type);
        return report_type_cell;
    }
    reinterpret_cast<PyTypeObject*>(type)->tp_name = "ExecutionReport";
    report_type_cell = type;
    return report_type_cell;
}

PyObject* create_report_object(protocol::ExecutionReport report) {
    auto* type = reinterpret_cast<PyTypeObject*>(execution_report_type_object());
    if (type == nullptr) return nullptr;
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&as_report(self)->report) protocol::ExecutionReport(std::move(report));
    return self;
}

int register_result_classes(PyObject* module, AddModuleName add) {
    PyObject* point = scored_point_type_object();
    if (point == nullptr || add(module, "ScoredPoint", point) < 0) return -1;
    PyObject* report = execution_report_type_object();
    if (report == nullptr || add(module, "ExecutionReport", report) < 0) return -1;
    return 0;
}

}  // namespace zorv::python
