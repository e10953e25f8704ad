#include "core/ast/query.h"

#include <array>

namespace zorv::core {
namespace {

template <class T>
concept HasUsing = requires(T t) { t.using_; };

template <class T>
concept HasPrefetch = requires(T t) { t.prefetch; };

}  // namespace

std::string_view recommend_strategy_name(RecommendStrategy strategy) {
    switch (strategy) {
        case RecommendStrategy::AverageVector: return "AverageVector";
        case RecommendStrategy::BestScore: return "BestScore";
        case RecommendStrategy::SumScores: return "SumScores";
    }
    return "AverageVector";
}

std::string_view fusion_method_name(FusionMethod method) { return method == FusionMethod::Dbsf ? "Dbsf" : "Rrf"; }

std::string_view query_input_kind_name(QueryInput::Kind kind) {
    static constexpr std::array<std::string_view, 7> names = {"Text",  "Image", "Object",         "Vector",
                                                              "Point", "Param", "PositionalParam"};
    return names[static_cast<std::size_t>(kind)];
}

std::string_view query_expr_kind_name(QueryExpr::Kind kind) {
    static constexpr std::array<std::string_view, 13> names = {
        "Points", "Nearest", "Recommend",         "Context", "Discover", "OrderBy",    "SampleRandom",
        "Fusion", "Formula", "RelevanceFeedback", "Hybrid",  "Rerank",   "CrossRerank"};
    return names[static_cast<std::size_t>(kind)];
}

PrefetchSource PrefetchSource::nested(Box<Query> query) {
    return PrefetchSource{Value(std::in_place_index<0>, std::move(query))};
}

std::optional<UsingVector>* QueryExpr::using_slot() {
    return std::visit(
        [](auto& expr) -> std::optional<UsingVector>* {
            if constexpr (HasUsing<std::decay_t<decltype(expr)>>) return &expr.using_;
            else return nullptr;
        },
        node);
}

const std::optional<UsingVector>* QueryExpr::using_slot() const { return const_cast<QueryExpr*>(this)->using_slot(); }

PrefetchList* QueryExpr::prefetch_list() {
    return std::visit(
        [](auto& expr) -> PrefetchList* {
            if constexpr (HasPrefetch<std::decay_t<decltype(expr)>>) return &expr.prefetch;
            else return nullptr;
        },
        node);
}

const PrefetchList* QueryExpr::prefetch_list() const { return const_cast<QueryExpr*>(this)->prefetch_list(); }

}  // namespace zorv::core
