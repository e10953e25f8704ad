// SCROLL, and the point selectors of DELETE and CLEAR PAYLOAD (ids or a WHERE filter).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/ast/filter.h"
#include "core/ast/read.h"
#include "core/error.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// ZORV-PLAN-SCROLL-AFTER when AFTER is already the largest id, ZORV-PLAN-SCROLL-LIMIT without a
// LIMIT. The offset is the successor of AFTER: the next integer, or the next UUID in canonical
// lower-case text; a text that is no UUID passes unchanged for point-id validation to refuse.
core::Result<ScrollOp> lower_scroll(const core::Scroll& scroll);

core::Result<PlanPointsSelector> lower_points_selector(const core::PointSelector& selector,
                                                       const std::optional<core::ShardKey>& shard_key);

// The UUID read as a 128-bit number plus one, as 8-4-4-4-12 lower-case digits; nullopt when the
// text is no UUID (any of the four forms) or is already the largest one.
std::optional<std::string> next_uuid_text(std::string_view text);

std::optional<PlanShardKey> to_plan_shard_key(const std::optional<core::ShardKey>& key);

}  // namespace zorv::plan
