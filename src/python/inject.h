// Filter injection from Python: the condition's arguments and the rewrite of a statement.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/ast/filter.h"
#include "core/ast/literal.h"
#include "core/ast/statement.h"
#include "python/py_ref.h"

namespace zorv::python {

struct InjectCondition {
    std::string field;
    core::CompareOp op;
    core::Literal value;
};

// The value first (its TypeError, ValueError or OverflowError), then the operator
// (ZorvSyntaxError); nullopt with the Python error set.
std::optional<InjectCondition> inject_condition_from_py(std::string_view field, std::string_view op, PyObject* value);

// Rewrites `statement`, or leaves it untouched and sets ZorvSyntaxError.
bool inject_into_statement(core::Statement& statement, const InjectCondition& condition);

// `inject_filter(query, field, op, value)`: a new Stmt; a given Stmt is rewritten too.
PyObject* inject_filter_query(PyObject* query, std::string_view field, std::string_view op, PyObject* value);

}  // namespace zorv::python
