#include "core/fmt/formula.h"

#include "core/fmt/filter.h"
#include "core/fmt/values.h"

namespace zorv::core {
namespace {

int precedence(const FormulaExpr& expr) {
    switch (expr.kind()) {
        case FormulaExpr::Kind::Sum:
        case FormulaExpr::Kind::Sub: return 1;
        case FormulaExpr::Kind::Mul:
        case FormulaExpr::Kind::Div: return 2;
        case FormulaExpr::Kind::Neg: return 3;
        default: return 4;
    }
}

std::string default_suffix(const std::optional<double>& value) {
    return value ? " [DEFAULT = " + format_f64(*value) + "]" : std::string();
}

// Placeholders are told apart by `param`, not by the name's first character: a quoted payload
// key may itself begin with ":" or "?", and must stay quoted to read back as a key.
std::string variable_text(const FormulaExpr::Variable& v) {
    if (v.param) return format_placeholder(*v.param);
    if (v.name.empty()) return "''";
    if (is_plain_identifier(v.name)) return v.name;
    if (v.name.front() == '$' && is_plain_identifier(std::string_view(v.name).substr(1))) return v.name;
    return quote_string(v.name);
}

std::string upper_ascii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string call(std::string_view name, const FormulaExpr& x) { return std::string(name) + "(" + format_formula(x, 0) + ")"; }

std::string args_text(const std::vector<FormulaExpr>& args) {
    return join_mapped(args, ", ", [](const FormulaExpr& a) { return format_formula(a, 0); });
}

struct FormulaText {
    std::string operator()(const FormulaExpr::Constant& n) const { return format_f64(n.value); }
    std::string operator()(const FormulaExpr::Variable& n) const { return variable_text(n); }
    std::string operator()(const FormulaExpr::Sum& n) const {
        return format_formula(*n.left, 1) + " + " + format_formula(*n.right, 2);
    }
    std::string operator()(const FormulaExpr::Sub& n) const {
        return format_formula(*n.left, 1) + " - " + format_formula(*n.right, 2);
    }
    std::string operator()(const FormulaExpr::Mul& n) const {
        return format_formula(*n.left, 2) + " * " + format_formula(*n.right, 3);
    }
    std::string operator()(const FormulaExpr::Div& n) const {
        return format_formula(*n.left, 2) + " / " + format_formula(*n.right, 3) + default_suffix(n.by_zero_default);
    }
    std::string operator()(const FormulaExpr::Neg& n) const {
        std::string operand = format_formula(*n.operand, 3);
        return operand.starts_with('-') ? "-(" + operand + ")" : "-" + operand;
    }
    std::string operator()(const FormulaExpr::Abs& n) const { return call("ABS", *n.x); }
    std::string operator()(const FormulaExpr::Exp& n) const { return call("EXP", *n.x); }
    std::string operator()(const FormulaExpr::Sqrt& n) const { return call("SQRT", *n.x) + default_suffix(n.domain_default); }
    std::string operator()(const FormulaExpr::Log& n) const { return call("LOG", *n.x) + default_suffix(n.domain_default); }
    std::string operator()(const FormulaExpr::Ln& n) const { return call("LN", *n.x) + default_suffix(n.domain_default); }
    std::string operator()(const FormulaExpr::Acosh& n) const {
        return call("ACOSH", *n.x) + default_suffix(n.domain_default);
    }
    std::string operator()(const FormulaExpr::Pow& n) const {
        return "POW(" + format_formula(*n.base, 0) + ", " + format_formula(*n.exponent, 0) + ")";
    }
    std::string operator()(const FormulaExpr::Max& n) const { return "MAX(" + args_text(n.args) + ")"; }
    std::string operator()(const FormulaExpr::Min& n) const { return "MIN(" + args_text(n.args) + ")"; }
    std::string operator()(const FormulaExpr::GeoDistance& n) const {
        return "GEO_DISTANCE(" + format_f64(n.lat) + ", " + format_f64(n.lon) + ", " + format_identifier(n.field) + ")";
    }
    std::string operator()(const FormulaExpr::Decay& n) const {
        std::string out = upper_ascii(n.kind) + "(" + format_formula(*n.x, 0);
        if (n.target) out += ", TARGET = " + format_formula(**n.target, 0);
        if (n.scale) out += ", SCALE = " + format_f64(*n.scale);
        if (n.midpoint) out += ", MIDPOINT = " + format_f64(*n.midpoint);
        out += ')';
        return out;
    }
    std::string operator()(const FormulaExpr::Case& n) const {
        return "CASE WHEN " + format_filter(*n.cond) + " THEN " + format_formula(*n.then_, 0) + " ELSE " +
               format_formula(*n.else_, 0) + " END";
    }
    std::string operator()(const FormulaExpr::MatchCondition& n) const {
        std::string out = "MATCH(" + format_identifier(n.field) + ", ";
        if (n.values.size() == 1) return out + format_literal(n.values.front()) + ")";
        return out + "[" + join_mapped(n.values, ", ", format_literal) + "])";
    }
    std::string operator()(const FormulaExpr::Datetime& n) const { return "DATETIME(" + quote_string(n.value) + ")"; }
    std::string operator()(const FormulaExpr::DatetimeKey& n) const {
        return "DATETIME_KEY(" + quote_string(n.key) + ")";
    }
};

}  // namespace

std::string format_formula(const FormulaExpr& expr, int min_precedence) {
    std::string text = std::visit(FormulaText{}, expr.node);
    if (precedence(expr) < min_precedence) return "(" + text + ")";
    return text;
}

}  // namespace zorv::core
