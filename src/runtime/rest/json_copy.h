// Copies of parts of a server reply as owned JSON values, for settings kept raw.
#pragma once

#include <simdjson.h>

#include <optional>

#include "plan/json_value.h"

namespace zorv::runtime::rest {

// Non-negative integers become UInt, negative ones Int. Nothing past the reply nesting limit is
// walked: a deeper value gives nothing.
std::optional<plan::JsonValue> copy_json_value(simdjson::dom::element element);

}  // namespace zorv::runtime::rest
