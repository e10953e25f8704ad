// The orders of the client-side cross-encoder rerank: collected hits by (collection, point id)
// before they are scored, and the scored documents by score afterwards. Both sorts are stable, so
// equal scores come out in (collection, point id) order.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan/plan_op.h"
#include "protocol/response.h"

namespace zorv::runtime {

// The hits of the candidate searches in reply order, each with the candidate that returned it.
struct RerankCandidates {
    std::vector<protocol::ScoredPoint> hits;
    std::vector<std::size_t> origins;  // candidate position of each hit
};

// Whether hit `a` goes before hit `b`: the returning candidates' collection names as bytes, then
// the point ids (numbers before texts, numbers ascending, texts as bytes).
bool candidate_hit_order(const std::vector<plan::QueryOp>& candidates, const RerankCandidates& collected, std::size_t a,
                         std::size_t b);

// Hit positions 0..n-1 stably sorted by candidate_hit_order.
std::vector<std::size_t> candidate_hit_positions(const std::vector<plan::QueryOp>& candidates,
                                                 const RerankCandidates& collected);

// The hit's document text: the payload's top-level `field` (matched byte for byte) when it is a
// string of at least one byte; white space counts. The last of repeated keys wins.
std::optional<std::string_view> document_text(const protocol::ScoredPoint& hit, std::string_view field);

// Document positions stably sorted by score, highest first; NaN after every number.
std::vector<std::size_t> score_order(const std::vector<double>& scores);

}  // namespace zorv::runtime
