#include "embed/query_embedding.h"

#include <algorithm>
#include <numeric>
#include <optional>
#include <utility>

#include "core/diagnostics.h"
#include "embed/message_format.h"
#include "embed/query_inputs.h"
#include "embed/query_vector_kinds.h"
#include "plan/prefetch.h"

namespace zorv::embed {

namespace {

using core::Diag;
using core::QueryExpr;
using K = QueryExpr::Kind;

constexpr std::string_view kDefaultModel = "default";

core::ZorvError unbound_text_error() {
    return core::make_error(Diag::Embedding,
                            "cannot client-embed TEXT with an unbound parameter; bind the statement before embedding");
}

core::ZorvError options_error(std::string_view what) {
    return core::make_error(Diag::Embedding, format_message("OPTIONS on {} requires server-side inference; the "
                                                            "configured client embedder cannot honor it. Remove the "
                                                            "OPTIONS clause or detach the client embedder",
                                                            what));
}

EmbedKind text_kind(TargetFlags flags) {
    if (flags.sparse) return EmbedKind::Sparse;
    return flags.multi ? EmbedKind::Multi : EmbedKind::Dense;
}

core::Result<void> collect_input_job(const core::QueryInput& input, TargetFlags flags, std::string_view model,
                                     std::vector<EmbeddingJob>& jobs) {
    using IK = core::QueryInput::Kind;
    if (input.is(IK::Text)) {
        const auto& text = input.get<IK::Text>();
        if (text.text_param) return std::unexpected(unbound_text_error());
        if (!text.options.empty()) return std::unexpected(options_error("TEXT"));
        jobs.push_back(EmbeddingJob{text.model ? *text.model : std::string(model), text.text, text_kind(flags)});
    } else if (input.is(IK::Image)) {
        const auto& image = input.get<IK::Image>();
        if (!image.options.empty()) return std::unexpected(options_error("IMAGE"));
        ZORV_CHECK(check_image_target(flags));
        jobs.push_back(EmbeddingJob{image.model ? *image.model : std::string(model), image.source, EmbedKind::Image});
    }
    return {};
}

core::Result<void> collect_hybrid_jobs(const core::Query& query, const QueryExpr::Hybrid& hybrid,
                                       std::vector<EmbeddingJob>& jobs) {
    if (hybrid.text_param) return std::unexpected(unbound_text_error());
    // The write-back needs the stage limit; an overflow fails here, before anything is embedded.
    ZORV_CHECK(plan::hybrid_candidate_limit(query.page));
    const std::string model = hybrid.model ? *hybrid.model : std::string(kDefaultModel);
    jobs.push_back(EmbeddingJob{model, hybrid.text, EmbedKind::Dense});
    jobs.push_back(EmbeddingJob{model, hybrid.text, EmbedKind::Sparse});
    return {};
}

core::Result<void> collect_node_jobs(const core::Query& query, std::vector<EmbeddingJob>& jobs) {
    const QueryExpr& expr = query.expression;
    if (expr.is(K::Hybrid)) return collect_hybrid_jobs(query, expr.get<K::Hybrid>(), jobs);
    if (!takes_query_inputs(expr.kind())) return {};
    const TargetFlags flags = ZORV_TRY(using_target_flags(*expr.using_slot()));
    std::string_view model = kDefaultModel;
    if (expr.is(K::Rerank)) {
        ZORV_CHECK(check_rerank_target(flags));
        model = expr.get<K::Rerank>().model;
    }
    return for_each_query_input(expr, [&](const core::QueryInput& input) {
        return collect_input_job(input, flags, model, jobs);
    });
}

core::ZorvError count_error(EmbedKind kind, std::size_t returned, std::size_t inputs, std::string_view model) {
    std::string message;
    switch (kind) {
        case EmbedKind::Dense:
            message = format_message("{} returned {} vectors for {} texts (model={})", "embed_dense_batch", returned,
                                     inputs, model);
            break;
        case EmbedKind::Sparse:
            message = format_message("embed_sparse_query_batch returned {} vectors for {} texts (model={})", returned,
                                     inputs, model);
            break;
        case EmbedKind::Multi:
            message =
                format_message("embed_multi_batch returned {} bags for {} texts (model={})", returned, inputs, model);
            break;
        case EmbedKind::Image:
            message = format_message("embed_image_batch returned {} vectors for {} sources (model={})", returned,
                                     inputs, model);
            break;
    }
    return core::make_error(embed_kind_diag(kind), std::move(message));
}

// The results of one batch call, each wrapped as that kind's output.
template <class T, class Wrap>
core::Result<std::vector<EmbeddingOutput>> wrap_outputs(core::Result<std::vector<T>> results, EmbedKind kind,
                                                        std::size_t inputs, std::string_view model, Wrap wrap) {
    if (!results) return std::unexpected(std::move(results).error());
    if (results->size() != inputs) return std::unexpected(count_error(kind, results->size(), inputs, model));
    std::vector<EmbeddingOutput> out;
    out.reserve(inputs);
    for (T& result : *results) out.push_back(wrap(std::move(result)));
    return out;
}

// One batch call of the kind's operation.
AsyncResult<std::vector<EmbeddingOutput>> embed_group(std::shared_ptr<const Embedder> embedder, EmbedKind kind,
                                                      std::vector<std::string> inputs, std::string model) {
    const std::size_t count = inputs.size();
    switch (kind) {
        case EmbedKind::Dense: {
            auto results = co_await embedder->embed_dense_batch(std::move(inputs), model);
            co_return wrap_outputs(std::move(results), kind, count, model, &EmbeddingOutput::dense);
        }
        case EmbedKind::Sparse: {
            auto results = co_await embedder->embed_sparse_query_batch(model, std::move(inputs));
            co_return wrap_outputs(std::move(results), kind, count, model, &EmbeddingOutput::sparse);
        }
        case EmbedKind::Multi: {
            auto results = co_await embedder->embed_multi_batch(std::move(inputs), model);
            co_return wrap_outputs(std::move(results), kind, count, model, &EmbeddingOutput::multi);
        }
        case EmbedKind::Image: {
            auto results = co_await embedder->embed_image_batch(std::move(inputs), model);
            co_return wrap_outputs(std::move(results), kind, count, model, &EmbeddingOutput::image);
        }
    }
    co_return std::vector<EmbeddingOutput>{};
}

}  // namespace

core::Result<void> check_query_vector_kinds(const core::Query& query, std::vector<EmbeddingJob>& jobs, unsigned depth) {
    if (depth > plan::kMaxQueryDepth) return std::unexpected(plan::nesting_error());
    for (const core::CteDefinition& cte : query.ctes) ZORV_CHECK(check_query_vector_kinds(*cte.query, jobs, depth + 1));
    ZORV_CHECK(collect_node_jobs(query, jobs));
    if (const core::PrefetchList* prefetch = query.expression.prefetch_list(); prefetch != nullptr) {
        for (const core::Prefetch& item : *prefetch) {
            if (item.source.is(core::PrefetchSource::Kind::Query))
                ZORV_CHECK(check_query_vector_kinds(item.source.query(), jobs, depth + 1));
        }
    }
    return {};
}

std::vector<std::vector<std::size_t>> group_by_model(const std::vector<const std::string*>& models) {
    std::vector<std::vector<std::size_t>> groups;
    if (models.empty()) return groups;
    std::vector<std::size_t> order(models.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const bool one_model =
        std::all_of(models.begin(), models.end(), [&](const std::string* model) { return *model == *models.front(); });
    if (one_model) {
        groups.push_back(std::move(order));
        return groups;
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return *models[a] < *models[b]; });
    for (std::size_t position : order) {
        if (groups.empty() || *models[groups.back().front()] != *models[position]) groups.emplace_back();
        groups.back().push_back(position);
    }
    return groups;
}

AsyncResult<std::vector<EmbeddingOutput>> resolve_query_embeddings(std::shared_ptr<const Embedder> embedder,
                                                                   std::vector<EmbeddingJob> jobs) {
    std::vector<std::optional<EmbeddingOutput>> slots(jobs.size());
    for (const EmbedKind kind : kEmbedKinds) {
        std::vector<std::size_t> of_kind;
        std::vector<const std::string*> models;
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            if (jobs[i].kind != kind) continue;
            of_kind.push_back(i);
            models.push_back(&jobs[i].model);
        }
        if (of_kind.empty()) continue;
        for (const std::vector<std::size_t>& group : group_by_model(models)) {
            std::vector<std::string> inputs;
            inputs.reserve(group.size());
            for (std::size_t position : group) inputs.push_back(jobs[of_kind[position]].input);
            std::string model = *models[group.front()];
            auto outputs = co_await embed_group(embedder, kind, std::move(inputs), std::move(model));
            if (!outputs) co_return std::unexpected(std::move(outputs).error());
            for (std::size_t i = 0; i < group.size(); ++i) slots[of_kind[group[i]]] = std::move((*outputs)[i]);
        }
        for (std::size_t position = 0; position < of_kind.size(); ++position) {
            if (!slots[of_kind[position]])
                co_return core::fail(embed_kind_diag(kind), format_message("missing {} embedding at job index {}",
                                                                           embed_kind_name(kind), position));
        }
    }
    std::vector<EmbeddingOutput> out;
    out.reserve(slots.size());
    for (std::size_t i = 0; i < slots.size(); ++i) {
        if (!slots[i])
            co_return core::fail(Diag::Embedding,
                                 format_message("internal error: missing query embedding at job index {}", i));
        out.push_back(std::move(*slots[i]));
    }
    co_return out;
}

}  // namespace zorv::embed
