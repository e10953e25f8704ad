// Formula expressions: {"<Kind>": {fields}} per node, every optional field present.
#include <variant>

#include "core/json/emit.h"
#include "core/overloaded.h"

namespace zorv::core::json {
namespace {

void write_child(JsonOut& out, std::string_view key, const Box<FormulaExpr>& child) {
    out.key(key);
    write_formula(out, *child);
}

void write_pair(JsonOut& out, const Box<FormulaExpr>& left, const Box<FormulaExpr>& right) {
    Object obj(out);
    write_child(out, "left", left);
    write_child(out, "right", right);
}

void write_unary(JsonOut& out, const Box<FormulaExpr>& x) {
    Object obj(out);
    write_child(out, "x", x);
}

void write_unary_default(JsonOut& out, const Box<FormulaExpr>& x, const std::optional<double>& domain_default) {
    Object obj(out);
    write_child(out, "x", x);
    opt_f64_field(out, "domain_default", domain_default);
}

void write_args(JsonOut& out, const std::vector<FormulaExpr>& args) {
    Object obj(out);
    out.key("args");
    array_of(out, args, [&](const FormulaExpr& e) { write_formula(out, e); });
}

void write_formula_fields(JsonOut& out, const FormulaExpr& expr) {
    using E = FormulaExpr;
    std::visit(Overloaded{
                   [&](const E::Constant& n) {
                       Object obj(out);
                       f64_field(out, "value", n.value);
                   },
                   [&](const E::Variable& n) {
                       Object obj(out);
                       // A placeholder variable keeps its written form (":name" or "?N") as the name.
                       str_field(out, "name", n.param ? n.param->text() : n.name);
                   },
                   [&](const E::Sum& n) { write_pair(out, n.left, n.right); },
                   [&](const E::Sub& n) { write_pair(out, n.left, n.right); },
                   [&](const E::Mul& n) { write_pair(out, n.left, n.right); },
                   [&](const E::Div& n) {
                       Object obj(out);
                       write_child(out, "left", n.left);
                       write_child(out, "right", n.right);
                       opt_f64_field(out, "by_zero_default", n.by_zero_default);
                   },
                   [&](const E::Neg& n) {
                       Object obj(out);
                       write_child(out, "operand", n.operand);
                   },
                   [&](const E::Abs& n) { write_unary(out, n.x); },
                   [&](const E::Sqrt& n) { write_unary_default(out, n.x, n.domain_default); },
                   [&](const E::Log& n) { write_unary_default(out, n.x, n.domain_default); },
                   [&](const E::Ln& n) { write_unary_default(out, n.x, n.domain_default); },
                   [&](const E::Exp& n) { write_unary(out, n.x); },
                   [&](const E::Acosh& n) { write_unary_default(out, n.x, n.domain_default); },
                   [&](const E::Pow& n) {
                       Object obj(out);
                       write_child(out, "base", n.base);
                       write_child(out, "exponent", n.exponent);
                   },
                   [&](const E::Max& n) { write_args(out, n.args); },
                   [&](const E::Min& n) { write_args(out, n.args); },
                   [&](const E::GeoDistance& n) {
                       Object obj(out);
                       f64_field(out, "lat", n.lat);
                       f64_field(out, "lon", n.lon);
                       str_field(out, "field", n.field);
                   },
                   [&](const E::Decay& n) {
                       Object obj(out);
                       str_field(out, "kind", n.kind);
                       write_child(out, "x", n.x);
                       out.key("target");
                       if (n.target) {
                           write_formula(out, **n.target);
                       } else {
                           out.null();
                       }
                       opt_f64_field(out, "scale", n.scale);
                       opt_f64_field(out, "midpoint", n.midpoint);
                   },
                   [&](const E::Case& n) {
                       Object obj(out);
                       out.key("cond");
                       write_filter(out, *n.cond);
                       write_child(out, "then_", n.then_);
                       write_child(out, "else_", n.else_);
                   },
                   [&](const E::MatchCondition& n) {
                       Object obj(out);
                       str_field(out, "field", n.field);
                       out.key("values");
                       array_of(out, n.values, [&](const Literal& v) { write_literal(out, v); });
                   },
                   [&](const E::Datetime& n) {
                       Object obj(out);
                       str_field(out, "value", n.value);
                   },
                   [&](const E::DatetimeKey& n) {
                       Object obj(out);
                       str_field(out, "key", n.key);
                   },
               },
               expr.node);
}

}  // namespace

void write_formula(JsonOut& out, const FormulaExpr& expr) {
    tagged(out, formula_kind_name(expr.kind()), [&] { write_formula_fields(out, expr); });
}

}  // namespace zorv::core::json
