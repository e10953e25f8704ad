// A collection's HNSW index, optimizer and quantization settings as typed records. Field order is
// the declared order: the positional (array) form of a record lists its fields in this order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace zorv::protocol {

// Where a part of the collection lives; the enumerator value is the tier's index.
enum class StorageTier : std::uint8_t { Cold = 0, Cached = 1, Pinned = 2 };

// "cold", "cached", "pinned".
constexpr std::string_view storage_tier_word(StorageTier tier) {
    switch (tier) {
        case StorageTier::Cold: return "cold";
        case StorageTier::Cached: return "cached";
        case StorageTier::Pinned: return "pinned";
    }
    return "cold";
}

// max_optimization_threads: "auto" or a thread count.
struct OptimizerThreads {
    struct Auto {
        friend bool operator==(const Auto&, const Auto&) = default;
    };
    struct ThreadCount {
        std::uint64_t count = 0;
        friend bool operator==(const ThreadCount&, const ThreadCount&) = default;
    };
    std::variant<Auto, ThreadCount> value;
    friend bool operator==(const OptimizerThreads&, const OptimizerThreads&) = default;
};

struct HnswConfig {
    std::optional<std::uint64_t> m;
    std::optional<std::uint64_t> ef_construct;
    std::optional<std::uint64_t> full_scan_threshold;
    std::optional<std::uint64_t> max_indexing_threads;
    std::optional<bool> on_disk;
    std::optional<std::uint64_t> payload_m;
    std::optional<bool> inline_storage;
    std::optional<StorageTier> memory;
    friend bool operator==(const HnswConfig&, const HnswConfig&) = default;
};

struct OptimizersConfig {
    std::optional<double> deleted_threshold;
    std::optional<std::uint64_t> vacuum_min_vector_number;
    std::optional<std::uint64_t> default_segment_number;
    std::optional<std::uint64_t> max_segment_size;
    std::optional<std::uint64_t> memmap_threshold;
    std::optional<std::uint64_t> indexing_threshold;
    std::optional<std::uint64_t> flush_interval_sec;
    std::optional<OptimizerThreads> max_optimization_threads;
    std::optional<bool> prevent_unoptimized;
    friend bool operator==(const OptimizersConfig&, const OptimizersConfig&) = default;
};

// Texts (types, compression ratios, encodings, bit counts) are kept as the server gave them.
struct ScalarQuantization {
    std::string type;
    std::optional<double> quantile;
    std::optional<bool> always_ram;
    std::optional<StorageTier> memory;
    friend bool operator==(const ScalarQuantization&, const ScalarQuantization&) = default;
};

struct ProductQuantization {
    std::string compression;
    std::optional<bool> always_ram;
    std::optional<StorageTier> memory;
    friend bool operator==(const ProductQuantization&, const ProductQuantization&) = default;
};

struct BinaryQuantization {
    std::optional<bool> always_ram;
    std::optional<std::string> encoding;
    std::optional<std::string> query_encoding;
    std::optional<StorageTier> memory;
    friend bool operator==(const BinaryQuantization&, const BinaryQuantization&) = default;
};

struct TurboQuantization {
    std::optional<std::string> bits;
    std::optional<bool> always_ram;
    std::optional<StorageTier> memory;
    friend bool operator==(const TurboQuantization&, const TurboQuantization&) = default;
};

// The variant index is the order in which a value is tried: scalar, product, binary, turbo.
using QuantizationConfig = std::variant<ScalarQuantization, ProductQuantization, BinaryQuantization, TurboQuantization>;

// "scalar", "product", "binary", "turbo": the key of the variant's JSON wrapper.
constexpr std::string_view quantization_variant_key(const QuantizationConfig& config) {
    constexpr std::string_view keys[] = {"scalar", "product", "binary", "turbo"};
    return keys[config.index()];
}

}  // namespace zorv::protocol
