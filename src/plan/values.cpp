#include "plan/values.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/overloaded.h"

namespace zorv::plan {

void unbound_placeholder(const core::Placeholder& placeholder, std::string_view place) {
    const std::string what = placeholder.is_named() ? "unbound parameter " : "unbound positional parameter ";
    std::fprintf(stderr, "invariant violation: %s%s reached %.*s\n", what.c_str(), placeholder.text().c_str(),
                 static_cast<int>(place.size()), place.data());
    std::abort();
}

PlanShardKey to_plan_shard_key(const core::ShardKey& key) {
    return std::visit(core::Overloaded{
                          [](const std::string& text) { return PlanShardKey(text); },
                          [](std::uint64_t number) { return PlanShardKey(number); },
                          [](const core::Placeholder& p) -> PlanShardKey { unbound_placeholder(p, "PlanShardKey"); },
                      },
                      key.value);
}

PlanPointId to_plan_point_id(const core::PointId& id) {
    return std::visit(core::Overloaded{
                          [](std::uint64_t number) { return PlanPointId(number); },
                          [](const std::string& text) { return PlanPointId(text); },
                          [](const core::Placeholder& p) -> PlanPointId { unbound_placeholder(p, "PlanPointId"); },
                      },
                      id.value);
}

}  // namespace zorv::plan
