// The "time" and "usage" members of a reply: what the server says a request took and consumed.
// Lenient throughout: a malformed part is dropped, and neither member can fail a reply.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "protocol/response.h"
#include "protocol/usage.h"
#include "runtime/rest/reply_reader.h"

namespace zorv::runtime::rest {

// Nothing when the value is no object or yields neither a hardware nor an inference part.
std::optional<protocol::Usage> decode_usage(JsonElement value);

// The models of an inference part in first-seen order, or nothing when any model is malformed.
std::optional<std::vector<std::pair<std::string, protocol::ModelUsage>>> deserialize_model_usage(JsonElement models);

// A reply's (or a batch member's) numeric "time" and usable "usage"; nothing when it has neither.
std::optional<protocol::Telemetry> decode_telemetry(JsonElement reply);

}  // namespace zorv::runtime::rest
