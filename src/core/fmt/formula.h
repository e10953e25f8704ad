// Canonical text of FORMULA expressions.
#pragma once

#include <string>

#include "core/ast/formula.h"
#include "core/fmt/sink.h"

namespace zorv::core {

// `min_precedence` (0 to 3): a node binding looser than it is parenthesised.
std::string format_formula(const FormulaExpr& expr, int min_precedence);
void write_formula(TextSink& sink, const FormulaExpr& expr, int min_precedence);

}  // namespace zorv::core
