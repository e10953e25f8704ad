#include "runtime/grpc_route/query_request.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "embed/message_format.h"
#include "runtime/grpc_route/filters.h"
#include "runtime/grpc_route/formula_proto.h"
#include "runtime/grpc_route/read_requests.h"
#include "runtime/grpc_route/values.h"

namespace zorv::runtime::rpc {

namespace {

using embed::format_message;
using plan::PlanQuery;
using Kind = PlanQuery::Kind;

std::string shortest_text(double value) {
    std::array<char, 64> buffer{};
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), written.ptr);
}

core::Result<void> add_input(const plan::PlanQueryInput& input, qdrant::VectorInput& out) {
    auto converted = to_vector_input(input);
    if (!converted) return std::unexpected(std::move(converted).error());
    out = std::move(*converted);
    return {};
}

core::Result<void> add_inputs(const std::vector<plan::PlanQueryInput>& inputs,
                              google::protobuf::RepeatedPtrField<qdrant::VectorInput>& out) {
    out.Reserve(static_cast<int>(inputs.size()));
    for (const plan::PlanQueryInput& input : inputs) ZORV_CHECK(add_input(input, *out.Add()));
    return {};
}

core::Result<void> add_pairs(const std::vector<plan::PlanContextPair>& pairs, qdrant::ContextInput& out) {
    out.mutable_pairs()->Reserve(static_cast<int>(pairs.size()));
    for (const plan::PlanContextPair& pair : pairs) {
        qdrant::ContextInputPair* entry = out.add_pairs();
        ZORV_CHECK(add_input(pair.positive, *entry->mutable_positive()));
        ZORV_CHECK(add_input(pair.negative, *entry->mutable_negative()));
    }
    return {};
}

core::Result<void> nearest_to_proto(const PlanQuery::Nearest& nearest, qdrant::Query& out) {
    if (!nearest.mmr) return add_input(nearest.input, *out.mutable_nearest());
    // MMR reranks on the server: a plain nearest query would silently drop it.
    qdrant::NearestInputWithMmr* with_mmr = out.mutable_nearest_with_mmr();
    ZORV_CHECK(add_input(nearest.input, *with_mmr->mutable_nearest()));
    with_mmr->mutable_mmr()->set_diversity(static_cast<float>(nearest.mmr->diversity));
    with_mmr->mutable_mmr()->set_candidates_limit(static_cast<std::uint32_t>(nearest.mmr->candidates_limit));
    return {};
}

core::Result<void> recommend_to_proto(const PlanQuery::Recommend& recommend, qdrant::Query& out) {
    qdrant::RecommendInput* input = out.mutable_recommend();
    ZORV_CHECK(add_inputs(recommend.positive, *input->mutable_positive()));
    ZORV_CHECK(add_inputs(recommend.negative, *input->mutable_negative()));
    if (recommend.strategy) input->set_strategy(ZORV_TRY(recommend_strategy_to_proto(*recommend.strategy)));
    return {};
}

core::Result<void> fusion_to_proto(const PlanQuery::Fusion& fusion, qdrant::Query& out) {
    if (fusion.method == "rrf") {
        out.set_fusion(qdrant::FUSION_RRF);
    } else if (fusion.method == "dbsf") {
        out.set_fusion(qdrant::FUSION_DBSF);
    } else {
        return core::fail(core::Diag::GrpcFusion,
                          format_message("unsupported fusion method '{}' on the gRPC path", fusion.method));
    }
    return {};
}

core::Result<void> rrf_to_proto(const PlanQuery::Rrf& rrf, qdrant::Query& out) {
    qdrant::Rrf* message = out.mutable_rrf();
    if (rrf.k) {
        if (*rrf.k > max_u32) {
            return core::fail(core::Diag::GrpcRrfK,
                              format_message("rrf_k = {} cannot be represented on the gRPC path: the bundled Qdrant "
                                             "proto stores k as uint32 (max {})",
                                             std::to_string(*rrf.k), std::to_string(max_u32)));
        }
        message->set_k(static_cast<std::uint32_t>(*rrf.k));
    }
    if (!rrf.weights) return {};
    for (const double weight : *rrf.weights) {
        const auto narrowed = static_cast<float>(weight);
        // NaN compares unequal to itself and is refused with the rest.
        if (static_cast<double>(narrowed) != weight) {
            return core::fail(core::Diag::GrpcRrfWeight,
                              format_message("rrf_weights value {} cannot be represented exactly on the gRPC path: "
                                             "the bundled Qdrant proto stores weights as f32",
                                             shortest_text(weight)));
        }
        message->add_weights(narrowed);
    }
    return {};
}

core::Result<void> formula_to_proto(const PlanQuery::Formula& formula, qdrant::Query& out) {
    auto expression = expression_to_proto(formula.formula);
    if (!expression) return std::unexpected(std::move(expression).error());
    qdrant::Formula* message = out.mutable_formula();
    *message->mutable_expression() = std::move(*expression);
    if (!formula.defaults) return {};
    auto& defaults = *message->mutable_defaults();
    for (const auto& [key, value] : *formula.defaults) defaults[key] = formula_defaults_to_proto(value);
    return {};
}

core::Result<void> feedback_to_proto(const PlanQuery::RelevanceFeedback& feedback, qdrant::Query& out) {
    qdrant::RelevanceFeedbackInput* input = out.mutable_relevance_feedback();
    input->mutable_feedback()->Reserve(static_cast<int>(feedback.feedback.size()));
    for (const plan::PlanFeedback& item : feedback.feedback) {
        qdrant::FeedbackItem* entry = input->add_feedback();
        ZORV_CHECK(add_input(item.example, *entry->mutable_example()));
        entry->set_score(static_cast<float>(item.score));
    }
    ZORV_CHECK(add_input(feedback.target, *input->mutable_target()));
    qdrant::NaiveFeedbackStrategy* naive = input->mutable_strategy()->mutable_naive();
    naive->set_a(static_cast<float>(feedback.a));
    naive->set_b(static_cast<float>(feedback.b));
    naive->set_c(static_cast<float>(feedback.c));
    return {};
}

core::Result<void> fill_query(const PlanQuery& query, qdrant::Query& out) {
    switch (query.kind()) {
        case Kind::Nearest: return nearest_to_proto(query.get<Kind::Nearest>(), out);
        case Kind::Recommend: return recommend_to_proto(query.get<Kind::Recommend>(), out);
        case Kind::Context: return add_pairs(query.get<Kind::Context>().pairs, *out.mutable_context());
        case Kind::Discover: {
            const auto& discover = query.get<Kind::Discover>();
            qdrant::DiscoverInput* input = out.mutable_discover();
            ZORV_CHECK(add_input(discover.target, *input->mutable_target()));
            return add_pairs(discover.context, *input->mutable_context());
        }
        case Kind::OrderBy: {
            const auto& order_by = query.get<Kind::OrderBy>();
            *out.mutable_order_by() =
                ZORV_TRY(order_by_to_proto(order_by.key, order_by.direction, order_by.start_from));
            return {};
        }
        case Kind::Sample: out.set_sample(qdrant::SAMPLE_RANDOM); return {};
        case Kind::Fusion: return fusion_to_proto(query.get<Kind::Fusion>(), out);
        case Kind::Rrf: return rrf_to_proto(query.get<Kind::Rrf>(), out);
        case Kind::Formula: return formula_to_proto(query.get<Kind::Formula>(), out);
        case Kind::RelevanceFeedback: return feedback_to_proto(query.get<Kind::RelevanceFeedback>(), out);
    }
    return {};
}

core::Result<void> add_prefetches(const std::vector<plan::PlanPrefetch>& stages,
                                  google::protobuf::RepeatedPtrField<qdrant::PrefetchQuery>& out) {
    out.Reserve(static_cast<int>(stages.size()));
    for (const plan::PlanPrefetch& stage : stages) *out.Add() = ZORV_TRY(prefetch_to_proto(stage));
    return {};
}

// The fields a top-level request shares with its groups form, in field order.
template <class Message>
core::Result<void> fill_search(const plan::PlanQueryRequest& request, std::string_view collection, Message& out) {
    out.set_collection_name(std::string(collection));
    ZORV_CHECK(add_prefetches(request.prefetch, *out.mutable_prefetch()));
    *out.mutable_query() = ZORV_TRY(query_to_proto(request.query));
    if (request.using_) out.set_using_(*request.using_);
    if (request.filter) *out.mutable_filter() = ZORV_TRY(filter_to_proto(*request.filter));
    if (request.params) *out.mutable_params() = ZORV_TRY(search_params_to_proto(*request.params));
    if (request.score_threshold) out.set_score_threshold(static_cast<float>(*request.score_threshold));
    if (request.with_vector) *out.mutable_with_vectors() = vector_selector_to_proto(*request.with_vector);
    if (request.with_payload) *out.mutable_with_payload() = payload_selector_to_proto(*request.with_payload);
    if (request.shard_key) *out.mutable_shard_key_selector() = shard_key_selector_to_proto(*request.shard_key);
    // REST sends it too: the ids of the inputs are looked up in that collection.
    if (request.lookup_from) *out.mutable_lookup_from() = lookup_location_to_proto(*request.lookup_from);
    return {};
}

}  // namespace

core::Result<qdrant::QueryPoints> build_query_points(const plan::PlanQueryRequest& request,
                                                     std::string_view collection) {
    qdrant::QueryPoints out;
    ZORV_CHECK(fill_search(request, collection, out));
    if (request.limit) out.set_limit(*request.limit);
    if (request.offset) out.set_offset(*request.offset);
    return out;
}

core::Result<qdrant::QueryPointGroups> build_query_point_groups(const plan::QueryGroupsOp& op) {
    qdrant::QueryPointGroups out;
    ZORV_CHECK(fill_search(op.request, op.collection, out));
    out.set_group_by(op.group_by);
    if (op.with_lookup) *out.mutable_with_lookup() = with_lookup_to_proto(*op.with_lookup);
    if (op.consistency) *out.mutable_read_consistency() = read_consistency_to_proto(*op.consistency);
    if (op.timeout) out.set_timeout(*op.timeout);
    out.set_limit(op.limit);
    out.set_group_size(op.group_size);
    return out;
}

core::Result<qdrant::PrefetchQuery> prefetch_to_proto(
    const plan::PlanPrefetch& prefetch) {  // NOLINT(misc-no-recursion)
    qdrant::PrefetchQuery out;
    if (prefetch.prefetch) ZORV_CHECK(add_prefetches(*prefetch.prefetch, *out.mutable_prefetch()));
    if (prefetch.query) *out.mutable_query() = ZORV_TRY(query_to_proto(*prefetch.query));
    if (prefetch.using_) out.set_using_(*prefetch.using_);
    if (prefetch.filter) *out.mutable_filter() = ZORV_TRY(filter_to_proto(*prefetch.filter));
    if (prefetch.params) *out.mutable_params() = ZORV_TRY(search_params_to_proto(*prefetch.params));
    if (prefetch.score_threshold) out.set_score_threshold(static_cast<float>(*prefetch.score_threshold));
    if (prefetch.limit) out.set_limit(*prefetch.limit);
    if (prefetch.lookup_from) *out.mutable_lookup_from() = lookup_location_to_proto(*prefetch.lookup_from);
    return out;
}

core::Result<qdrant::Query> query_to_proto(const plan::PlanQuery& query) {
    qdrant::Query out;
    ZORV_CHECK(fill_query(query, out));
    return out;
}

core::Result<qdrant::SearchParams> search_params_to_proto(const plan::PlanSearchParams& params) {
    qdrant::SearchParams out;
    if (params.hnsw_ef) out.set_hnsw_ef(*params.hnsw_ef);
    if (params.exact) out.set_exact(*params.exact);
    if (params.quantization) {
        qdrant::QuantizationSearchParams* quantization = out.mutable_quantization();
        if (params.quantization->ignore) quantization->set_ignore(*params.quantization->ignore);
        if (params.quantization->rescore) quantization->set_rescore(*params.quantization->rescore);
        if (params.quantization->oversampling) quantization->set_oversampling(*params.quantization->oversampling);
    }
    if (params.indexed_only) out.set_indexed_only(*params.indexed_only);
    if (params.acorn) {
        qdrant::AcornSearchParams* acorn = out.mutable_acorn();
        acorn->set_enable(params.acorn->enable);
        if (params.acorn->max_selectivity) acorn->set_max_selectivity(*params.acorn->max_selectivity);
    }
    if (params.idf) {
        qdrant::IdfParams* idf = out.mutable_idf();
        // Falling back to the global corpus would score against other points than asked.
        if (params.idf->corpus) *idf->mutable_corpus() = ZORV_TRY(filter_to_proto(*params.idf->corpus));
    }
    return out;
}

qdrant::LookupLocation lookup_location_to_proto(const plan::PlanLookupLocation& lookup) {
    qdrant::LookupLocation out;
    out.set_collection_name(lookup.collection);
    if (lookup.vector) out.set_vector_name(*lookup.vector);
    if (lookup.shard_key) *out.mutable_shard_key_selector() = shard_key_selector_to_proto(*lookup.shard_key);
    return out;
}

qdrant::WithLookup with_lookup_to_proto(const plan::PlanWithLookup& with_lookup) {
    qdrant::WithLookup out;
    out.set_collection(with_lookup.collection);
    if (with_lookup.with_payload) *out.mutable_with_payload() = payload_selector_to_proto(*with_lookup.with_payload);
    if (with_lookup.with_vectors) *out.mutable_with_vectors() = vector_selector_to_proto(*with_lookup.with_vectors);
    return out;
}

qdrant::Value formula_defaults_to_proto(const plan::PlanDefaultValue& value) {  // NOLINT(misc-no-recursion)
    using DefaultKind = plan::PlanDefaultValue::Kind;
    qdrant::Value out;
    switch (value.kind()) {
        case DefaultKind::Null: break;
        case DefaultKind::Bool: out.set_bool_value(std::get<bool>(value.value)); break;
        case DefaultKind::Integer: out.set_integer_value(std::get<std::int64_t>(value.value)); break;
        case DefaultKind::Float: out.set_double_value(std::get<double>(value.value)); break;
        case DefaultKind::String: out.set_string_value(std::get<std::string>(value.value)); break;
        case DefaultKind::List: {
            qdrant::ListValue* list = out.mutable_list_value();
            for (const plan::PlanDefaultValue& item : std::get<plan::PlanDefaultList>(value.value)) {
                *list->add_values() = formula_defaults_to_proto(item);
            }
            break;
        }
        case DefaultKind::Object: {
            auto& fields = *out.mutable_struct_value()->mutable_fields();
            for (const auto& [key, item] : std::get<plan::PlanDefaultObject>(value.value)) {
                fields[key] = formula_defaults_to_proto(item);
            }
            break;
        }
    }
    return out;
}

core::Result<qdrant::RecommendStrategy> recommend_strategy_to_proto(std::string_view strategy) {
    if (strategy == "average_vector") return qdrant::RECOMMEND_AVERAGE_VECTOR;
    if (strategy == "best_score") return qdrant::RECOMMEND_BEST_SCORE;
    if (strategy == "sum_scores") return qdrant::RECOMMEND_SUM_SCORES;
    return std::unexpected(unsupported_strategy_error(strategy));
}

core::ZorvError unsupported_strategy_error(std::string_view strategy) {
    return core::make_error(core::Diag::GrpcStrategy,
                            format_message("unsupported recommend strategy '{}' on the gRPC path; use average_vector, "
                                           "best_score, or sum_scores",
                                           std::string(strategy)));
}

}  // namespace zorv::runtime::rpc
