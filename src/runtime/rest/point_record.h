// One point record of a reply (a hit, a retrieved or scrolled point, a group member) as the hit
// record every later layer works with, its vectors included.
#pragma once

#include <optional>
#include <vector>

#include "core/error.h"
#include "protocol/response.h"
#include "runtime/rest/reply_reader.h"

namespace zorv::runtime::rest {

// Strict about id, score, payload and vector; every other member is ignored. Failures are
// ZORV-BACKEND-ENVELOPE.
core::Result<protocol::ScoredPoint> decode_point_record(JsonElement record);

// Every record of an array, in order; the first failure ends the call.
core::Result<std::vector<protocol::ScoredPoint>> decode_point_list(simdjson::dom::array records);

// A point's "vector" member: dense, multivector, sparse, or named vectors of those, tried in that
// order. Nothing when no shape fits.
std::optional<protocol::HitVectors> decode_vector_output(JsonElement value);

}  // namespace zorv::runtime::rest
