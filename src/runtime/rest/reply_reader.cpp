#include "runtime/rest/reply_reader.h"

#include <cmath>
#include <limits>
#include <utility>

#include "core/diagnostics.h"

namespace zorv::runtime::rest {

using simdjson::dom::element_type;

std::unexpected<core::ZorvError> envelope_error(std::string message) {
    return core::fail(core::Diag::BackendEnvelope, std::move(message));
}

std::optional<JsonElement> member(JsonElement value, std::string_view key) {
    simdjson::dom::object object;
    if (value.get(object) != simdjson::SUCCESS) return std::nullopt;
    JsonElement found;
    if (object.at_key(key).get(found) != simdjson::SUCCESS) return std::nullopt;
    return found;
}

std::optional<std::uint64_t> as_u64(JsonElement value) {
    switch (value.type()) {
        case element_type::UINT64: return value.get_uint64().value_unsafe();
        case element_type::INT64: {
            const std::int64_t n = value.get_int64().value_unsafe();
            if (n < 0) return std::nullopt;
            return static_cast<std::uint64_t>(n);
        }
        default: return std::nullopt;
    }
}

// The smallest magnitude that rounds to infinity as an f32: the largest float plus half a unit
// in its last place. A plain cast of anything at or past it is undefined behaviour in C++.
constexpr double f32_overflow = 0x1.ffffffp+127;

float f64_to_f32(double x) {
    if (std::isnan(x)) return std::numeric_limits<float>::quiet_NaN();
    if (x >= f32_overflow) return std::numeric_limits<float>::infinity();
    if (x <= -f32_overflow) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(x);
}

std::optional<float> as_f32(JsonElement value) {
    switch (value.type()) {
        // Integers go to f32 in one rounding, not through f64.
        case element_type::UINT64: return static_cast<float>(value.get_uint64().value_unsafe());
        case element_type::INT64: return static_cast<float>(value.get_int64().value_unsafe());
        case element_type::DOUBLE: return f64_to_f32(value.get_double().value_unsafe());
        default: return std::nullopt;
    }
}

std::optional<double> as_f64(JsonElement value) {
    switch (value.type()) {
        case element_type::UINT64: return static_cast<double>(value.get_uint64().value_unsafe());
        case element_type::INT64: return static_cast<double>(value.get_int64().value_unsafe());
        case element_type::DOUBLE: return value.get_double().value_unsafe();
        default: return std::nullopt;
    }
}

std::string compact_text(JsonElement value) { return simdjson::to_string(value); }

std::string unexpected_text(JsonElement value) {
    switch (value.type()) {
        case element_type::BOOL: return "boolean `" + compact_text(value) + "`";
        case element_type::INT64:
        case element_type::UINT64: return "integer `" + compact_text(value) + "`";
        case element_type::DOUBLE: return "floating point `" + compact_text(value) + "`";
        case element_type::STRING: return "string " + compact_text(value);
        case element_type::NULL_VALUE: return "null";
        case element_type::ARRAY: return "sequence";
        case element_type::OBJECT: return "map";
    }
    return "value";
}

std::string invalid_type(JsonElement found, std::string_view expected) {
    return "invalid type: " + unexpected_text(found) + ", expected " + std::string(expected);
}

std::string invalid_value(JsonElement found, std::string_view expected) {
    return "invalid value: " + unexpected_text(found) + ", expected " + std::string(expected);
}

std::string invalid_length(std::size_t length, std::string_view expected) {
    return "invalid length " + std::to_string(length) + ", expected " + std::string(expected);
}

}  // namespace zorv::runtime::rest
