// The wire side of the HTTP embedder: request bodies, strict reading of embedding and rerank
// replies, and the per-call checks that turn a reply into exactly one result per input. Pure: the
// HTTP round trip itself lives in embed/http_embedder.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/error.h"

namespace zorv::embed {

using DenseVector = std::vector<float>;
using MultiVector = std::vector<DenseVector>;

// Replies nested deeper than this are refused before anything is read from them.
inline constexpr std::size_t embed_reply_max_depth = 128;

// One item of an embedding reply: the input it answers and its vector or multivector.
struct EmbedItem {
    std::uint64_t index = 0;
    std::variant<DenseVector, MultiVector> embedding;
};

enum class EmbedCallKind : std::uint8_t { Dense, Image, Multi };

// {"model":...,"input":[...]}
std::string embedding_request_body(std::string_view model, const std::vector<std::string>& inputs);
// {"documents":[...],"model":...,"query":...}
std::string rerank_request_body(std::string_view model, std::string_view query,
                                const std::vector<std::string>& documents);

// The items of an embedding reply, or the reader's description of what is wrong with it.
std::expected<std::vector<EmbedItem>, std::string> decode_embed_response(std::string_view body);

// One vector per input, in input order, from the items of a dense (Dense) or image (Image) reply;
// `dimension` is the expected length of each.
core::Result<std::vector<DenseVector>> dense_results(EmbedCallKind kind, std::vector<EmbedItem> items,
                                                     std::size_t inputs, std::uint64_t dimension);
// One multivector per input; `dimension` 0 skips the row-length check. `model` is the model sent.
core::Result<std::vector<MultiVector>> multi_results(std::vector<EmbedItem> items, std::size_t inputs,
                                                     std::uint64_t dimension, std::string_view model);

// One score per document from a rerank reply body (every error "ZORV-RERANK-CROSS").
core::Result<std::vector<float>> rerank_results(std::string_view body, std::size_t documents);

// The four-line ZORV-EMBEDDING-UNAVAILABLE message.
std::string unavailable_message(std::string_view endpoint, std::string_view client_error);

}  // namespace zorv::embed
