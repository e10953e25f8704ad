#include "plan/formula.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "core/diagnostics.h"
#include "core/overloaded.h"
#include "core/text.h"
#include "plan/values.h"

namespace zorv::plan {

namespace {

using core::FormulaExpr;
using FKind = core::FormulaExpr::Kind;
using PKind = PlanExpression::Kind;

constexpr std::uint64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

core::Result<core::Box<PlanExpression>> lower_boxed(const FormulaExpr& expr) {
    return core::Box<PlanExpression>(ZORV_TRY(lower_formula(expr)));
}

template <PKind K>
core::Result<PlanExpression> lower_binary(const core::Box<FormulaExpr>& left, const core::Box<FormulaExpr>& right) {
    core::Box<PlanExpression> l = ZORV_TRY(lower_boxed(*left));
    core::Box<PlanExpression> r = ZORV_TRY(lower_boxed(*right));
    return PlanExpression::make<K>(PlanExpression::Binary{std::move(l), std::move(r)});
}

template <PKind K>
core::Result<PlanExpression> lower_unary(const core::Box<FormulaExpr>& operand) {
    return PlanExpression::make<K>(PlanExpression::Unary{ZORV_TRY(lower_boxed(*operand))});
}

// With a domain default the operand is kept inside the function's domain: max(floor, x). The
// default's own value takes no part in the plan.
template <PKind K>
core::Result<PlanExpression> lower_guarded(const core::Box<FormulaExpr>& x, const std::optional<double>& domain_default,
                                           double floor) {
    PlanExpression operand = ZORV_TRY(lower_formula(*x));
    if (domain_default) {
        std::vector<PlanExpression> items;
        items.push_back(PlanExpression::make<PKind::Constant>(floor));
        items.push_back(std::move(operand));
        operand = PlanExpression::make<PKind::Max>(PlanExpression::Operands{std::move(items)});
    }
    return PlanExpression::make<K>(PlanExpression::Unary{std::move(operand)});
}

template <PKind K>
core::Result<PlanExpression> lower_list(const std::vector<FormulaExpr>& args) {
    PlanExpression::Operands operands;
    operands.items.reserve(args.size());
    for (const FormulaExpr& arg : args) operands.items.push_back(ZORV_TRY(lower_formula(arg)));
    return PlanExpression::make<K>(std::move(operands));
}

core::Result<PlanExpression::DecayKind> decay_kind(const std::string& text) {
    const std::string lower = core::to_ascii_lower(text);
    if (lower == "exp" || lower == "exp_decay") return PlanExpression::DecayKind::Exp;
    if (lower == "lin" || lower == "lin_decay") return PlanExpression::DecayKind::Lin;
    if (lower == "gauss" || lower == "gauss_decay") return PlanExpression::DecayKind::Gauss;
    return std::unexpected(decay_error(text));
}

// A datetime target makes a variable x a datetime key.
core::Result<PlanExpression> lower_decay(const FormulaExpr::Decay& decay) {
    PlanExpression::Decay plan;
    if (decay.target) {
        plan.target = ZORV_TRY(lower_boxed(**decay.target));
        const bool datetime_target = (*plan.target)->kind() == PKind::Datetime;
        if (datetime_target && decay.x->is(FKind::Variable) && !decay.x->get<FKind::Variable>().is_placeholder()) {
            plan.x = PlanExpression::make<PKind::DatetimeKey>(decay.x->get<FKind::Variable>().name);
        } else {
            plan.x = ZORV_TRY(lower_boxed(*decay.x));
        }
    } else {
        plan.x = ZORV_TRY(lower_boxed(*decay.x));
    }
    plan.kind = ZORV_TRY(decay_kind(decay.kind));
    plan.scale = decay.scale;
    plan.midpoint = decay.midpoint;
    return PlanExpression::make<PKind::Decay>(std::move(plan));
}

core::Result<PlanExpression> lower_case(const FormulaExpr::Case& when) {
    PlanFilter condition = ZORV_TRY(lower_filter(*when.cond));
    core::Box<PlanExpression> then_ = ZORV_TRY(lower_boxed(*when.then_));
    core::Box<PlanExpression> else_ = ZORV_TRY(lower_boxed(*when.else_));
    return PlanExpression::make<PKind::Case>(
        PlanExpression::Case{std::move(condition), std::move(then_), std::move(else_)});
}

// Unchecked on purpose: the server judges the values of a formula's match.
PlanExpression lower_match_condition(const FormulaExpr::MatchCondition& match) {
    PlanFieldCondition field;
    field.key = match.field;
    if (match.values.size() == 1) {
        field.match = PlanMatch::make<PlanMatch::Kind::Value>(match.values.front());
    } else {
        field.match = PlanMatch::make<PlanMatch::Kind::Any>(match.values);
    }
    return PlanExpression::make<PKind::Condition>(PlanFilter::of(PlanCondition::field(std::move(field))));
}

// Built in place: moving a finished variant into the record trips GCC 12's uninitialised-use
// warning.
template <std::size_t I, class T>
PlanDefaultValue make_default(T&& value) {
    PlanDefaultValue out;
    out.value.emplace<I>(std::forward<T>(value));
    return out;
}

std::string variable_name(const FormulaExpr::Variable& variable) {
    if (variable.param) unbound_placeholder(*variable.param, "formula lowering");
    return variable.name == "score" ? std::string("$score") : variable.name;
}

}  // namespace

std::string_view decay_function_name(PlanExpression::DecayKind kind) {
    switch (kind) {
        case PlanExpression::DecayKind::Exp: return "exp_decay";
        case PlanExpression::DecayKind::Lin: return "lin_decay";
        case PlanExpression::DecayKind::Gauss: return "gauss_decay";
    }
    return "exp_decay";
}

core::ZorvError decay_error(std::string_view kind) {
    return core::make_error(core::Diag::PlanFormulaDecay, "unknown decay function " + core::quote_for_message(kind) +
                                                              "; expected EXP_DECAY, LIN_DECAY, or GAUSS_DECAY");
}

core::Result<PlanExpression> lower_formula(const core::FormulaExpr& expr) {
    switch (expr.kind()) {
        case FKind::Constant: return PlanExpression::make<PKind::Constant>(expr.get<FKind::Constant>().value);
        case FKind::Variable: return PlanExpression::make<PKind::Variable>(variable_name(expr.get<FKind::Variable>()));
        case FKind::Sum: return lower_binary<PKind::Sum>(expr.get<FKind::Sum>().left, expr.get<FKind::Sum>().right);
        case FKind::Sub: return lower_binary<PKind::Sub>(expr.get<FKind::Sub>().left, expr.get<FKind::Sub>().right);
        case FKind::Mul: return lower_binary<PKind::Mult>(expr.get<FKind::Mul>().left, expr.get<FKind::Mul>().right);
        case FKind::Div: {
            const auto& div = expr.get<FKind::Div>();
            core::Box<PlanExpression> left = ZORV_TRY(lower_boxed(*div.left));
            core::Box<PlanExpression> right = ZORV_TRY(lower_boxed(*div.right));
            return PlanExpression::make<PKind::Div>(
                PlanExpression::Div{std::move(left), std::move(right), div.by_zero_default});
        }
        case FKind::Neg: return lower_unary<PKind::Neg>(expr.get<FKind::Neg>().operand);
        case FKind::Abs: return lower_unary<PKind::Abs>(expr.get<FKind::Abs>().x);
        case FKind::Exp: return lower_unary<PKind::Exp>(expr.get<FKind::Exp>().x);
        case FKind::Sqrt: {
            const auto& f = expr.get<FKind::Sqrt>();
            return lower_guarded<PKind::Sqrt>(f.x, f.domain_default, 0.0);
        }
        case FKind::Log: {
            const auto& f = expr.get<FKind::Log>();
            return lower_guarded<PKind::Log10>(f.x, f.domain_default, 1e-9);
        }
        case FKind::Ln: {
            const auto& f = expr.get<FKind::Ln>();
            return lower_guarded<PKind::Ln>(f.x, f.domain_default, 1e-9);
        }
        case FKind::Acosh: {
            const auto& f = expr.get<FKind::Acosh>();
            return lower_guarded<PKind::Acosh>(f.x, f.domain_default, 1.0);
        }
        case FKind::Pow: {
            const auto& pow = expr.get<FKind::Pow>();
            core::Box<PlanExpression> base = ZORV_TRY(lower_boxed(*pow.base));
            core::Box<PlanExpression> exponent = ZORV_TRY(lower_boxed(*pow.exponent));
            return PlanExpression::make<PKind::Pow>(PlanExpression::Pow{std::move(base), std::move(exponent)});
        }
        case FKind::Max: return lower_list<PKind::Max>(expr.get<FKind::Max>().args);
        case FKind::Min: return lower_list<PKind::Min>(expr.get<FKind::Min>().args);
        case FKind::GeoDistance: {
            const auto& geo = expr.get<FKind::GeoDistance>();
            return PlanExpression::make<PKind::GeoDistance>(
                PlanExpression::GeoDistance{PlanGeoPoint{geo.lat, geo.lon}, geo.field});
        }
        case FKind::Decay: return lower_decay(expr.get<FKind::Decay>());
        case FKind::Case: return lower_case(expr.get<FKind::Case>());
        case FKind::MatchCondition: return lower_match_condition(expr.get<FKind::MatchCondition>());
        case FKind::Datetime: return PlanExpression::make<PKind::Datetime>(expr.get<FKind::Datetime>().value);
        case FKind::DatetimeKey: return PlanExpression::make<PKind::DatetimeKey>(expr.get<FKind::DatetimeKey>().key);
    }
    return core::fail(core::Diag::PlanUnsupported, "unknown formula kind");
}

PlanDefaultValue lower_formula_defaults(const core::Literal& value) {
    return std::visit(core::Overloaded{
                          [](const std::string& s) { return make_default<4>(s); },
                          [](std::int64_t n) { return make_default<2>(n); },
                          [](std::uint64_t n) {
                              if (n <= kInt64Max) return make_default<2>(static_cast<std::int64_t>(n));
                              return make_default<3>(static_cast<double>(n));
                          },
                          [](double x) { return make_default<3>(x); },
                          [](bool b) { return make_default<1>(b); },
                          [](core::NullValue) { return make_default<0>(nullptr); },
                          [](const core::LiteralDict& entries) {
                              // Later entries replace earlier ones under the same key.
                              PlanDefaultObject object;
                              for (const auto& [key, item] : entries)
                                  object.insert_or_assign(key, lower_formula_defaults(item));
                              return make_default<6>(std::move(object));
                          },
                          [](const core::LiteralList& items) {
                              PlanDefaultList list;
                              list.reserve(items.size());
                              for (const core::Literal& item : items) list.push_back(lower_formula_defaults(item));
                              return make_default<5>(std::move(list));
                          },
                          [](const core::F32Array& items) {
                              PlanDefaultList list;
                              list.reserve(items.size());
                              for (float x : items) list.push_back(make_default<3>(static_cast<double>(x)));
                              return make_default<5>(std::move(list));
                          },
                          [](const core::Placeholder& p) -> PlanDefaultValue {
                              unbound_placeholder(p, "formula defaults lowering");
                          },
                      },
                      value.value);
}

}  // namespace zorv::plan
