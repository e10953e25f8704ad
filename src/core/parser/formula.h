// The FORMULA expression grammar: arithmetic, function calls, CASE and decay curves.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/ast/formula.h"
#include "core/parser/parser.h"

namespace zorv::core {

// One expression whose infix operators bind more tightly than `min_binding_power` ("*" and "/"
// bind at 2, "+" and "-" at 1); callers outside the grammar pass 0. Stops before the first token
// that cannot continue the expression.
Result<FormulaExpr> parse_formula(Parser& parser, std::uint8_t min_binding_power = 0);

// The arguments after the "(" of a call and the node of the function `name` (lower case);
// errors about the call carry `name_span`.
Result<FormulaExpr> parse_formula_call(Parser& parser, std::string_view name, Span name_span);

}  // namespace zorv::core
