#include "plan/query_shape.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "core/diagnostics.h"

namespace zorv::plan {

namespace {

using core::Query;
using core::QueryExpr;
using core::QueryInput;
using core::VectorValue;
using K = QueryExpr::Kind;

core::Result<void> kind_mismatch() {
    return core::fail(core::Diag::PlanVectorKind, "query input vector type does not match the USING vector kind");
}

// Only literal vectors are compared; texts, images, objects and point ids are embedded or read
// later and have no kind yet.
core::Result<void> check_input_kind(const QueryInput& input, const std::optional<core::UsingVector>& using_) {
    if (!using_ || !using_->kind || !input.is(QueryInput::Kind::Vector)) return {};
    const VectorValue& vector = input.get<QueryInput::Kind::Vector>();
    const bool sparse_using = *using_->kind == core::VectorKind::Sparse;
    switch (vector.kind()) {
        case VectorValue::Kind::Sparse:
            if (!sparse_using) return kind_mismatch();
            return {};
        case VectorValue::Kind::Dense:
        case VectorValue::Kind::MultiDense:
            if (sparse_using) return kind_mismatch();
            return {};
        default: return {};
    }
}

core::Result<void> check_inputs_kind(const std::vector<QueryInput>& inputs,
                                     const std::optional<core::UsingVector>& using_) {
    for (const QueryInput& input : inputs) ZORV_CHECK(check_input_kind(input, using_));
    return {};
}

core::Result<void> check_pairs_kind(const std::vector<core::ContextPair>& pairs,
                                    const std::optional<core::UsingVector>& using_) {
    for (const core::ContextPair& pair : pairs) {
        ZORV_CHECK(check_input_kind(pair.positive, using_));
        ZORV_CHECK(check_input_kind(pair.negative, using_));
    }
    return {};
}

core::Result<void> check_vector_kinds(const QueryExpr& expr) {
    switch (expr.kind()) {
        case K::Nearest: {
            const auto& nearest = expr.get<K::Nearest>();
            return check_input_kind(nearest.input, nearest.using_);
        }
        case K::Recommend: {
            const auto& recommend = expr.get<K::Recommend>();
            ZORV_CHECK(check_inputs_kind(recommend.positive, recommend.using_));
            return check_inputs_kind(recommend.negative, recommend.using_);
        }
        case K::Context: {
            const auto& context = expr.get<K::Context>();
            return check_pairs_kind(context.pairs, context.using_);
        }
        case K::Discover: {
            const auto& discover = expr.get<K::Discover>();
            ZORV_CHECK(check_input_kind(discover.target, discover.using_));
            return check_pairs_kind(discover.context, discover.using_);
        }
        case K::RelevanceFeedback: {
            const auto& feedback = expr.get<K::RelevanceFeedback>();
            ZORV_CHECK(check_input_kind(feedback.target, feedback.using_));
            for (const core::FeedbackItem& item : feedback.feedback)
                ZORV_CHECK(check_input_kind(item.example, feedback.using_));
            return {};
        }
        case K::Rerank: {
            const auto& rerank = expr.get<K::Rerank>();
            if (rerank.using_ && rerank.using_->kind == core::VectorKind::Sparse)
                return core::fail(core::Diag::PlanVectorKind, "RERANK requires a dense vector target");
            return check_input_kind(rerank.input, rerank.using_);
        }
        default: return {};
    }
}

struct Shape {
    std::size_t rows = 0;
    std::size_t length = 0;
};

// Sparse vectors, ragged multi-vectors and non-literal inputs are not measured.
std::optional<Shape> measure(const QueryInput& input) {
    if (!input.is(QueryInput::Kind::Vector)) return std::nullopt;
    const VectorValue& vector = input.get<QueryInput::Kind::Vector>();
    if (vector.is(VectorValue::Kind::Dense)) return Shape{1, std::get<VectorValue::Dense>(vector.value).values.size()};
    if (!vector.is(VectorValue::Kind::MultiDense)) return std::nullopt;
    const auto& rows = std::get<VectorValue::MultiDense>(vector.value).rows;
    if (rows.empty()) return std::nullopt;
    for (const auto& row : rows) {
        if (row.size() != rows.front().size()) return std::nullopt;
    }
    return Shape{rows.size(), rows.front().size()};
}

core::Result<void> check_average_shapes(const QueryExpr::Recommend& recommend) {
    if (recommend.strategy && *recommend.strategy != core::RecommendStrategy::AverageVector) return {};
    std::optional<Shape> first;
    for (const auto* list : {&recommend.positive, &recommend.negative}) {
        for (const QueryInput& input : *list) {
            const std::optional<Shape> shape = measure(input);
            if (!shape) continue;
            if (!first) {
                first = shape;
                continue;
            }
            if (shape->rows == first->rows && shape->length == first->length) continue;
            return core::fail(core::Diag::PlanRecommendAverage,
                              "average_vector examples must share one dimension: found (" +
                                  std::to_string(first->rows) + ", " + std::to_string(first->length) + ") and (" +
                                  std::to_string(shape->rows) + ", " + std::to_string(shape->length) + ") rows x dims");
        }
    }
    return {};
}

bool is_rrf_fusion(const QueryExpr& expr) {
    if (expr.is(K::Fusion)) return expr.get<K::Fusion>().method == core::FusionMethod::Rrf;
    if (expr.is(K::Hybrid)) return expr.get<K::Hybrid>().fusion == core::FusionMethod::Rrf;
    return false;
}

core::Result<void> check_rrf_params(const Query& query) {
    if (!query.params) return {};
    const core::SearchParams& params = *query.params;
    if (!params.rrf_k && !params.rrf_weights) return {};
    if (!is_rrf_fusion(query.expression))
        return core::fail(core::Diag::PlanRrfParams, "rrf_k and rrf_weights are valid only with RRF fusion");
    if (!params.rrf_weights) return {};
    const std::size_t stages = query.expression.is(K::Hybrid) ? 2 : query.expression.get<K::Fusion>().prefetch.size();
    if (params.rrf_weights->size() == stages) return {};
    return core::fail(core::Diag::PlanRrfWeights, "rrf_weights contains " + std::to_string(params.rrf_weights->size()) +
                                                      " values but fusion has " + std::to_string(stages) +
                                                      " prefetches");
}

core::Result<void> check_shape(const Query& query);

core::Result<void> check_expression(const QueryExpr& expr) {
    if (expr.is(K::Fusion) && expr.get<K::Fusion>().prefetch.empty())
        return core::fail(core::Diag::PlanFusionPrefetch, "FUSION requires at least one prefetch");
    if (expr.is(K::Rerank)) {
        const auto& rerank = expr.get<K::Rerank>();
        if (!rerank.using_)
            return core::fail(core::Diag::PlanRerankUsing, "RERANK requires a non-empty USING vector name");
        if (rerank.prefetch.empty())
            return core::fail(core::Diag::PlanRerankPrefetch, "RERANK requires at least one prefetch");
    }
    if (const core::PrefetchList* sources = expr.prefetch_list()) {
        for (const core::Prefetch& source : *sources) {
            if (source.source.is(core::PrefetchSource::Kind::Query)) ZORV_CHECK(check_shape(source.source.query()));
        }
    }
    return {};
}

core::Result<void> check_shape(const Query& query) {
    for (const core::CteDefinition& cte : query.ctes) ZORV_CHECK(check_shape(*cte.query));
    ZORV_CHECK(check_vector_kinds(query.expression));
    if (query.expression.is(K::Recommend)) ZORV_CHECK(check_average_shapes(query.expression.get<K::Recommend>()));
    ZORV_CHECK(check_expression(query.expression));
    return check_rrf_params(query);
}

core::Result<BatchHeaderParams> refuse_on_header(std::string_view name) {
    return core::fail(core::Diag::ValidationBatchParams,
                      "PARAMS " + std::string(name) +
                          " has no representation on a BATCH header; keep it on member queries");
}

}  // namespace

core::Result<void> check_query_shape(const core::Query& query) { return check_shape(query); }

core::Result<std::optional<PlanSearchParams>> lower_search_params(const core::SearchParams& params) {
    if (params.max_selectivity && !params.acorn)
        return core::fail(core::Diag::PlanParams, "max_selectivity requires PARAMS (acorn = true, ...)");
    if (params.rrf_k && *params.rrf_k == 0)
        return core::fail(core::Diag::PlanRrfParams, "rrf_k must be at least 1 (OpenAPI Rrf.k minimum)");
    std::optional<PlanIdf> idf;
    if (params.idf) {
        idf.emplace();
        if (params.idf->corpus) {
            PlanFilter corpus = ZORV_TRY(lower_where(*params.idf->corpus));
            const PlanClauses& clauses = corpus.clauses();
            if (clauses.must.empty() && clauses.should.empty() && clauses.must_not.empty() &&
                (!clauses.min_should || clauses.min_should->conditions.empty()))
                return core::fail(core::Diag::PlanIdf, "idf corpus filter is empty or has no recognised conditions");
            idf->corpus = std::move(corpus);
        }
    }
    if (!params.hnsw_ef && !params.exact && !params.acorn && !params.indexed_only && !params.quantization && !idf)
        return std::optional<PlanSearchParams>{};
    PlanSearchParams out;
    out.hnsw_ef = params.hnsw_ef;
    out.exact = params.exact;
    if (params.acorn) out.acorn = PlanAcorn{*params.acorn, params.max_selectivity};
    out.indexed_only = params.indexed_only;
    out.quantization = params.quantization;
    out.idf = std::move(idf);
    return std::optional<PlanSearchParams>{std::move(out)};
}

core::Result<BatchHeaderParams> batch_header_params(const std::optional<core::SearchParams>& params) {
    if (!params) return BatchHeaderParams{};
    const core::SearchParams& p = *params;
    const std::pair<bool, std::string_view> fields[] = {
        {p.hnsw_ef.has_value(), "hnsw_ef"},
        {p.exact.has_value(), "exact"},
        {p.acorn.has_value(), "acorn"},
        {p.max_selectivity.has_value(), "max_selectivity"},
        {p.indexed_only.has_value(), "indexed_only"},
        {p.quantization.has_value(), "quantization"},
        {p.rrf_k.has_value(), "rrf_k"},
        {p.rrf_weights.has_value(), "rrf_weights"},
        {p.idf.has_value(), "idf"},
    };
    for (const auto& [set, name] : fields) {
        if (set) return refuse_on_header(name);
    }
    return BatchHeaderParams{p.timeout, p.consistency};
}

}  // namespace zorv::plan
