// The vectors, points and payloads that point writes carry, and the inputs of vector queries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "core/ast/literal.h"
#include "core/ast/vector.h"
#include "plan/query_plan.h"  // PlanQueryInput

namespace zorv::plan {

using PlanPointId = std::variant<std::uint64_t, std::string>;

// The statement's vector values already have the plan's eight kinds (dense, sparse, multi,
// document, image, object and the two placeholders) and nothing the plan must not hold, so the
// plan keeps them as they are instead of copying them into a twin type.
using PlanVector = core::VectorValue;
// One unnamed vector, (name, vector) pairs in written order, or a placeholder for the whole value.
using PlanPointVectors = core::PointVectors;
// (key, value) entries in written order, repeated keys kept.
using PlanPayload = core::LiteralDict;

struct PlanPoint {
    PlanPointId id;
    std::optional<PlanPointVectors> vector;
    std::optional<PlanPayload> payload;  // absent when the row has no payload entry
    friend bool operator==(const PlanPoint&, const PlanPoint&) = default;
};

}  // namespace zorv::plan
