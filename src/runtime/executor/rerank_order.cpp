#include "runtime/executor/rerank_order.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <variant>

namespace zorv::runtime {
namespace {

// -1, 0 or 1. Numbers come before texts.
int compare_ids(const plan::PlanPointId& a, const plan::PlanPointId& b) {
    if (a.index() != b.index()) return a.index() < b.index() ? -1 : 1;
    if (const auto* na = std::get_if<std::uint64_t>(&a)) {
        const std::uint64_t nb = std::get<std::uint64_t>(b);
        return *na < nb ? -1 : (*na > nb ? 1 : 0);
    }
    const int c = std::get<std::string>(a).compare(std::get<std::string>(b));
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

}  // namespace

bool candidate_hit_order(const std::vector<plan::QueryOp>& candidates, const RerankCandidates& collected, std::size_t a,
                         std::size_t b) {
    // std::string::compare is a byte comparison with the shorter prefix first.
    const std::string& ca = candidates[collected.origins[a]].collection;
    const std::string& cb = candidates[collected.origins[b]].collection;
    if (const int c = ca.compare(cb); c != 0) return c < 0;
    return compare_ids(collected.hits[a].id, collected.hits[b].id) < 0;
}

std::vector<std::size_t> candidate_hit_positions(const std::vector<plan::QueryOp>& candidates,
                                                 const RerankCandidates& collected) {
    std::vector<std::size_t> order(collected.hits.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return candidate_hit_order(candidates, collected, a, b); });
    return order;
}

std::optional<std::string_view> document_text(const protocol::ScoredPoint& hit, std::string_view field) {
    if (!hit.payload) return std::nullopt;
    const plan::JsonValue* found = nullptr;
    for (const auto& [key, value] : *hit.payload) {
        if (key == field) found = &value;
    }
    if (found == nullptr || !found->is(plan::JsonValue::Kind::String) || found->as_string().empty()) {
        return std::nullopt;
    }
    return std::string_view(found->as_string());
}

std::vector<std::size_t> score_order(const std::vector<double>& scores) {
    std::vector<std::size_t> order(scores.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const double sa = scores[a];
        const double sb = scores[b];
        return !std::isnan(sa) && (std::isnan(sb) || sb < sa);
    });
    return order;
}

}  // namespace zorv::runtime
