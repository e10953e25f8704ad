// The read statements other than QUERY: SCROLL, COUNT and FACET.
#pragma once

#include "core/ast/statement.h"
#include "core/parser/parser.h"

namespace zorv::core {

// Each starts at its keyword and leaves the cursor on the first token it does not take; the
// caller decides whether that token may follow.
Result<Statement> parse_scroll(Parser& parser);
Result<Statement> parse_count(Parser& parser);
Result<Statement> parse_facet(Parser& parser);

}  // namespace zorv::core
