// Statement JSON on the Python side: the value tree of `Stmt.to_dict`, built straight from the
// same walk that writes the text, and the text entry points of `Stmt.to_json` and `parse_json`.
#pragma once

#include <string_view>

#include "core/ast/statement.h"
#include "python/py_ref.h"

namespace zorv::python {

// The compact JSON text of one statement as a str.
PyObject* statement_to_json_text(const core::Statement& statement);
// The statement as dicts (keys in ascending order), lists, str, int, float, bool and None;
// 32-bit floats come out widened. A Python failure is raised as "ZORV-SERIALIZE".
PyObject* statement_to_py_dict(const core::Statement& statement);
// `parse_json`: the JSON array of every statement of a script, or ZorvSyntaxError.
PyObject* parse_json_text(std::string_view text);

}  // namespace zorv::python
