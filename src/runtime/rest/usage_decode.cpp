#include "runtime/rest/usage_decode.h"

#include <array>
#include <cstdint>

namespace zorv::runtime::rest {
namespace {

using protocol::HardwareUsage;
using protocol::InferenceUsage;
using protocol::ModelUsage;
using simdjson::dom::element_type;

constexpr std::array hardware_counters = {
    std::pair{"cpu", &HardwareUsage::cpu},
    std::pair{"payload_io_read", &HardwareUsage::payload_io_read},
    std::pair{"payload_io_write", &HardwareUsage::payload_io_write},
    std::pair{"payload_index_io_read", &HardwareUsage::payload_index_io_read},
    std::pair{"payload_index_io_write", &HardwareUsage::payload_index_io_write},
    std::pair{"vector_io_read", &HardwareUsage::vector_io_read},
    std::pair{"vector_io_write", &HardwareUsage::vector_io_write},
};

// An object of named counters (missing ones 0) or an array of them in field order (missing
// trailing ones 0); one bad counter drops the whole part.
std::optional<HardwareUsage> read_hardware(JsonElement value) {
    HardwareUsage out;
    if (value.type() == element_type::OBJECT) {
        for (const auto& [name, field] : hardware_counters) {
            const std::optional<JsonElement> counter = member(value, name);
            if (!counter) continue;
            const std::optional<std::uint64_t> n = as_u64(*counter);
            if (!n) return std::nullopt;
            out.*field = *n;
        }
        return out;
    }
    simdjson::dom::array array;
    if (value.get(array) != simdjson::SUCCESS || array.size() > hardware_counters.size()) return std::nullopt;
    std::size_t at = 0;
    for (JsonElement counter : array) {
        const std::optional<std::uint64_t> n = as_u64(counter);
        if (!n) return std::nullopt;
        out.*hardware_counters[at++].second = *n;
    }
    return out;
}

// {"tokens": n} with n defaulting to 0, or [n] / [].
std::optional<ModelUsage> read_model(JsonElement value) {
    std::optional<JsonElement> tokens;
    if (value.type() == element_type::OBJECT) {
        tokens = member(value, "tokens");
    } else {
        simdjson::dom::array array;
        if (value.get(array) != simdjson::SUCCESS || array.size() > 1) return std::nullopt;
        if (array.size() == 1) tokens = array.at(0).value_unsafe();
    }
    if (!tokens) return ModelUsage{};
    const std::optional<std::uint64_t> n = as_u64(*tokens);
    if (!n) return std::nullopt;
    return ModelUsage{*n};
}

// {"models": {...}} (models defaulting to none), or [models] / [].
std::optional<InferenceUsage> read_inference(JsonElement value) {
    std::optional<JsonElement> models;
    if (value.type() == element_type::OBJECT) {
        models = member(value, "models");
    } else {
        simdjson::dom::array array;
        if (value.get(array) != simdjson::SUCCESS || array.size() > 1) return std::nullopt;
        if (array.size() == 1) models = array.at(0).value_unsafe();
    }
    if (!models) return InferenceUsage{};
    auto read = deserialize_model_usage(*models);
    if (!read) return std::nullopt;
    return InferenceUsage{std::move(*read)};
}

}  // namespace

std::optional<std::vector<std::pair<std::string, ModelUsage>>> deserialize_model_usage(JsonElement models) {
    simdjson::dom::object object;
    if (models.get(object) != simdjson::SUCCESS) return std::nullopt;
    std::vector<std::pair<std::string, ModelUsage>> out;
    for (auto field : object) {
        const std::optional<ModelUsage> usage = read_model(field.value);
        if (!usage) return std::nullopt;
        // A repeated name keeps its first place and its last value.
        auto same =
            std::ranges::find(out, field.key, [](const auto& entry) -> std::string_view { return entry.first; });
        if (same != out.end()) {
            same->second = *usage;
        } else {
            out.emplace_back(std::string(field.key), *usage);
        }
    }
    return out;
}

std::optional<protocol::Usage> decode_usage(JsonElement value) {
    if (value.type() != element_type::OBJECT) return std::nullopt;
    protocol::Usage usage;
    if (const std::optional<JsonElement> hardware = member(value, "hardware"))
        usage.hardware = read_hardware(*hardware);
    if (const std::optional<JsonElement> inference = member(value, "inference")) {
        usage.inference = read_inference(*inference);
    }
    if (!usage.hardware && !usage.inference) return std::nullopt;
    return usage;
}

std::optional<protocol::Telemetry> decode_telemetry(JsonElement reply) {
    protocol::Telemetry telemetry;
    if (const std::optional<JsonElement> time = member(reply, "time")) telemetry.time_s = as_f64(*time);
    if (const std::optional<JsonElement> usage = member(reply, "usage")) telemetry.usage = decode_usage(*usage);
    if (!telemetry.time_s && !telemetry.usage) return std::nullopt;
    return telemetry;
}

}  // namespace zorv::runtime::rest
