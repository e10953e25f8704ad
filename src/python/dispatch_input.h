// The query argument of the running Client methods, checked, converted and bound while the GIL is
// held, so that the run itself touches no Python object.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/ast/statement.h"
#include "python/py_ref.h"

namespace zorv::python {

struct ScriptInput {
    std::string text;
};
struct StatementInput {
    core::Statement statement;
};
struct TextsInput {
    std::vector<std::string> texts;
};
struct StatementsInput {
    std::vector<core::Statement> statements;
};

using DispatchInput = std::variant<ScriptInput, StatementInput, TextsInput, StatementsInput>;

// on_error as extracted (null: the default "stop"). True for "continue", false for "stop";
// nullopt with ValueError "on_error must be 'stop' or 'continue'" for anything else.
std::optional<bool> continue_on_error_from_py(PyObject* on_error);

// A str, Stmt, list[str] or list[Stmt] with its params bound; nullopt with the Python error set.
std::optional<DispatchInput> normalize_query_input(PyObject* query, PyObject* params);

}  // namespace zorv::python
