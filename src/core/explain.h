// The plain-language explanation of a statement: a header line and a small tree of its facts.
#pragma once

#include <string>
#include <string_view>

#include "core/ast/statement.h"

namespace zorv::core {

// Lines ending in LF; the first names the statement kind, the rest begin with a tree branch.
// Never fails: every statement has one.
std::string explain_statement(const Statement& statement);

// The kind as people write it: "QUERY", "CREATE COLLECTION", "SHOW SHARD KEYS", ...
std::string_view statement_display_name(StatementKind kind);

}  // namespace zorv::core
