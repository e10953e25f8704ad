#include "plan/query_point_ids.h"

#include <variant>

#include "core/overloaded.h"
#include "plan/point_ids.h"

namespace zorv::plan {

namespace {

using E = PlanExpression::Kind;

core::Result<void> check_input(const PlanQueryInput& input) {
    if (input.kind() != PlanQueryInput::Kind::Point) return {};
    return check_point_id(input.point());
}

core::Result<void> check_pairs(const std::vector<PlanContextPair>& pairs) {
    for (const PlanContextPair& pair : pairs) {
        ZORV_CHECK(check_input(pair.positive));
        ZORV_CHECK(check_input(pair.negative));
    }
    return {};
}

core::Result<void> check_expression(const PlanExpression& expr);

core::Result<void> check_expressions(std::initializer_list<const PlanExpression*> items) {
    for (const PlanExpression* item : items) ZORV_CHECK(check_expression(*item));
    return {};
}

core::Result<void> check_binary(const PlanExpression::Binary& binary) {
    return check_expressions({&*binary.left, &*binary.right});
}

core::Result<void> check_operands(const PlanExpression::Operands& operands) {
    for (const PlanExpression& item : operands.items) ZORV_CHECK(check_expression(item));
    return {};
}

core::Result<void> check_expression(const PlanExpression& expr) {
    switch (expr.kind()) {
        case E::Sum: return check_binary(expr.get<E::Sum>());
        case E::Sub: return check_binary(expr.get<E::Sub>());
        case E::Mult: return check_binary(expr.get<E::Mult>());
        case E::Div: {
            const auto& div = expr.get<E::Div>();
            return check_expressions({&*div.left, &*div.right});
        }
        case E::Neg: return check_expression(*expr.get<E::Neg>().operand);
        case E::Abs: return check_expression(*expr.get<E::Abs>().operand);
        case E::Sqrt: return check_expression(*expr.get<E::Sqrt>().operand);
        case E::Log10: return check_expression(*expr.get<E::Log10>().operand);
        case E::Ln: return check_expression(*expr.get<E::Ln>().operand);
        case E::Exp: return check_expression(*expr.get<E::Exp>().operand);
        case E::Acosh: return check_expression(*expr.get<E::Acosh>().operand);
        case E::Max: return check_operands(expr.get<E::Max>());
        case E::Min: return check_operands(expr.get<E::Min>());
        case E::Pow: {
            const auto& pow = expr.get<E::Pow>();
            return check_expressions({&*pow.base, &*pow.exponent});
        }
        case E::Decay: {
            const auto& decay = expr.get<E::Decay>();
            ZORV_CHECK(check_expression(*decay.x));
            if (decay.target) return check_expression(**decay.target);
            return {};
        }
        case E::Condition: return validate_filter_point_ids(expr.get<E::Condition>());
        case E::Case: {
            const auto& branch = expr.get<E::Case>();
            ZORV_CHECK(validate_filter_point_ids(branch.condition));
            return check_expressions({&*branch.then_, &*branch.else_});
        }
        default: return {};
    }
}

core::Result<void> check_query(const PlanQuery& query) {
    using Q = PlanQuery::Kind;
    switch (query.kind()) {
        case Q::Nearest: return check_input(query.get<Q::Nearest>().input);
        case Q::Recommend: {
            const auto& recommend = query.get<Q::Recommend>();
            for (const PlanQueryInput& input : recommend.positive) ZORV_CHECK(check_input(input));
            for (const PlanQueryInput& input : recommend.negative) ZORV_CHECK(check_input(input));
            return {};
        }
        case Q::Discover: {
            const auto& discover = query.get<Q::Discover>();
            ZORV_CHECK(check_input(discover.target));
            return check_pairs(discover.context);
        }
        case Q::Context: return check_pairs(query.get<Q::Context>().pairs);
        case Q::Formula: return check_expression(query.get<Q::Formula>().formula);
        case Q::RelevanceFeedback: {
            const auto& feedback = query.get<Q::RelevanceFeedback>();
            ZORV_CHECK(check_input(feedback.target));
            for (const PlanFeedback& entry : feedback.feedback) ZORV_CHECK(check_input(entry.example));
            return {};
        }
        default: return {};
    }
}

core::Result<void> check_filter_and_idf(const std::optional<PlanFilter>& filter,
                                        const std::optional<PlanSearchParams>& params) {
    if (filter) ZORV_CHECK(validate_filter_point_ids(*filter));
    if (params && params->idf && params->idf->corpus) return validate_filter_point_ids(*params->idf->corpus);
    return {};
}

}  // namespace

core::Result<void> validate_stage_point_ids(const PlanPrefetch& stage) {
    if (stage.query) ZORV_CHECK(check_query(*stage.query));
    ZORV_CHECK(check_filter_and_idf(stage.filter, stage.params));
    if (stage.prefetch) {
        for (const PlanPrefetch& inner : *stage.prefetch) ZORV_CHECK(validate_stage_point_ids(inner));
    }
    return {};
}

core::Result<void> validate_request_point_ids(const PlanQueryRequest& request) {
    ZORV_CHECK(check_query(request.query));
    for (const PlanPrefetch& stage : request.prefetch) ZORV_CHECK(validate_stage_point_ids(stage));
    return check_filter_and_idf(request.filter, request.params);
}

}  // namespace zorv::plan
