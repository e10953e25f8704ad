#include "runtime/grpc_route/formula_proto.h"

#include <type_traits>
#include <utility>
#include <variant>

#include "runtime/grpc_route/filters.h"

namespace zorv::runtime::rpc {

namespace {

using plan::PlanExpression;
using Kind = PlanExpression::Kind;

core::Result<void> convert_into(const PlanExpression& expression, qdrant::Expression& out);

core::Result<void> operands_into(const std::vector<PlanExpression>& items,
                                 google::protobuf::RepeatedPtrField<qdrant::Expression>& out) {
    out.Reserve(static_cast<int>(items.size()));
    for (const PlanExpression& item : items) ZORV_CHECK(convert_into(item, *out.Add()));
    return {};
}

core::Result<void> pair_into(const PlanExpression& left, const PlanExpression& right,
                             google::protobuf::RepeatedPtrField<qdrant::Expression>& out) {
    ZORV_CHECK(convert_into(left, *out.Add()));
    return convert_into(right, *out.Add());
}

core::Result<void> condition_into(const plan::PlanFilter& filter, qdrant::Expression& out) {
    if (filter.is_single()) {
        *out.mutable_condition() = ZORV_TRY(condition_to_proto(filter.single()));
    } else {
        *out.mutable_condition()->mutable_filter() = ZORV_TRY(filter_clauses_to_proto(filter.clauses()));
    }
    return {};
}

core::Result<void> decay_into(const PlanExpression::Decay& decay, qdrant::Expression& out) {
    qdrant::DecayParamsExpression* params = nullptr;
    switch (decay.kind) {
        case PlanExpression::DecayKind::Exp: params = out.mutable_exp_decay(); break;
        case PlanExpression::DecayKind::Lin: params = out.mutable_lin_decay(); break;
        case PlanExpression::DecayKind::Gauss: params = out.mutable_gauss_decay(); break;
    }
    ZORV_CHECK(convert_into(*decay.x, *params->mutable_x()));
    if (decay.target) ZORV_CHECK(convert_into(**decay.target, *params->mutable_target()));
    if (decay.scale) params->set_scale(static_cast<float>(*decay.scale));
    if (decay.midpoint) params->set_midpoint(static_cast<float>(*decay.midpoint));
    return {};
}

// cond × then + (1 − cond) × else: the message has no conditional form. The condition is
// converted once and copied.
core::Result<void> case_into(const PlanExpression::Case& branch, qdrant::Expression& out) {
    qdrant::Expression condition;
    ZORV_CHECK(condition_into(branch.condition, condition));
    auto* terms = out.mutable_sum()->mutable_sum();
    auto* when_true = terms->Add()->mutable_mult()->mutable_mult();
    *when_true->Add() = condition;
    ZORV_CHECK(convert_into(*branch.then_, *when_true->Add()));
    auto* when_false = terms->Add()->mutable_mult()->mutable_mult();
    auto* one_minus = when_false->Add()->mutable_sum()->mutable_sum();
    one_minus->Add()->set_constant(1.0F);
    *one_minus->Add()->mutable_neg() = std::move(condition);
    return convert_into(*branch.else_, *when_false->Add());
}

core::Result<void> unary_into(const PlanExpression& expression, qdrant::Expression& out) {
    const PlanExpression* operand = std::visit(
        [](const auto& node) -> const PlanExpression* {
            if constexpr (std::is_same_v<std::decay_t<decltype(node)>, PlanExpression::Unary>) {
                return &*node.operand;
            } else {
                return nullptr;
            }
        },
        expression.node);
    qdrant::Expression* target = nullptr;
    switch (expression.kind()) {
        case Kind::Neg: target = out.mutable_neg(); break;
        case Kind::Abs: target = out.mutable_abs(); break;
        case Kind::Sqrt: target = out.mutable_sqrt(); break;
        case Kind::Log10: target = out.mutable_log10(); break;
        case Kind::Ln: target = out.mutable_ln(); break;
        case Kind::Exp: target = out.mutable_exp(); break;
        default: target = out.mutable_acosh(); break;
    }
    return convert_into(*operand, *target);
}

core::Result<void> convert_into(const PlanExpression& expression,
                                qdrant::Expression& out) {  // NOLINT(misc-no-recursion)
    switch (expression.kind()) {
        // Beyond the f32 range the cast gives an infinity, which is what the server would compute.
        case Kind::Constant: out.set_constant(static_cast<float>(expression.get<Kind::Constant>())); return {};
        case Kind::Variable: out.set_variable(expression.get<Kind::Variable>()); return {};
        case Kind::Sum: {
            const auto& sum = expression.get<Kind::Sum>();
            return pair_into(*sum.left, *sum.right, *out.mutable_sum()->mutable_sum());
        }
        case Kind::Sub: {
            const auto& sub = expression.get<Kind::Sub>();
            auto* terms = out.mutable_sum()->mutable_sum();
            ZORV_CHECK(convert_into(*sub.left, *terms->Add()));
            return convert_into(*sub.right, *terms->Add()->mutable_neg());
        }
        case Kind::Mult: {
            const auto& mult = expression.get<Kind::Mult>();
            return pair_into(*mult.left, *mult.right, *out.mutable_mult()->mutable_mult());
        }
        case Kind::Div: {
            const auto& div = expression.get<Kind::Div>();
            qdrant::DivExpression* message = out.mutable_div();
            ZORV_CHECK(convert_into(*div.left, *message->mutable_left()));
            ZORV_CHECK(convert_into(*div.right, *message->mutable_right()));
            if (div.by_zero_default) message->set_by_zero_default(static_cast<float>(*div.by_zero_default));
            return {};
        }
        case Kind::Neg:
        case Kind::Abs:
        case Kind::Sqrt:
        case Kind::Log10:
        case Kind::Ln:
        case Kind::Exp:
        case Kind::Acosh: return unary_into(expression, out);
        case Kind::Max: return operands_into(expression.get<Kind::Max>().items, *out.mutable_max()->mutable_max());
        case Kind::Min: return operands_into(expression.get<Kind::Min>().items, *out.mutable_min()->mutable_min());
        case Kind::Pow: {
            const auto& pow = expression.get<Kind::Pow>();
            qdrant::PowExpression* message = out.mutable_pow();
            ZORV_CHECK(convert_into(*pow.base, *message->mutable_base()));
            return convert_into(*pow.exponent, *message->mutable_exponent());
        }
        case Kind::GeoDistance: {
            const auto& geo = expression.get<Kind::GeoDistance>();
            qdrant::GeoDistance* message = out.mutable_geo_distance();
            message->mutable_origin()->set_lat(geo.origin.lat);
            message->mutable_origin()->set_lon(geo.origin.lon);
            message->set_to(geo.to);
            return {};
        }
        case Kind::Decay: return decay_into(expression.get<Kind::Decay>(), out);
        case Kind::Condition: return condition_into(expression.get<Kind::Condition>(), out);
        case Kind::Case: return case_into(expression.get<Kind::Case>(), out);
        case Kind::Datetime: out.set_datetime(expression.get<Kind::Datetime>()); return {};
        case Kind::DatetimeKey: out.set_datetime_key(expression.get<Kind::DatetimeKey>()); return {};
    }
    return {};
}

}  // namespace

core::Result<qdrant::Expression> expression_to_proto(const PlanExpression& expression) {
    qdrant::Expression out;
    ZORV_CHECK(convert_into(expression, out));
    return out;
}

}  // namespace zorv::runtime::rpc
