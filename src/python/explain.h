// The explanation dicts of `explain`, `Client.explain` and `Stmt.explain`.
#pragma once

#include <string_view>

#include "core/ast/statement.h"
#include "python/py_ref.h"

namespace zorv::python {

// {ok: True, query, plan}: `query` is the text the caller shows for the statement.
PyObject* explain_ok_dict(PyObject* query, const core::Statement& statement);

// `explain(query)`: a str is parsed as one statement (a parse failure gives {ok: False, query,
// error}); a Stmt shows as "<Stmt>". Anything else, or a Stmt held exclusively, is a TypeError.
PyObject* explain_query(PyObject* query);

}  // namespace zorv::python
