// Span-blind comparison of statement trees for round-trip tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/ast/statement.h"

namespace zorv::core::test_support {

// Clears every span (positions change when the text is reprinted), numbers "?" placeholders in
// tree order (the printer may put fields in another order than they were written, as it does
// with an UPSERT row's vector), folds a placeholder TEXT input into the placeholder input it prints
// as in bare positions, and a negated constant into the negative constant it prints as ("-2.0").
// Start with normalise_statement, which resets the numbering.
// Every overload is declared before any is defined: the ones for standard types are found by
// ordinary lookup only (argument-dependent lookup does not search this namespace).
template <class T>
void normalise(T& value);
template <class T>
void normalise(std::optional<T>& value);
template <class T>
void normalise(std::vector<T>& values);
template <class T>
void normalise(Box<T>& box);
template <class A, class B>
void normalise(std::pair<A, B>& pair);
template <class... Ts>
void normalise(std::variant<Ts...>& node);

template <class T>
void normalise(std::optional<T>& value) {
    if (value) normalise(*value);
}
template <class T>
void normalise(std::vector<T>& values) {
    for (auto& v : values) normalise(v);
}
template <class T>
void normalise(Box<T>& box) {
    normalise(*box);
}
template <class A, class B>
void normalise(std::pair<A, B>& pair) {
    normalise(pair.second);
}
template <class... Ts>
void normalise(std::variant<Ts...>& node) {
    std::visit([](auto& alt) { normalise(alt); }, node);
}

inline void normalise_input(QueryInput& input) {
    if (!input.is(QueryInput::Kind::Text)) return;
    auto& text = input.get<QueryInput::Kind::Text>();
    if (!text.text_param || text.model || !text.options.empty()) return;
    const std::string param = *text.text_param;
    if (param.starts_with('?')) {
        input.value = PositionalParam{std::stoull(param.substr(1)), std::nullopt};
    } else {
        input.value = NamedParam{param.substr(1), std::nullopt};
    }
}

inline void fold_negated_constant(FormulaExpr& expr) {
    if (!expr.is(FormulaExpr::Kind::Neg)) return;
    const FormulaExpr& operand = *expr.get<FormulaExpr::Kind::Neg>().operand;
    if (operand.is(FormulaExpr::Kind::Constant)) {
        expr = FormulaExpr::constant(-operand.get<FormulaExpr::Kind::Constant>().value);
    }
}

inline std::uint64_t& positional_counter() {
    static thread_local std::uint64_t counter = 0;
    return counter;
}

// A placeholder kept as text ("?N" or ":name"): the index goes, as the printer drops it.
inline void normalise_placeholder_text(std::optional<std::string>& text) {
    if (text && text->starts_with('?')) *text = "?";
}

template <class T>
void normalise(T& value) {
    if constexpr (std::is_same_v<T, PositionalParam>) value.index = positional_counter()++;
    if constexpr (std::is_same_v<T, QueryInput>) normalise_input(value);
    if constexpr (std::is_same_v<T, FormulaExpr>) fold_negated_constant(value);
    if constexpr (requires { value.span = std::nullopt; }) value.span = std::nullopt;
    if constexpr (requires { value.collection_span; }) value.collection_span = std::nullopt;
    if constexpr (requires { value.limit_span; }) value.limit_span = std::nullopt;
    if constexpr (requires { value.offset_span; }) value.offset_span = std::nullopt;
    if constexpr (requires { value.limit_param; }) normalise_placeholder_text(value.limit_param);
    if constexpr (requires { value.offset_param; }) normalise_placeholder_text(value.offset_param);
#define ZORV_NORMALISE_MEMBER(m) \
    if constexpr (requires { value.m; }) normalise(value.m);
    ZORV_NORMALISE_MEMBER(value)
    ZORV_NORMALISE_MEMBER(node)
    ZORV_NORMALISE_MEMBER(ctes)
    ZORV_NORMALISE_MEMBER(query)
    ZORV_NORMALISE_MEMBER(expression)
    ZORV_NORMALISE_MEMBER(filter)
    ZORV_NORMALISE_MEMBER(params)
    ZORV_NORMALISE_MEMBER(idf)
    ZORV_NORMALISE_MEMBER(corpus)
    ZORV_NORMALISE_MEMBER(page)
    ZORV_NORMALISE_MEMBER(shard_key)
    ZORV_NORMALISE_MEMBER(ids)
    ZORV_NORMALISE_MEMBER(input)
    ZORV_NORMALISE_MEMBER(prefetch)
    ZORV_NORMALISE_MEMBER(positive)
    ZORV_NORMALISE_MEMBER(negative)
    ZORV_NORMALISE_MEMBER(pairs)
    ZORV_NORMALISE_MEMBER(target)
    ZORV_NORMALISE_MEMBER(context)
    ZORV_NORMALISE_MEMBER(feedback)
    ZORV_NORMALISE_MEMBER(example)
    ZORV_NORMALISE_MEMBER(start_from)
    ZORV_NORMALISE_MEMBER(defaults)
    ZORV_NORMALISE_MEMBER(options)
    ZORV_NORMALISE_MEMBER(object)
    ZORV_NORMALISE_MEMBER(source)
    ZORV_NORMALISE_MEMBER(lookup)
    ZORV_NORMALISE_MEMBER(predicate)
    ZORV_NORMALISE_MEMBER(operands)
    ZORV_NORMALISE_MEMBER(operand)
    ZORV_NORMALISE_MEMBER(low)
    ZORV_NORMALISE_MEMBER(high)
    ZORV_NORMALISE_MEMBER(values)
    ZORV_NORMALISE_MEMBER(left)
    ZORV_NORMALISE_MEMBER(right)
    ZORV_NORMALISE_MEMBER(x)
    ZORV_NORMALISE_MEMBER(base)
    ZORV_NORMALISE_MEMBER(exponent)
    ZORV_NORMALISE_MEMBER(args)
    ZORV_NORMALISE_MEMBER(cond)
    ZORV_NORMALISE_MEMBER(then_)
    ZORV_NORMALISE_MEMBER(else_)
    ZORV_NORMALISE_MEMBER(param)
    ZORV_NORMALISE_MEMBER(after)
    ZORV_NORMALISE_MEMBER(order_by)
    ZORV_NORMALISE_MEMBER(points)
    ZORV_NORMALISE_MEMBER(id)
    ZORV_NORMALISE_MEMBER(vectors)
    ZORV_NORMALISE_MEMBER(payload)
    ZORV_NORMALISE_MEMBER(update_filter)
    ZORV_NORMALISE_MEMBER(selector)
#undef ZORV_NORMALISE_MEMBER
}

inline void normalise_statement(Statement& statement) {
    positional_counter() = 0;
    normalise(statement.node);
}

}  // namespace zorv::core::test_support
