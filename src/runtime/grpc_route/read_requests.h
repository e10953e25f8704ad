// The request messages of the plain reads (Get, Scroll, Count, Facet) and the small conversions
// every read request shares: selectors, read consistency, shard key, point ids and ORDER BY.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "plan/plan_op.h"
#include "qdrant/points.pb.h"

namespace zorv::runtime::rpc {

inline constexpr std::uint64_t max_u32 = 4'294'967'295ULL;

qdrant::GetPoints build_get_points(const plan::GetPointsOp& op);
// ZORV-GRPC-SCROLL-LIMIT for a limit past u32, checked before anything else.
core::Result<qdrant::ScrollPoints> build_scroll_points(const plan::ScrollOp& op);
core::Result<qdrant::CountPoints> build_count_points(const plan::CountOp& op);
core::Result<qdrant::FacetCounts> build_facet_counts(const plan::FacetOp& op);

// The direction (absent, "asc" or "desc") is checked first: ZORV-GRPC-DIRECTION; then START FROM,
// which must be an integer within i64, a float or a datetime text: ZORV-GRPC-START-FROM.
core::Result<qdrant::OrderBy> order_by_to_proto(std::string_view key, const std::optional<std::string>& direction,
                                                const std::optional<core::Literal>& start_from);
core::Result<qdrant::OrderBy> order_by_to_proto(const plan::PlanOrderBy& order_by);

qdrant::WithPayloadSelector payload_selector_to_proto(const plan::PlanPayloadSelector& selector);
qdrant::WithVectorsSelector vector_selector_to_proto(const plan::PlanVectorSelector& selector);
qdrant::ReadConsistency read_consistency_to_proto(const plan::Consistency& consistency);
// One key, no fallback.
qdrant::ShardKeySelector shard_key_selector_to_proto(const plan::PlanShardKey& key);

}  // namespace zorv::runtime::rpc
