#include "plan/query.h"

#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "core/text.h"
#include "plan/query_shape.h"
#include "plan/values.h"

namespace zorv::plan {

namespace {

using core::QueryExpr;
using K = QueryExpr::Kind;

PlanPayloadSelector lower_payload_selector(const core::PayloadSelector& selector) {
    switch (selector.kind()) {
        case core::PayloadSelector::Kind::All: return PlanPayloadSelector{true};
        case core::PayloadSelector::Kind::None: return PlanPayloadSelector{false};
        case core::PayloadSelector::Kind::Include:
            return PlanPayloadSelector{
                PlanPayloadSelector::Include{std::get<core::PayloadSelector::Include>(selector.value).names}};
        case core::PayloadSelector::Kind::Exclude:
            return PlanPayloadSelector{
                PlanPayloadSelector::Exclude{std::get<core::PayloadSelector::Exclude>(selector.value).names}};
    }
    return PlanPayloadSelector{true};
}

PlanVectorSelector lower_vector_selector(const core::VectorSelector& selector) {
    switch (selector.kind()) {
        case core::VectorSelector::Kind::All: return PlanVectorSelector{true};
        case core::VectorSelector::Kind::None: return PlanVectorSelector{false};
        case core::VectorSelector::Kind::Names:
            return PlanVectorSelector{std::get<core::VectorSelector::Names>(selector.value).names};
    }
    return PlanVectorSelector{false};
}

core::Result<std::string> query_collection(const core::Query& query) {
    if (!query.collection.name)
        return core::fail(core::Diag::PlanCollection, "top-level query requires an explicit collection (FROM ...)");
    if (query.collection.name->empty())
        return core::fail(core::Diag::PlanCollection, "query collection name must not be empty");
    return *query.collection.name;
}

std::optional<PlanShardKey> shard_key_of(const std::optional<core::ShardKey>& key) {
    if (!key) return std::nullopt;
    return to_plan_shard_key(*key);
}

// The first PREFETCH source with a LOOKUP FROM decides the request's lookup_from.
std::optional<PlanLookupLocation> first_lookup(const QueryExpr& expr) {
    const core::PrefetchList* sources = expr.prefetch_list();
    if (sources == nullptr) return std::nullopt;
    for (const core::Prefetch& source : *sources) {
        if (source.lookup) return lower_lookup(*source.lookup);
    }
    return std::nullopt;
}

// Selectors, ranking, timeout and consistency, WHERE and search parameters, in this order. Built in
// place: a request is large, and every move of it shows in the compile rate.
core::Result<void> lower_request_core(const core::Query& query, CteScope scope, QueryBudget& budget, unsigned depth,
                                      PlanQueryRequest& request, std::optional<std::uint64_t>& timeout,
                                      std::optional<core::Consistency>& consistency) {
    PlanSelectors selectors = lower_selectors(query.output);
    request.with_payload = std::move(selectors.with_payload);
    request.with_vector = std::move(selectors.with_vector);
    SearchRanking ranking;
    ZORV_CHECK(lower_search_pipeline_into(query, scope, budget, depth, ranking));
    request.query = std::move(ranking.query);
    request.prefetch = std::move(ranking.prefetch);
    request.using_ = std::move(ranking.using_);
    if (query.params) {
        timeout = query.params->timeout;
        consistency = query.params->consistency;
    }
    request.filter = ZORV_TRY(lower_where(query.filter));
    if (query.params) request.params = ZORV_TRY(lower_search_params(*query.params));
    request.score_threshold = query.score_threshold;
    return {};
}

void include_field(std::optional<core::PayloadSelector>& payload, const std::string& field) {
    if (!payload || payload->is(core::PayloadSelector::Kind::None)) {
        payload = core::PayloadSelector::include({field});
        return;
    }
    if (!payload->is(core::PayloadSelector::Kind::Include)) return;
    auto& names = std::get<core::PayloadSelector::Include>(payload->value).names;
    for (const std::string& name : names) {
        if (core::equals_ignore_case(name, field)) return;
    }
    names.push_back(field);
}

core::Result<QueryOp> lower_candidate(const core::Prefetch& source, const std::string& collection,
                                      const std::string& field, CteScope scope, QueryBudget& budget, unsigned depth) {
    core::Query candidate;
    CteScope inner = scope;
    if (source.source.is(core::PrefetchSource::Kind::Cte)) {
        const std::optional<std::size_t> index = find_cte(scope, source.source.cte_name());
        if (!index)
            return core::fail(core::Diag::PlanCrossRerankCte,
                              "PREFETCH references unknown CTE " + core::quote_for_message(source.source.cte_name()));
        candidate = *(*scope.ctes)[*index].query;
        inner.count = *index;
    } else {
        candidate = source.source.query();
    }
    if (!candidate.collection.name) candidate.collection.name = collection;
    include_field(candidate.output.payload, field);
    if (source.filter) {
        if (candidate.filter) {
            core::Filter both{core::Filter::And{{std::move(**candidate.filter), **source.filter}}};
            candidate.filter = core::Box<core::Filter>(std::move(both));
        } else {
            candidate.filter = *source.filter;
        }
    }
    PlanOp op = ZORV_TRY(lower_query(candidate, inner, budget, depth));
    if (op.kind() != PlanOpKind::Query)
        return core::fail(core::Diag::PlanCrossRerankCandidate,
                          "CROSS RERANK prefetch must plan as a search query, got " +
                              std::string(plan_op_name(op.kind())));
    return std::move(op.get<PlanOpKind::Query>());
}

core::Result<PlanOp> lower_cross_rerank(const core::Query& query, const std::string& collection, CteScope scope,
                                        QueryBudget& budget, unsigned depth) {
    const auto& cross = query.expression.get<K::CrossRerank>();
    if (cross.prefetch.empty())
        return core::fail(core::Diag::PlanCrossRerankPrefetch, "CROSS RERANK requires at least one PREFETCH");
    if (cross.query.empty())
        return core::fail(core::Diag::PlanCrossRerankQuery, "CROSS RERANK query text must not be empty");
    if (cross.model.empty())
        return core::fail(core::Diag::PlanCrossRerankModel, "CROSS RERANK MODEL must not be empty");
    CrossRerankOp op;
    op.collection = collection;
    op.query = cross.query;
    op.model = cross.model;
    op.field = cross.field && !cross.field->empty() ? *cross.field : "text";
    for (const core::Prefetch& source : cross.prefetch) {
        if (depth + 1 > kMaxQueryDepth) return std::unexpected(nesting_error());
        QueryOp candidate = ZORV_TRY(lower_candidate(source, collection, op.field, scope, budget, depth + 1));
        op.candidates.push_back(std::move(candidate));
    }
    op.limit = query.page.limit.value_or(10);
    op.offset = query.page.offset.value_or(0);
    return make_op<PlanOpKind::CrossRerank>(std::move(op));
}

PlanOp lower_points(const core::Query& query, std::string collection) {
    GetPointsOp op;
    op.collection = std::move(collection);
    op.ids = to_plan_point_ids(query.expression.get<K::Points>().ids);
    PlanSelectors selectors = lower_selectors(query.output);
    op.with_payload = std::move(selectors.with_payload);
    op.with_vector = std::move(selectors.with_vector);
    op.shard_key = shard_key_of(query.shard_key);
    return make_op<PlanOpKind::GetPoints>(std::move(op));
}

}  // namespace

PlanSelectors lower_selectors(const core::OutputSelection& output) {
    PlanSelectors out{PlanPayloadSelector{true}, std::nullopt};
    if (output.payload) out.with_payload = lower_payload_selector(*output.payload);
    if (output.vectors) out.with_vector = lower_vector_selector(*output.vectors);
    return out;
}

core::Result<PlanOp> plan_query(const core::Query& query) {
    QueryBudget budget;
    return lower_query(query, CteScope{&query.ctes, query.ctes.size()}, budget, 0);
}

core::Result<PlanOp> lower_query(const core::Query& query, CteScope scope, QueryBudget& budget, unsigned depth) {
    ZORV_CHECK(check_query_shape(query));
    std::string collection = ZORV_TRY(query_collection(query));
    if (query.expression.is(K::Points)) return lower_points(query, std::move(collection));
    if (query.expression.is(K::CrossRerank)) return lower_cross_rerank(query, collection, scope, budget, depth);
    if (query.group) return lower_groups_query(query, scope, budget, depth);
    return lower_search_query(query, scope, budget, depth);
}

core::Result<PlanOp> lower_search_query(const core::Query& query, CteScope scope, QueryBudget& budget, unsigned depth) {
    // Built where it is returned: the operation moves only while it is still empty.
    core::Result<PlanOp> result = make_op<PlanOpKind::Query>();
    QueryOp& op = result->get<PlanOpKind::Query>();
    ZORV_CHECK(lower_request_core(query, scope, budget, depth, op.request, op.timeout, op.consistency));
    op.request.limit = query.page.limit;
    op.request.offset = query.page.offset;
    op.request.lookup_from = first_lookup(query.expression);
    op.request.shard_key = shard_key_of(query.shard_key);
    op.collection = ZORV_TRY(query_collection(query));
    return result;
}

core::Result<PlanOp> lower_groups_query(const core::Query& query, CteScope scope, QueryBudget& budget, unsigned depth) {
    if (!query.group) return core::fail(core::Diag::PlanGroup, "group required for groups query");
    const core::GroupBy& group = *query.group;
    if (group.field.empty()) return core::fail(core::Diag::PlanGroup, "group field must not be empty");
    core::Result<PlanOp> result = make_op<PlanOpKind::QueryGroups>();
    QueryGroupsOp& op = result->get<PlanOpKind::QueryGroups>();
    const std::uint64_t limit = query.page.limit.value_or(10);
    const std::uint64_t offset = query.page.offset.value_or(0);
    if (__builtin_add_overflow(limit, offset, &op.limit))
        return core::fail(core::Diag::ValidationLimitOverflow, "grouped query LIMIT " + std::to_string(limit) +
                                                                   " + OFFSET " + std::to_string(offset) +
                                                                   " overflows u64; reduce LIMIT or OFFSET");
    op.offset = offset;
    ZORV_CHECK(lower_request_core(query, scope, budget, depth, op.request, op.timeout, op.consistency));
    op.group_size = group.size.value_or(3);
    if (group.lookup) {
        PlanWithLookup lookup{group.lookup->collection, std::nullopt, std::nullopt};
        if (group.lookup->payload) lookup.with_payload = lower_payload_selector(*group.lookup->payload);
        if (group.lookup->vectors) lookup.with_vectors = lower_vector_selector(*group.lookup->vectors);
        op.with_lookup = std::move(lookup);
    }
    op.request.lookup_from = first_lookup(query.expression);
    op.request.shard_key = shard_key_of(query.shard_key);
    op.group_by = group.field;
    op.collection = ZORV_TRY(query_collection(query));
    return result;
}

}  // namespace zorv::plan
