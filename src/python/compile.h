// Compiled routes for Python: the route dict of `compile` and `Stmt.compile_route`.
#pragma once

#include "core/ast/statement.h"
#include "plan/json_value.h"
#include "python/py_ref.h"

namespace zorv::python {

// Nested dicts, lists and scalars; dict keys in the value's (ascending) order. Null with the
// Python error set when an object cannot be made.
PyObject* json_value_to_py(const plan::JsonValue& value);

// {"method", "path", "payload", "stmt_type"} of a bound statement, or null with the error set:
// planning and route failures are raised as ZorvSyntaxError whatever their kind.
PyObject* compiled_route_to_py(const core::Statement& statement);

}  // namespace zorv::python
