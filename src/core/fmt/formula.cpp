#include "core/fmt/formula.h"

#include <cmath>

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

// Whether the operand of a negation prints with a leading "-": "--x" would not read back.
bool prints_with_minus(const FormulaExpr& operand) {
    if (operand.is(FormulaExpr::Kind::Neg)) return true;
    if (!operand.is(FormulaExpr::Kind::Constant)) return false;
    const double value = operand.get<FormulaExpr::Kind::Constant>().value;
    return std::signbit(value) && !std::isnan(value);  // NaN prints as "NaN.0" whatever its sign
}

void write_default_suffix(TextSink& sink, const std::optional<double>& value) {
    if (value) sink.text(" [DEFAULT = ").f64(*value).text(']');
}

// Placeholders are told apart by `param`, not by the name's first character: a quoted payload
// key may itself begin with ":" or "?", and must stay quoted to read back as a key.
void write_variable(TextSink& sink, const FormulaExpr::Variable& v) {
    if (v.param) {
        write_placeholder(sink, *v.param);
        return;
    }
    if (v.name.empty()) {
        sink.text("''");
    } else if (is_plain_identifier(v.name) ||
               (v.name.front() == '$' && is_plain_identifier(std::string_view(v.name).substr(1)))) {
        sink.text(v.name);
    } else {
        sink.quoted(v.name);
    }
}

void write_upper_ascii(TextSink& sink, std::string_view text) {
    for (char c : text) sink.text(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
}

void write_call(TextSink& sink, std::string_view name, const FormulaExpr& x, const std::optional<double>& fallback) {
    sink.text(name).text('(');
    write_formula(sink, x, 0);
    sink.text(')');
    write_default_suffix(sink, fallback);
}

void write_args(TextSink& sink, std::string_view name, const std::vector<FormulaExpr>& args) {
    sink.text(name).text('(');
    sink.join(args, ", ", [](TextSink& s, const FormulaExpr& a) { write_formula(s, a, 0); });
    sink.text(')');
}

void write_binary(TextSink& sink, const FormulaExpr& left, int left_min, std::string_view op, const FormulaExpr& right,
                  int right_min) {
    write_formula(sink, left, left_min);
    sink.text(op);
    write_formula(sink, right, right_min);
}

struct FormulaWriter {
    TextSink& sink;

    void operator()(const FormulaExpr::Constant& n) const { sink.f64(n.value); }
    void operator()(const FormulaExpr::Variable& n) const { write_variable(sink, n); }
    void operator()(const FormulaExpr::Sum& n) const { write_binary(sink, *n.left, 1, " + ", *n.right, 2); }
    void operator()(const FormulaExpr::Sub& n) const { write_binary(sink, *n.left, 1, " - ", *n.right, 2); }
    void operator()(const FormulaExpr::Mul& n) const { write_binary(sink, *n.left, 2, " * ", *n.right, 3); }
    void operator()(const FormulaExpr::Div& n) const {
        write_binary(sink, *n.left, 2, " / ", *n.right, 3);
        write_default_suffix(sink, n.by_zero_default);
    }
    void operator()(const FormulaExpr::Neg& n) const {
        if (!prints_with_minus(*n.operand)) {
            sink.text('-');
            write_formula(sink, *n.operand, 3);
            return;
        }
        sink.text("-(");
        write_formula(sink, *n.operand, 3);
        sink.text(')');
    }
    void operator()(const FormulaExpr::Abs& n) const { write_call(sink, "ABS", *n.x, std::nullopt); }
    void operator()(const FormulaExpr::Exp& n) const { write_call(sink, "EXP", *n.x, std::nullopt); }
    void operator()(const FormulaExpr::Sqrt& n) const { write_call(sink, "SQRT", *n.x, n.domain_default); }
    void operator()(const FormulaExpr::Log& n) const { write_call(sink, "LOG", *n.x, n.domain_default); }
    void operator()(const FormulaExpr::Ln& n) const { write_call(sink, "LN", *n.x, n.domain_default); }
    void operator()(const FormulaExpr::Acosh& n) const { write_call(sink, "ACOSH", *n.x, n.domain_default); }
    void operator()(const FormulaExpr::Pow& n) const {
        sink.text("POW(");
        write_binary(sink, *n.base, 0, ", ", *n.exponent, 0);
        sink.text(')');
    }
    void operator()(const FormulaExpr::Max& n) const { write_args(sink, "MAX", n.args); }
    void operator()(const FormulaExpr::Min& n) const { write_args(sink, "MIN", n.args); }
    void operator()(const FormulaExpr::GeoDistance& n) const {
        sink.text("GEO_DISTANCE(").f64(n.lat).text(", ").f64(n.lon).text(", ").identifier(n.field).text(')');
    }
    void operator()(const FormulaExpr::Decay& n) const {
        write_upper_ascii(sink, n.kind);
        sink.text('(');
        write_formula(sink, *n.x, 0);
        if (n.target) {
            sink.text(", TARGET = ");
            write_formula(sink, **n.target, 0);
        }
        if (n.scale) sink.text(", SCALE = ").f64(*n.scale);
        if (n.midpoint) sink.text(", MIDPOINT = ").f64(*n.midpoint);
        sink.text(')');
    }
    void operator()(const FormulaExpr::Case& n) const {
        sink.text("CASE WHEN ");
        write_filter(sink, *n.cond);
        sink.text(" THEN ");
        write_formula(sink, *n.then_, 0);
        sink.text(" ELSE ");
        write_formula(sink, *n.else_, 0);
        sink.text(" END");
    }
    void operator()(const FormulaExpr::MatchCondition& n) const {
        sink.text("MATCH(").identifier(n.field).text(", ");
        if (n.values.size() == 1) {
            write_literal(sink, n.values.front());
        } else {
            sink.text('[');
            sink.join(n.values, ", ", write_literal);
            sink.text(']');
        }
        sink.text(')');
    }
    void operator()(const FormulaExpr::Datetime& n) const { sink.text("DATETIME(").quoted(n.value).text(')'); }
    void operator()(const FormulaExpr::DatetimeKey& n) const { sink.text("DATETIME_KEY(").quoted(n.key).text(')'); }
};

}  // namespace

void write_formula(TextSink& sink, const FormulaExpr& expr, int min_precedence) {
    const bool parenthesised = precedence(expr) < min_precedence;
    if (parenthesised) sink.text('(');
    std::visit(FormulaWriter{sink}, expr.node);
    if (parenthesised) sink.text(')');
}

std::string format_formula(const FormulaExpr& expr, int min_precedence) {
    return print_to_string(write_formula, expr, min_precedence);
}

}  // namespace zorv::core
