// Statement results as a JSON value tree, for the EXPLAIN ANALYZE report. Objects keep their keys
// in ascending order (the tree's map); every non-finite number comes out as null.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "core/ast/vector.h"
#include "plan/json_value.h"
#include "protocol/response.h"
#include "protocol/usage.h"

namespace zorv::runtime {

// Adds "results": one object per result, in order, each with "ok", "operation", "message",
// "data" (null without data) and "telemetry" (only when the result has some).
void results_to_value(plan::JsonObject& out, const std::vector<protocol::StatementResult>& results);

// Adds "usage": null when absent, else an object with "hardware" and "inference" when present.
void telemetry_usage_to_value(plan::JsonObject& out, const std::optional<protocol::Usage>& usage);

plan::JsonValue hits_to_value(const std::vector<protocol::ScoredPoint>& hits);
plan::JsonValue vector_to_value(const core::VectorValue& vector);
plan::JsonValue f32_slice_to_json(const std::vector<float>& values);

// The collection object of a SHOW COLLECTION result.
plan::JsonValue collection_info_to_value(const protocol::CollectionSchema& info);

// Adds `key` with "cold", "cached" or "pinned", or null when the tier is absent.
void put_storage_tier_field(plan::JsonObject& out, std::string_view key,
                            const std::optional<protocol::StorageTier>& tier);

}  // namespace zorv::runtime
