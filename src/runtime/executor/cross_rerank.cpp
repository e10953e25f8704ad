#include "runtime/executor/cross_rerank.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "embed/message_format.h"
#include "runtime/executor/rerank_order.h"
#include "runtime/executor/schema_cache.h"

namespace zorv::runtime {
namespace {

using embed::format_message;
using protocol::ExecData;
using protocol::StatementResult;

StatementResult hits_result(std::string message, std::vector<protocol::ScoredPoint> hits) {
    return StatementResult{.ok = true,
                           .operation = "CROSS_RERANK",
                           .message = std::move(message),
                           .data = ExecData{ExecData::Hits{std::move(hits)}},
                           .telemetry = std::nullopt};
}

// Keeps the hits of one candidate's reply, dropping repeats within that reply only: the same
// point from two candidates is collected twice.
core::Result<void> collect_hits(const plan::QueryOp& candidate, std::size_t position, protocol::BackendReply reply,
                                std::set<std::pair<std::size_t, plan::PlanPointId>>& seen,
                                RerankCandidates& collected) {
    if (!reply.data || !reply.data->is(ExecData::Kind::Hits)) {
        return core::fail(core::Diag::BackendEnvelope,
                          format_message("CROSS RERANK candidate query on '{}' returned a non-hits response",
                                         candidate.collection));
    }
    for (auto& hit : std::get<ExecData::Hits>(reply.data->value).points) {
        if (!seen.emplace(position, hit.id).second) continue;
        collected.origins.push_back(position);
        collected.hits.push_back(std::move(hit));
    }
    return {};
}

// The candidate searches, strictly one at a time; their time and usage are not reported.
AsyncResult<RerankCandidates> run_candidates(Executor& executor, const std::vector<plan::QueryOp>& candidates) {
    RerankCandidates collected;
    std::set<std::pair<std::size_t, plan::PlanPointId>> seen;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        auto op = plan::make_op<plan::PlanOpKind::Query>(candidates[i]);
        auto reply = co_await schema_for_dispatch(executor, std::move(op));
        if (!reply) co_return std::unexpected(std::move(reply).error());
        auto kept = collect_hits(candidates[i], i, std::move(*reply), seen, collected);
        if (!kept) co_return std::unexpected(std::move(kept).error());
    }
    co_return collected;
}

struct Documents {
    std::vector<std::string> texts;
    std::vector<std::size_t> hits;  // hit position of each text
};

Documents documents_in_order(const plan::CrossRerankOp& op, const RerankCandidates& collected) {
    Documents out;
    for (std::size_t position : candidate_hit_positions(op.candidates, collected)) {
        auto text = document_text(collected.hits[position], op.field);
        if (!text) continue;
        out.texts.emplace_back(*text);
        out.hits.push_back(position);
    }
    return out;
}

std::vector<protocol::ScoredPoint> top_hits(const plan::CrossRerankOp& op, const RerankCandidates& collected,
                                            const Documents& documents, const std::vector<float>& scores) {
    std::vector<double> wide;
    wide.reserve(scores.size());
    for (float s : scores) wide.push_back(protocol::score_f64(s));
    const std::vector<std::size_t> ranked = score_order(wide);
    std::vector<protocol::ScoredPoint> out;
    for (std::size_t at = op.offset; at < ranked.size() && out.size() < op.limit; ++at) {
        const std::size_t document = ranked[at];
        const std::size_t hit = documents.hits[document];
        protocol::ScoredPoint point = collected.hits[hit];
        point.score = wide[document];
        point.collection = op.candidates[collected.origins[hit]].collection;
        out.push_back(std::move(point));
    }
    return out;
}

}  // namespace

AsyncResult<StatementResult> cross_rerank(Executor& executor, plan::CrossRerankOp op) {
    if (!executor.embedder) {
        co_return core::fail(core::Diag::RerankCross,
                             "CROSS RERANK requires a configured embedder with pair scoring "
                             "(rerank_endpoint / edge reranker_model)");
    }
    auto collected = co_await run_candidates(executor, op.candidates);
    if (!collected) co_return std::unexpected(std::move(collected).error());
    if (collected->hits.empty()) co_return hits_result("Found 0 hits", {});

    Documents documents = documents_in_order(op, *collected);
    if (documents.texts.empty()) {
        co_return core::fail(core::Diag::RerankCrossField,
                             format_message("CROSS RERANK found candidates but none had non-empty payload field "
                                            "'{}'. Ensure UPSERT stores text on that field and PREFETCH returns "
                                            "WITH PAYLOAD.",
                                            op.field));
    }
    auto scores = co_await executor.embedder->rerank_pairs(op.query, documents.texts, op.model);
    if (!scores) co_return std::unexpected(std::move(scores).error());
    if (scores->size() != documents.texts.size()) {
        co_return core::fail(core::Diag::RerankCross, format_message("rerank_pairs returned {} scores for {} documents",
                                                                     scores->size(), documents.texts.size()));
    }
    auto hits = top_hits(op, *collected, documents, *scores);
    std::string message = format_message("Found {} hits (cross-encoder)", hits.size());
    co_return hits_result(std::move(message), std::move(hits));
}

}  // namespace zorv::runtime
