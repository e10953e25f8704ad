// Small readers shared by the reply decoders: numbers in the ranges the records need and the
// texts that name a value in error messages.
#pragma once

#include <simdjson.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"
#include "embed/message_format.h"

namespace zorv::runtime::rest {

using embed::format_message;

using JsonElement = simdjson::dom::element;

// A ZORV-BACKEND-ENVELOPE failure (kind Backend, no span, fields or cause).
std::unexpected<core::ZorvError> envelope_error(std::string message);

// The member of an object, or nothing when `value` is no object or has no such member.
std::optional<JsonElement> member(JsonElement value, std::string_view key);

// A JSON integer from 0 to 18446744073709551615; fractions (even 3.0) and negatives are not.
std::optional<std::uint64_t> as_u64(JsonElement value);

// Any JSON number as the nearest f32; values beyond the f32 range become an infinity of their sign.
std::optional<float> as_f32(JsonElement value);
// The nearest f32; beyond the f32 range an infinity of the sign.
float f64_to_f32(double x);
// Any JSON number by value.
std::optional<double> as_f64(JsonElement value);

// The compact JSON text of a value: `"0.5"`, `-1`, `1.0`, `[]`.
std::string compact_text(JsonElement value);

// What the JSON reader found, as its fault texts name it: boolean `true`, integer `-1`,
// floating point `1.5`, string "x", null, sequence, map.
std::string unexpected_text(JsonElement value);
// "invalid type: {found}, expected {expected}"
std::string invalid_type(JsonElement found, std::string_view expected);
// "invalid value: {found}, expected {expected}"
std::string invalid_value(JsonElement found, std::string_view expected);
// "invalid length {length}, expected {expected}"
std::string invalid_length(std::size_t length, std::string_view expected);

}  // namespace zorv::runtime::rest
