// What the server reports a request consumed, and how the usage of several statements adds up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zorv::protocol {

// Kept as the server reported them, without units or scaling.
struct HardwareUsage {
    std::uint64_t cpu = 0;
    std::uint64_t payload_io_read = 0;
    std::uint64_t payload_io_write = 0;
    std::uint64_t payload_index_io_read = 0;
    std::uint64_t payload_index_io_write = 0;
    std::uint64_t vector_io_read = 0;
    std::uint64_t vector_io_write = 0;
    friend bool operator==(const HardwareUsage&, const HardwareUsage&) = default;
};

struct ModelUsage {
    std::uint64_t tokens = 0;
    friend bool operator==(const ModelUsage&, const ModelUsage&) = default;
};

// Models in the order they were first seen, so every form of a report lists them the same way.
struct InferenceUsage {
    std::vector<std::pair<std::string, ModelUsage>> models;
    friend bool operator==(const InferenceUsage&, const InferenceUsage&) = default;
};

// At least one part is present in a usage taken from a reply.
struct Usage {
    std::optional<HardwareUsage> hardware;
    std::optional<InferenceUsage> inference;
    friend bool operator==(const Usage&, const Usage&) = default;
};

// The usage of two calls together: counters and tokens added, saturating at the u64 maximum.
Usage merge_usage(const Usage& total, const Usage& next);

}  // namespace zorv::protocol
