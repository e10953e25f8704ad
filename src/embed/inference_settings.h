// The inference settings of a client that decide the dimension of dense vectors made from text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zorv::embed {

struct InferenceSettings {
    std::string inference_mode;             // "local" or "external"; blank counts as "local"
    std::uint64_t embedding_dimension = 0;  // 0: not configured
    std::optional<std::string> endpoint;    // an embedding service to probe for the dimension
    std::optional<std::string> api_key;
    std::optional<std::string> model;
    friend bool operator==(const InferenceSettings&, const InferenceSettings&) = default;
};

}  // namespace zorv::embed
