#include "python/inject.h"

#include <utility>

#include "core/parser/parser.h"
#include "core/rewrite/inject_filter.h"
#include "plan/literal_json.h"
#include "python/errors.h"
#include "python/stmt.h"
#include "python/values.h"

namespace zorv::python {

std::optional<InjectCondition> inject_condition_from_py(std::string_view field, std::string_view op, PyObject* value) {
    std::optional<plan::JsonValue> json = py_to_filter_value(value);
    if (!json) return std::nullopt;
    auto compare = core::parse_inject_operator(op);
    if (!compare) {
        raise_zorv_error(std::move(compare).error(), kSyntaxErrorClass);
        return std::nullopt;
    }
    return InjectCondition{std::string(field), *compare, plan::literal_from_json(*json)};
}

// The rewrite works on a copy so that a refused one leaves the statement as it was.
bool inject_into_statement(core::Statement& statement, const InjectCondition& condition) {
    core::Statement copy = statement;
    auto done = core::inject_filter_into_statement(copy, condition.field, condition.op, condition.value);
    if (!done) {
        raise_zorv_error(std::move(done).error(), kSyntaxErrorClass);
        return false;
    }
    statement = std::move(copy);
    return true;
}

PyObject* inject_filter_query(PyObject* query, std::string_view field, std::string_view op, PyObject* value) {
    std::optional<InjectCondition> condition = inject_condition_from_py(field, op, value);
    if (!condition) return nullptr;
    if (StmtObject* stmt = downcast_stmt(query)) {
        StmtBorrow borrow = StmtBorrow::exclusive(stmt);
        if (borrow.ok()) {
            if (!inject_into_statement(stmt->statement, *condition)) return nullptr;
            return create_stmt_object(stmt->statement, stmt->bound);
        }
    } else if (PyUnicode_Check(query)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(query, &size);
        if (text == nullptr) return nullptr;
        auto statement = core::parse_statement(std::string_view(text, static_cast<std::size_t>(size)));
        if (!statement) return raise_zorv_error(std::move(statement).error(), kSyntaxErrorClass);
        if (!inject_into_statement(*statement, *condition)) return nullptr;
        return create_stmt_object(std::move(*statement), false);
    }
    PyErr_SetString(PyExc_TypeError, "query must be a string or a Stmt object");
    return nullptr;
}

}  // namespace zorv::python
