#include "python/explain.h"

#include <string>

#include "core/explain.h"
#include "core/parser/parser.h"
#include "python/stmt.h"

namespace zorv::python {
namespace {

// Keys in the order given: {ok, query, third_key: third}.
PyObject* explain_dict(bool ok, PyObject* query, const char* third_key, const std::string& third) {
    PyRef dict = PyRef::steal(PyDict_New());
    PyRef value = py_str(third);
    if (!dict || !value) return nullptr;
    if (PyDict_SetItemString(dict.get(), "ok", ok ? Py_True : Py_False) < 0 ||
        PyDict_SetItemString(dict.get(), "query", query) < 0 ||
        PyDict_SetItemString(dict.get(), third_key, value.get()) < 0) {
        return nullptr;
    }
    return dict.release();
}

}  // namespace

PyObject* explain_ok_dict(PyObject* query, const core::Statement& statement) {
    return explain_dict(true, query, "plan", core::explain_statement(statement));
}

PyObject* explain_query(PyObject* query) {
    if (StmtObject* stmt = downcast_stmt(query)) {
        StmtBorrow borrow = StmtBorrow::shared(stmt);
        if (borrow.ok()) {
            PyRef marker = py_str("<Stmt>");
            if (!marker) return nullptr;
            return explain_ok_dict(marker.get(), stmt->statement);
        }
    } else if (PyUnicode_Check(query)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(query, &size);
        if (text == nullptr) return nullptr;
        auto statement = core::parse_statement(std::string_view(text, static_cast<std::size_t>(size)));
        if (!statement) return explain_dict(false, query, "error", core::format_error(statement.error()));
        return explain_ok_dict(query, *statement);
    }
    PyErr_SetString(PyExc_TypeError, "query must be a string or a Stmt object");
    return nullptr;
}

}  // namespace zorv::python
