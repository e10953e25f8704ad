#include "plan/create_steps.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

#include "plan/rest/collection_body.h"

namespace zorv::plan {

namespace {

// {"params": {...}} with the fan-out settings that are set; nothing when neither is.
std::optional<JsonValue> fan_out_body(const PlanCollectionConfig& config) {
    if (!config.read_fan_out_factor && !config.read_fan_out_delay_ms) return std::nullopt;
    JsonObject params;
    if (config.read_fan_out_factor) params.emplace("read_fan_out_factor", *config.read_fan_out_factor);
    if (config.read_fan_out_delay_ms) params.emplace("read_fan_out_delay_ms", *config.read_fan_out_delay_ms);
    JsonObject body;
    body.emplace("params", std::move(params));
    return body;
}

// The key is written untagged: a number or a string.
JsonValue shard_key_body(const std::variant<std::uint64_t, std::string>& key) {
    JsonObject body;
    body.emplace("shard_key", std::visit([](const auto& k) { return JsonValue(k); }, key));
    return body;
}

}  // namespace

std::vector<RestStep> create_collection_steps(std::string_view collection, const PlanCollectionConfig& config) {
    const std::string path = collection_path(collection);
    std::vector<RestStep> steps;
    steps.push_back(RestStep{path, collection_config_to_value(config), HttpMethod::Put});
    if (auto fan_out = fan_out_body(config)) steps.push_back(RestStep{path, std::move(*fan_out), HttpMethod::Patch});
    if (config.shard_keys) {
        for (const auto& key : *config.shard_keys)
            steps.push_back(RestStep{path + "/shards", shard_key_body(key), HttpMethod::Put});
    }
    return steps;
}

}  // namespace zorv::plan
