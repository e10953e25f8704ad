// Canonical text of whole statements: the display text of every statement.
#pragma once

#include <string>

#include "core/ast/statement.h"
#include "core/fmt/sink.h"

namespace zorv::core {

// Upper-case keywords, single spaces, fixed clause order; line breaks only where the layout
// of QUERY, UPSERT, CREATE/ALTER COLLECTION, UPDATE VECTOR and BATCH asks. Never fails.
std::string format_statement(const Statement& statement);
void write_statement(TextSink& sink, const Statement& statement);

}  // namespace zorv::core
