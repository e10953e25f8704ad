// Vectors for UPSERT rows made from their text and image fields: the USING ... MODEL target, the
// EMBED clauses, or a dense vector from the text of rows that carry no vectors.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast/mutation.h"
#include "core/error.h"
#include "embed/embedder.h"
#include "embed/embedding_targets.h"

namespace zorv::embed {

// The payload keys searched, in this order, for a row's image when the target names no field.
inline constexpr std::array<std::string_view, 8> default_image_fields = {
    "image", "image_path", "image_url", "photo", "picture", "img", "path", "url",
};

// One input of a target or clause: the row it came from (counted over all rows from 0) and its text
// or image source.
struct InputPair {
    std::size_t row = 0;
    std::string input;
    friend bool operator==(const InputPair&, const InputPair&) = default;
};

// Rewrites the rows in place, one awaited embedder call per target or clause, in statement order.
// `embedder` and `upsert` must outlive the awaitable. After an error, vectors written before it
// stay in the rows.
AsyncResult<void> resolve_upsert_embeddings(const Embedder& embedder, core::Upsert& upsert);

// The USING target (a copy) with the names claimed so far by the statement.
AsyncResult<void> resolve_target_embeddings(const Embedder& embedder, core::Upsert& upsert, EmbeddingTarget target,
                                            std::vector<std::string>& claimed);

std::vector<InputPair> collect_target_texts(std::span<const core::UpsertRow> rows,
                                            const std::optional<std::string>& field);
std::vector<InputPair> collect_target_images(std::span<const core::UpsertRow> rows,
                                             const std::optional<std::string>& field);
// `label` is "DENSE", "SPARSE", "MULTI" or "IMAGE".
core::Result<void> check_target_inputs_found(std::span<const core::UpsertRow> rows, std::string_view label,
                                             const std::optional<std::string>& field,
                                             const std::vector<InputPair>& pairs);
core::Result<void> claim_target_vector(std::vector<std::string>& claimed, const std::string& name);
core::Result<void> put_named_vector(core::UpsertRow& row, const std::string& name, core::VectorValue value);

}  // namespace zorv::embed
