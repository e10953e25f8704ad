#include "core/ast/formula.h"

#include <array>

namespace zorv::core {

FormulaExpr FormulaExpr::named_param(std::string name, SourceSpan span) {
    return placeholder(Placeholder::named(std::move(name), span));
}

FormulaExpr FormulaExpr::positional_param(std::uint64_t index, SourceSpan span) {
    return placeholder(Placeholder::positional(index, span));
}

std::string_view formula_kind_name(FormulaExpr::Kind kind) {
    static constexpr std::array<std::string_view, 22> names = {"Constant",    "Variable",   "Sum",  "Sub",
                                                               "Mul",         "Div",        "Neg",  "Abs",
                                                               "Sqrt",        "Log",        "Ln",   "Exp",
                                                               "Acosh",       "Pow",        "Max",  "Min",
                                                               "GeoDistance", "Decay",      "Case", "MatchCondition",
                                                               "Datetime",    "DatetimeKey"};
    return names[static_cast<std::size_t>(kind)];
}

}  // namespace zorv::core
