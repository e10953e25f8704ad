// Text to BM25 sparse vectors on the client, wire-compatible with Qdrant's "Qdrant/bm25": tokens
// are hashed to indices, so no vocabulary is kept. Deterministic: the same text under the same
// settings gives the same vector in any process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/error.h"
#include "embed/bm25_config.h"
#include "embed/bm25_stemmer.h"

namespace zorv::embed {

// Indices strictly ascending (as unsigned numbers), one value per index.
struct SparseVector {
    std::vector<std::uint32_t> indices;
    std::vector<float> values;

    friend bool operator==(const SparseVector&, const SparseVector&) = default;
};

// Read-only after construction: any number of threads may encode with one encoder at once.
struct Bm25Encoder {
    std::optional<std::uint64_t> min_token_len;
    std::optional<std::uint64_t> max_token_len;
    std::unordered_set<std::string> stopwords;
    Bm25Params params;
    std::optional<SnowballStemmer> stemmer;
    bool lowercase = true;
    bool ascii_folding = false;
    Bm25Tokenizer tokenizer = Bm25Tokenizer::Word;
};

Bm25Encoder build_bm25_encoder(const Bm25Config& config);

core::Result<SparseVector> encode_query(const Bm25Encoder& encoder, std::string_view text);
core::Result<SparseVector> encode_document(const Bm25Encoder& encoder, std::string_view text);

// One raw token through folding, lower-casing, stop words, stemming and the length limits;
// nothing when the token is dropped.
std::optional<std::string> normalise_token(const Bm25Encoder& encoder, std::string_view raw, bool is_query,
                                           bool apply_max_len);

// The empty name, "default" and "qdrant/bm25" (ASCII case ignored) select the local encoder.
bool is_builtin_bm25_model(std::string_view model);

}  // namespace zorv::embed
