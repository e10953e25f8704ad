// A JSON value as a statement literal: the value handed to filter injection arrives as JSON.
#pragma once

#include "core/ast/literal.h"
#include "plan/json_value.h"

namespace zorv::plan {

// null, booleans, strings, arrays and objects map one to one (object keys stay in ascending order);
// integers up to the signed 64-bit maximum and negative ones are Int, larger ones UInt. Cannot fail.
core::Literal literal_from_json(const JsonValue& value);

}  // namespace zorv::plan
