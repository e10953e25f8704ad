// The vector inputs of a ranking node in the one order every embedding walk uses: NEAREST and
// RERANK their input; RECOMMEND positives then negatives; CONTEXT each pair's positive then
// negative; DISCOVER the target then its pairs; RELEVANCE FEEDBACK the target then each example.
#pragma once

#include <type_traits>

#include "core/ast/query.h"
#include "core/error.h"

namespace zorv::embed {

// The kinds that take vector inputs and so have a target.
constexpr bool takes_query_inputs(core::QueryExpr::Kind kind) {
    using K = core::QueryExpr::Kind;
    return kind == K::Nearest || kind == K::Recommend || kind == K::Context || kind == K::Discover ||
           kind == K::RelevanceFeedback || kind == K::Rerank;
}

// Calls `fn` (QueryInput& or const QueryInput& -> Result<void>) on each input; the first error stops it.
template <class Expr, class Fn>
    requires std::is_same_v<std::remove_const_t<Expr>, core::QueryExpr>
core::Result<void> for_each_query_input(Expr& expr, Fn&& fn) {
    using K = core::QueryExpr::Kind;
    const auto pairs = [&fn](auto& list) -> core::Result<void> {
        for (auto& pair : list) {
            ZORV_CHECK(fn(pair.positive));
            ZORV_CHECK(fn(pair.negative));
        }
        return {};
    };
    switch (expr.kind()) {
        case K::Nearest: return fn(expr.template get<K::Nearest>().input);
        case K::Rerank: return fn(expr.template get<K::Rerank>().input);
        case K::Recommend: {
            auto& recommend = expr.template get<K::Recommend>();
            for (auto& input : recommend.positive) ZORV_CHECK(fn(input));
            for (auto& input : recommend.negative) ZORV_CHECK(fn(input));
            return {};
        }
        case K::Context: return pairs(expr.template get<K::Context>().pairs);
        case K::Discover: {
            auto& discover = expr.template get<K::Discover>();
            ZORV_CHECK(fn(discover.target));
            return pairs(discover.context);
        }
        case K::RelevanceFeedback: {
            auto& feedback = expr.template get<K::RelevanceFeedback>();
            ZORV_CHECK(fn(feedback.target));
            for (auto& item : feedback.feedback) ZORV_CHECK(fn(item.example));
            return {};
        }
        default: return {};
    }
}

}  // namespace zorv::embed
