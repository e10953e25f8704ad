// The params argument of the Python entry points: converted once, then bound into a parsed
// statement or into statement text.
#pragma once

#include <optional>
#include <string_view>

#include "core/ast/statement.h"
#include "core/error.h"
#include "python/py_ref.h"

namespace zorv::python {

// None (or a missing argument) means no params.
inline bool has_params(PyObject* params) { return params != nullptr && params != Py_None; }

// A list gives a List container (items converted one by one; the list itself is never a float
// vector), anything else is converted whole. nullopt with the conversion's Python error set.
std::optional<core::Literal> params_from_py(PyObject* params);

// Binds `params` into `statement` in place; false with the Python error set (binding failures as
// ZorvValidationError). No params leaves the statement alone.
bool bind_params_into_stmt(core::Statement& statement, PyObject* params);

// The text with `params` bound into it, as a new str, or null with the Python error set. A
// statement-scoped list must hold exactly one container, which is then used.
PyObject* bind_params_into_text(std::string_view text, PyObject* params, bool truncate_vectors);

// "ZORV-BIND-ALREADY-BOUND": params given with a Stmt that was bound before.
core::ZorvError already_bound_error();

}  // namespace zorv::python
