#include "plan/prefetch.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "core/diagnostics.h"
#include "core/text.h"
#include "plan/query_input.h"
#include "plan/query_shape.h"
#include "plan/value_json.h"
#include "plan/values.h"

namespace zorv::plan {

namespace {

using core::QueryExpr;
using K = QueryExpr::Kind;

constexpr std::uint64_t kMaxMmrCandidates = 16384;

core::ZorvError plan_size_error(std::string_view what) {
    return core::make_error(core::Diag::ValidationPlanSize, "query plan expands to more than " + std::string(what) +
                                                                "; reference each common table expression fewer "
                                                                "times");
}

std::string f64_text(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

core::Result<void> lower_input_into(const core::QueryInput& input, QueryBudget& budget, PlanQueryInput& out) {
    ZORV_CHECK(lower_vector_input_into(input, out));
    if (out.kind() == PlanQueryInput::Kind::Vector)
        ZORV_CHECK(budget.add_vector_elements(vector_element_count(out.vector())));
    return {};
}

core::Result<PlanQueryInput> lower_input(const core::QueryInput& input, QueryBudget& budget) {
    core::Result<PlanQueryInput> out{std::in_place};
    ZORV_CHECK(lower_input_into(input, budget, *out));
    return out;
}

core::Result<std::vector<PlanQueryInput>> lower_inputs(const std::vector<core::QueryInput>& inputs,
                                                       QueryBudget& budget) {
    std::vector<PlanQueryInput> out;
    out.reserve(inputs.size());
    for (const core::QueryInput& input : inputs) ZORV_CHECK(lower_input_into(input, budget, out.emplace_back()));
    return out;
}

core::Result<std::vector<PlanContextPair>> lower_pairs(const std::vector<core::ContextPair>& pairs,
                                                       QueryBudget& budget) {
    std::vector<PlanContextPair> out;
    out.reserve(pairs.size());
    for (const core::ContextPair& pair : pairs) {
        PlanContextPair& lowered = out.emplace_back();
        ZORV_CHECK(lower_input_into(pair.positive, budget, lowered.positive));
        ZORV_CHECK(lower_input_into(pair.negative, budget, lowered.negative));
    }
    return out;
}

std::string_view using_name(const std::optional<core::UsingVector>& using_) {
    return using_ ? std::string_view(using_->name) : std::string_view();
}

// A document input without a model searched on a vector named bm25 goes to the server's BM25.
void default_bm25_model(PlanQuery& query, std::string_view vector_name) {
    if (query.kind() != PlanQuery::Kind::Nearest) return;
    PlanQueryInput& input = query.get<PlanQuery::Kind::Nearest>().input;
    if (input.kind() != PlanQueryInput::Kind::Vector) return;
    auto* document = std::get_if<core::VectorValue::Document>(&std::get<0>(input.value).value);
    if (document == nullptr || (document->model && !document->model->empty())) return;
    std::optional<std::string> model = inference_model_name(std::nullopt, vector_name);
    if (model) document->model = std::move(model);
}

core::Result<void> lower_nearest(const QueryExpr::Nearest& nearest, QueryBudget& budget, PlanQuery& query) {
    auto& out = query.node.emplace<PlanQuery::Nearest>();
    ZORV_CHECK(lower_input_into(nearest.input, budget, out.input));
    if (nearest.mmr) {
        const core::Mmr& mmr = **nearest.mmr;
        if (!std::isfinite(mmr.diversity) || mmr.diversity < 0.0 || mmr.diversity > 1.0)
            return core::fail(core::Diag::PlanMmr,
                              "MMR DIVERSITY must be within [0, 1], got " + f64_text(mmr.diversity));
        if (mmr.candidates < 1 || mmr.candidates > kMaxMmrCandidates)
            return core::fail(core::Diag::PlanMmr,
                              "MMR CANDIDATES must be within 1..=" + std::to_string(kMaxMmrCandidates) + ", got " +
                                  std::to_string(mmr.candidates));
        out.mmr = PlanMmr{mmr.diversity, mmr.candidates};
    }
    default_bm25_model(query, using_name(nearest.using_));
    return {};
}

std::string_view strategy_name(core::RecommendStrategy strategy) {
    switch (strategy) {
        case core::RecommendStrategy::AverageVector: return "average_vector";
        case core::RecommendStrategy::BestScore: return "best_score";
        case core::RecommendStrategy::SumScores: return "sum_scores";
    }
    return "average_vector";
}

core::Result<PlanQuery> lower_formula_query(const QueryExpr::Formula& formula) {
    for (const core::LiteralEntry& entry : formula.defaults) ZORV_CHECK(check_finite_values(entry.second));
    PlanExpression expression = ZORV_TRY(lower_formula(*formula.expression));
    PlanQuery::Formula out{std::move(expression), std::nullopt};
    if (!formula.defaults.empty()) {
        PlanDefaultObject defaults;
        for (const core::LiteralEntry& entry : formula.defaults)
            defaults.insert_or_assign(entry.first, lower_formula_defaults(entry.second));
        out.defaults = std::move(defaults);
    }
    return PlanQuery{std::move(out)};
}

core::Result<PlanQuery> lower_feedback(const QueryExpr::RelevanceFeedback& feedback, QueryBudget& budget) {
    PlanQuery::RelevanceFeedback out;
    out.target = ZORV_TRY(lower_input(feedback.target, budget));
    for (const core::FeedbackItem& item : feedback.feedback) {
        PlanQueryInput example = ZORV_TRY(lower_input(item.example, budget));
        out.feedback.push_back(PlanFeedback{std::move(example), item.score});
    }
    out.a = feedback.strategy.a;
    out.b = feedback.strategy.b;
    out.c = feedback.strategy.c;
    return PlanQuery{std::move(out)};
}

// PARAMS rrf_k / rrf_weights turn an RRF fusion into the parameterised form.
void apply_rrf_params(PlanQuery& query, const std::optional<core::SearchParams>& params) {
    if (!params || (!params->rrf_k && !params->rrf_weights)) return;
    if (query.kind() != PlanQuery::Kind::Fusion || query.get<PlanQuery::Kind::Fusion>().method != "rrf") return;
    query = PlanQuery{PlanQuery::Rrf{params->rrf_k, params->rrf_weights}};
}

std::string fusion_name(core::FusionMethod method) { return method == core::FusionMethod::Dbsf ? "dbsf" : "rrf"; }

core::Result<std::vector<PlanPrefetch>> lower_sources(const core::PrefetchList* sources, CteScope scope,
                                                      QueryBudget& budget, unsigned depth) {
    std::vector<PlanPrefetch> out;
    if (sources == nullptr) return out;
    out.reserve(sources->size());
    for (const core::Prefetch& source : *sources) {
        PlanPrefetch stage = ZORV_TRY(lower_prefetch(source, scope, budget, depth));
        out.push_back(std::move(stage));
    }
    return out;
}

core::Result<PlanPrefetch> hybrid_stage(const core::Query& query, const QueryExpr::Hybrid& hybrid,
                                        const std::optional<std::string>& vector, std::uint64_t limit,
                                        const std::optional<PlanSearchParams>& params, QueryBudget& budget) {
    ZORV_CHECK(budget.add_stage());
    PlanPrefetch stage;
    core::VectorValue document{core::VectorValue::Document{
        hybrid.text, inference_model_name(hybrid.model, vector ? std::string_view(*vector) : std::string_view()), {}}};
    stage.query = PlanQuery{PlanQuery::Nearest{PlanQueryInput{std::move(document)}, std::nullopt}};
    stage.using_ = vector;
    stage.filter = ZORV_TRY(lower_where(query.filter));
    stage.params = params;
    stage.score_threshold = query.score_threshold;
    stage.limit = limit;
    return stage;
}

core::Result<SearchRanking> lower_hybrid(const core::Query& query, const QueryExpr::Hybrid& hybrid,
                                         QueryBudget& budget) {
    const std::uint64_t limit = ZORV_TRY(hybrid_candidate_limit(query.page));
    std::optional<PlanSearchParams> params;
    if (query.params) params = ZORV_TRY(lower_search_params(*query.params));
    SearchRanking ranking;
    PlanPrefetch dense = ZORV_TRY(hybrid_stage(query, hybrid, hybrid.dense_vector, limit, params, budget));
    PlanPrefetch sparse = ZORV_TRY(hybrid_stage(query, hybrid, hybrid.sparse_vector, limit, params, budget));
    ranking.prefetch.push_back(std::move(dense));
    ranking.prefetch.push_back(std::move(sparse));
    ranking.query = PlanQuery{PlanQuery::Fusion{fusion_name(hybrid.fusion)}};
    apply_rrf_params(ranking.query, query.params);
    return ranking;
}

core::Result<SearchRanking> lower_rerank(const QueryExpr::Rerank& rerank, CteScope scope, QueryBudget& budget,
                                         unsigned depth) {
    if (!rerank.using_) return core::fail(core::Diag::PlanRerankUsing, "RERANK requires USING vector name");
    if (rerank.using_->name.empty())
        return core::fail(core::Diag::PlanRerankUsing, "RERANK requires non-empty USING vector name");
    if (rerank.prefetch.empty())
        return core::fail(core::Diag::PlanRerankPrefetch, "RERANK requires at least one PREFETCH");
    SearchRanking ranking;
    ranking.prefetch = ZORV_TRY(lower_sources(&rerank.prefetch, scope, budget, depth));
    PlanQueryInput input;
    if (rerank.input.is(core::QueryInput::Kind::Text)) {
        const auto& text = rerank.input.get<core::QueryInput::Kind::Text>();
        input = PlanQueryInput{core::VectorValue{core::VectorValue::Document{text.text, rerank.model, text.options}}};
    } else {
        input = ZORV_TRY(lower_input(rerank.input, budget));
    }
    ranking.query = PlanQuery{PlanQuery::Nearest{std::move(input), std::nullopt}};
    ranking.using_ = rerank.using_->name;
    return ranking;
}

}  // namespace

core::Result<void> QueryBudget::add_stage() {
    if (stages_ >= kMaxStages) return std::unexpected(plan_size_error(std::to_string(kMaxStages) + " prefetch stages"));
    ++stages_;
    return {};
}

core::Result<void> QueryBudget::add_vector_elements(std::uint64_t count) {
    if (count > kMaxVectorElements - elements_)
        return std::unexpected(plan_size_error(std::to_string(kMaxVectorElements) + " vector elements"));
    elements_ += count;
    return {};
}

core::Result<std::uint64_t> hybrid_candidate_limit(const core::Page& page) {
    if (!page.limit) return std::uint64_t{100};
    const std::uint64_t limit = *page.limit;
    std::uint64_t window = 0;
    std::uint64_t candidates = 0;
    if (__builtin_add_overflow(limit, page.offset.value_or(0), &window) ||
        __builtin_mul_overflow(window, std::uint64_t{10}, &candidates))
        return core::fail(core::Diag::ValidationLimitOverflow,
                          "hybrid query LIMIT " + std::to_string(limit) +
                              " overflows the candidate limit (LIMIT * 10); reduce LIMIT");
    return candidates;
}

core::ZorvError nesting_error() {
    return core::make_error(core::Diag::ValidationNesting, "query nesting exceeds the supported depth of " +
                                                               std::to_string(kMaxQueryDepth) +
                                                               " levels; flatten the CTE / PREFETCH chain");
}

std::optional<std::string> inference_model_name(const std::optional<std::string>& model, std::string_view vector_name) {
    if (model && !model->empty()) return model;
    if (core::equals_ignore_case(vector_name, "bm25")) return std::string("Qdrant/bm25");
    return model;
}

std::optional<std::size_t> find_cte(CteScope scope, std::string_view name) {
    if (scope.ctes == nullptr) return std::nullopt;
    for (std::size_t i = 0; i < scope.count && i < scope.ctes->size(); ++i) {
        if (core::equals_ignore_case((*scope.ctes)[i].name, name)) return i;
    }
    return std::nullopt;
}

PlanLookupLocation lower_lookup(const core::PrefetchLookup& lookup) {
    PlanLookupLocation out{lookup.collection, lookup.vector, std::nullopt};
    if (lookup.shard_key) out.shard_key = to_plan_shard_key(*lookup.shard_key);
    return out;
}

core::Result<PlanQuery> lower_query_source(const QueryExpr& expr, QueryBudget& budget) {
    switch (expr.kind()) {
        case K::Points:
        case K::CrossRerank:
            return core::fail(core::Diag::PlanUnsupportedPrefetch,
                              "POINTS / CROSS RERANK are not supported inside PREFETCH");
        case K::Hybrid:
            return core::fail(core::Diag::PlanUnsupportedPrefetch,
                              "HYBRID must be lowered through the prefetch pipeline");
        case K::Rerank:
            return core::fail(core::Diag::PlanUnsupportedPrefetch,
                              "RERANK must be lowered through the prefetch pipeline");
        case K::Nearest: {
            core::Result<PlanQuery> query{std::in_place};
            ZORV_CHECK(lower_nearest(expr.get<K::Nearest>(), budget, *query));
            return query;
        }
        case K::Recommend: {
            const auto& recommend = expr.get<K::Recommend>();
            PlanQuery::Recommend out;
            out.positive = ZORV_TRY(lower_inputs(recommend.positive, budget));
            out.negative = ZORV_TRY(lower_inputs(recommend.negative, budget));
            if (recommend.strategy) out.strategy = std::string(strategy_name(*recommend.strategy));
            return PlanQuery{std::move(out)};
        }
        case K::Context: {
            std::vector<PlanContextPair> pairs = ZORV_TRY(lower_pairs(expr.get<K::Context>().pairs, budget));
            return PlanQuery{PlanQuery::Context{std::move(pairs)}};
        }
        case K::Discover: {
            const auto& discover = expr.get<K::Discover>();
            PlanQueryInput target = ZORV_TRY(lower_input(discover.target, budget));
            std::vector<PlanContextPair> pairs = ZORV_TRY(lower_pairs(discover.context, budget));
            return PlanQuery{PlanQuery::Discover{std::move(target), std::move(pairs)}};
        }
        case K::OrderBy: {
            const auto& order = expr.get<K::OrderBy>();
            if (order.start_from) ZORV_CHECK(check_finite_values(*order.start_from));
            return PlanQuery{PlanQuery::OrderBy{order.field,
                                                order.direction == core::OrderDirection::Desc ? "desc" : "asc",
                                                order.start_from}};
        }
        case K::SampleRandom: return PlanQuery{PlanQuery::Sample{}};
        case K::Fusion: return PlanQuery{PlanQuery::Fusion{fusion_name(expr.get<K::Fusion>().method)}};
        case K::Formula: return lower_formula_query(expr.get<K::Formula>());
        case K::RelevanceFeedback: return lower_feedback(expr.get<K::RelevanceFeedback>(), budget);
    }
    return core::fail(core::Diag::PlanUnsupportedPrefetch, "unknown query expression");
}

core::Result<void> lower_query_source_into(const QueryExpr& expr, QueryBudget& budget, PlanQuery& out) {
    if (expr.is(K::Nearest)) return lower_nearest(expr.get<K::Nearest>(), budget, out);
    out = ZORV_TRY(lower_query_source(expr, budget));
    return {};
}

core::Result<void> lower_search_pipeline_into(const core::Query& query, CteScope scope, QueryBudget& budget,
                                              unsigned depth, SearchRanking& ranking) {
    const QueryExpr& expr = query.expression;
    if (expr.is(K::Hybrid)) {
        ranking = ZORV_TRY(lower_hybrid(query, expr.get<K::Hybrid>(), budget));
        return {};
    }
    if (expr.is(K::Rerank)) {
        ranking = ZORV_TRY(lower_rerank(expr.get<K::Rerank>(), scope, budget, depth));
        return {};
    }
    ZORV_CHECK(lower_query_source_into(expr, budget, ranking.query));
    apply_rrf_params(ranking.query, query.params);
    if (const auto* using_ = expr.using_slot(); using_ != nullptr && *using_) ranking.using_ = (*using_)->name;
    ranking.prefetch = ZORV_TRY(lower_sources(expr.prefetch_list(), scope, budget, depth));
    return {};
}

core::Result<SearchRanking> lower_search_pipeline(const core::Query& query, CteScope scope, QueryBudget& budget,
                                                  unsigned depth) {
    core::Result<SearchRanking> ranking{std::in_place};
    ZORV_CHECK(lower_search_pipeline_into(query, scope, budget, depth, *ranking));
    return ranking;
}

core::Result<PlanPrefetch> lower_prefetch(const core::Prefetch& source, CteScope scope, QueryBudget& budget,
                                          unsigned depth) {
    ZORV_CHECK(budget.add_stage());
    if (depth + 1 > kMaxQueryDepth) return std::unexpected(nesting_error());
    const core::Query* query = nullptr;
    CteScope inner = scope;
    if (source.source.is(core::PrefetchSource::Kind::Cte)) {
        const std::optional<std::size_t> index = find_cte(scope, source.source.cte_name());
        if (!index)
            return core::fail(core::Diag::PlanPrefetchCte,
                              "PREFETCH references unknown CTE " + core::quote_for_message(source.source.cte_name()));
        query = &*(*scope.ctes)[*index].query;
        inner.count = *index;
    } else {
        query = &source.source.query();
    }
    if (query->group) return core::fail(core::Diag::PlanPrefetchGroup, "GROUP BY is not supported inside PREFETCH");
    if (query->shard_key)
        return core::fail(core::Diag::PlanPrefetchShard,
                          "PREFETCH sources cannot carry SHARD routing; route the outer query instead");
    if (query->params && (query->params->timeout || query->params->consistency))
        return core::fail(core::Diag::PlanPrefetchParams, "PREFETCH sources cannot carry PARAMS timeout / consistency");
    SearchRanking ranking;
    ZORV_CHECK(lower_search_pipeline_into(*query, inner, budget, depth + 1, ranking));
    PlanPrefetch stage;
    stage.query = std::move(ranking.query);
    if (!ranking.prefetch.empty()) stage.prefetch = std::move(ranking.prefetch);
    stage.using_ = std::move(ranking.using_);
    std::optional<PlanFilter> where = ZORV_TRY(lower_where(query->filter));
    std::optional<PlanFilter> own = ZORV_TRY(lower_where(source.filter));
    stage.filter = and_filters(std::move(where), std::move(own));
    if (query->params) stage.params = ZORV_TRY(lower_search_params(*query->params));
    stage.score_threshold = source.score_threshold ? source.score_threshold : query->score_threshold;
    stage.limit = query->page.limit;
    if (source.lookup) stage.lookup_from = lower_lookup(*source.lookup);
    return stage;
}

}  // namespace zorv::plan
