// The size of the vectors a model makes, and the check of UPSERT row vectors against a collection.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/ast/mutation.h"
#include "core/error.h"
#include "embed/embedder.h"
#include "embed/inference_settings.h"
#include "protocol/collection_schema.h"

namespace zorv::embed {

// Used when neither the embedder nor the settings say, and no model was asked for.
inline constexpr std::uint64_t fallback_embedding_dimension = 384;

// The dense dimension for vectors that text will be embedded into: the embedder's, the configured
// one, one probing request to the configured service, or the fallback. Not cached.
AsyncResult<std::uint64_t> probe_embedding_dimension(std::shared_ptr<const Embedder> embedder,
                                                     std::optional<InferenceSettings> settings,
                                                     std::optional<std::string> requested_model);

// "local" (also absent settings or a blank mode) or "external", ignoring case and surrounding
// white space.
bool is_known_inference_mode(const std::optional<InferenceSettings>& settings);

// ZORV-EMBEDDING-DIM for the first dense or multi-dense row vector whose size differs from the
// collection's vector of that name.
core::Result<void> check_embedding_dimension(const core::Upsert& upsert, const protocol::CollectionSchema& schema);

}  // namespace zorv::embed
