// Qdrant's collection-information reply (GET /collections/{name}) read into a CollectionSchema.
// Strict only about "result", "status" and "segments_count"; every other key of the wrong type
// counts as absent, and a settings group that does not read is dropped whole.
#pragma once

#include <simdjson.h>

#include <optional>
#include <string>

#include "core/error.h"
#include "protocol/collection_schema.h"

namespace zorv::runtime::rest {

// Takes the whole reply, envelope included. Fails with ZORV-BACKEND-ENVELOPE.
core::Result<protocol::CollectionSchema> decode_collection_info(simdjson::dom::element reply);

// The settings of the "result" object; never fails.
protocol::CollectionSettings decode_collection_config(simdjson::dom::element result);

// One dense vector's parameters; nothing when they are not an object with an unsigned "size".
std::optional<protocol::DenseVectorInfo> decode_vector_params(std::optional<std::string> name,
                                                              simdjson::dom::element params);

}  // namespace zorv::runtime::rest
