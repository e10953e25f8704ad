#include "embed/hybrid_fusion.h"

#include <optional>
#include <string>
#include <utility>

#include "plan/prefetch.h"

namespace zorv::embed {

namespace {

// The search part of PARAMS: the prefetch checks refuse timeout and consistency in a stage, and
// the RRF settings belong to the fusion on top.
std::optional<core::SearchParams> stage_params(const std::optional<core::SearchParams>& params) {
    if (!params) return std::nullopt;
    core::SearchParams out = *params;
    out.rrf_k.reset();
    out.rrf_weights.reset();
    out.timeout.reset();
    out.consistency.reset();
    if (out == core::SearchParams{}) return std::nullopt;
    return out;
}

core::Prefetch stage(const core::Query& query, core::VectorValue vector, core::UsingVector target,
                     std::uint64_t limit) {
    core::QueryExpr::Nearest nearest;
    nearest.input = core::QueryInput{std::move(vector)};
    nearest.using_ = std::move(target);
    core::Query search;
    search.expression = core::QueryExpr{std::move(nearest)};
    search.filter = query.filter;
    search.params = stage_params(query.params);
    search.score_threshold = query.score_threshold;
    search.page.limit = limit;
    core::Prefetch item;
    item.source = core::PrefetchSource::nested(std::move(search));
    return item;
}

}  // namespace

core::Result<core::QueryExpr> hybrid_fusion(const core::Query& query, const core::QueryExpr::Hybrid& hybrid,
                                            DenseVector dense, SparseVector sparse) {
    const std::uint64_t limit = ZORV_TRY(plan::hybrid_candidate_limit(query.page));
    core::UsingVector dense_target{hybrid.dense_vector.value_or("dense"), core::VectorKind::Dense, false};
    core::UsingVector sparse_target{hybrid.sparse_vector.value_or("sparse"), core::VectorKind::Sparse, false};
    core::VectorValue dense_value{core::VectorValue::Dense{std::move(dense)}};
    core::VectorValue sparse_value{core::VectorValue::Sparse{std::move(sparse.indices), std::move(sparse.values)}};
    core::QueryExpr::Fusion fusion;
    fusion.method = hybrid.fusion;
    fusion.prefetch.push_back(stage(query, std::move(dense_value), std::move(dense_target), limit));
    fusion.prefetch.push_back(stage(query, std::move(sparse_value), std::move(sparse_target), limit));
    return core::QueryExpr{std::move(fusion)};
}

}  // namespace zorv::embed
