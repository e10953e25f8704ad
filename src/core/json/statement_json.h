// The canonical JSON form of statement trees: compact text for `Stmt.to_json` and `parse_json`,
// and the same walk over any `JsonOut` for the Python value tree of `Stmt.to_dict`.
#pragma once

#include <span>
#include <string>

#include "core/ast/statement.h"
#include "core/json/writer.h"

namespace zorv::core {

// {"<Kind>": body} of one statement, as events into `out`.
void emit_statement_json(const Statement& statement, JsonOut& out);
// Appends the compact text of one statement. Every tree has a text form: nothing fails.
void write_statement_json(const Statement& statement, std::string& out);
// Appends "[A,B,...]" ("[]" for none).
void write_statement_list_json(std::span<const Statement> statements, std::string& out);

}  // namespace zorv::core
