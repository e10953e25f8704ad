#include "runtime/rest/quota_config_reader.h"

#include <array>
#include <cstdint>
#include <optional>

namespace zorv::runtime::rest {
namespace {

using protocol::QuotaConfig;
using simdjson::dom::element_type;

using Fault = std::unexpected<std::string>;

std::expected<std::optional<bool>, std::string> read_enabled(JsonElement value) {
    if (value.is_null()) return std::nullopt;
    if (value.type() == element_type::BOOL) return value.get_bool().value_unsafe();
    return Fault(invalid_type(value, "a boolean"));
}

std::expected<std::optional<std::uint64_t>, std::string> read_percent(JsonElement value) {
    if (value.is_null()) return std::nullopt;
    if (const std::optional<std::uint64_t> n = as_u64(value)) return *n;
    if (value.type() == element_type::INT64) return Fault(invalid_value(value, "u64"));
    return Fault(invalid_type(value, "u64"));
}

constexpr std::array percent_fields = {
    std::pair{"max_resident_memory_percent", &QuotaConfig::max_resident_memory_percent},
    std::pair{"max_disk_usage_percent", &QuotaConfig::max_disk_usage_percent},
    std::pair{"release_margin_percent", &QuotaConfig::release_margin_percent},
};

std::expected<QuotaConfig, std::string> read_object(JsonElement value) {
    QuotaConfig config;
    if (const std::optional<JsonElement> enabled = member(value, "enabled")) {
        auto read = read_enabled(*enabled);
        if (!read) return Fault(std::move(read.error()));
        config.enabled = *read;
    }
    for (const auto& [name, field] : percent_fields) {
        const std::optional<JsonElement> percent = member(value, name);
        if (!percent) continue;
        auto read = read_percent(*percent);
        if (!read) return Fault(std::move(read.error()));
        config.*field = *read;
    }
    return config;
}

std::expected<QuotaConfig, std::string> read_array(simdjson::dom::array array) {
    QuotaConfig config;
    std::size_t at = 0;
    for (JsonElement item : array) {
        // The four fields read first; an element past them is refused with the whole length.
        if (at == 1 + percent_fields.size()) return Fault(invalid_length(array.size(), "fewer elements in array"));
        if (at == 0) {
            auto read = read_enabled(item);
            if (!read) return Fault(std::move(read.error()));
            config.enabled = *read;
        } else {
            auto read = read_percent(item);
            if (!read) return Fault(std::move(read.error()));
            config.*percent_fields[at - 1].second = *read;
        }
        ++at;
    }
    return config;
}

}  // namespace

std::expected<QuotaConfig, std::string> read_quota_config(JsonElement value) {
    if (value.type() == element_type::OBJECT) return read_object(value);
    simdjson::dom::array array;
    if (value.get(array) == simdjson::SUCCESS) return read_array(array);
    return Fault(invalid_type(value, "struct QuotaConfig"));
}

}  // namespace zorv::runtime::rest
