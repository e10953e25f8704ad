// Collection settings: the per-vector blocks (HNSW, VECTOR, SPARSE/INDEX, QUANTIZATION) and the
// WITH clauses of CREATE and ALTER COLLECTION, as records that own their values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast/literal.h"

namespace zorv::core {

enum class StorageTier : std::uint8_t { Cold, Cached, Pinned };
enum class VectorDatatype : std::uint8_t { Float32, Float16, Uint8, Turbo4 };
enum class QuantizationKind : std::uint8_t { Scalar, Binary, Product, Turbo };

// The lower-case words of canonical text and the statement JSON: "cold", "float16", "scalar".
std::string_view storage_tier_name(StorageTier tier);
std::string_view vector_datatype_name(VectorDatatype datatype);
std::string_view quantization_kind_name(QuantizationKind kind);

struct HnswSettings {
    std::optional<std::uint64_t> m;
    std::optional<std::uint64_t> ef_construct;
    std::optional<std::uint64_t> full_scan_threshold;
    std::optional<std::uint64_t> max_indexing_threads;
    std::optional<bool> on_disk;
    std::optional<std::uint64_t> payload_m;
    std::optional<bool> inline_storage;
    std::optional<StorageTier> memory;
    friend bool operator==(const HnswSettings&, const HnswSettings&) = default;
};

struct VectorStorageSettings {
    std::optional<bool> on_disk;
    std::optional<StorageTier> memory;
    std::optional<VectorDatatype> datatype;
    friend bool operator==(const VectorStorageSettings&, const VectorStorageSettings&) = default;
};

struct SparseIndexSettings {
    std::optional<std::uint64_t> full_scan_threshold;
    std::optional<bool> on_disk;
    std::optional<VectorDatatype> datatype;  // never Turbo4
    std::optional<StorageTier> memory;
    friend bool operator==(const SparseIndexSettings&, const SparseIndexSettings&) = default;
};

// What one SPARSE (...) or INDEX (...) block gives.
struct SparseVectorSettings {
    std::optional<SparseIndexSettings> index;
    std::optional<std::string> modifier;  // "idf" or "none"
    friend bool operator==(const SparseVectorSettings&, const SparseVectorSettings&) = default;
};

struct QuantizationSettings {
    QuantizationKind qtype = QuantizationKind::Scalar;
    bool always_ram = false;
    std::optional<double> quantile;             // scalar
    std::optional<double> bits;                 // turbo: 1, 1.5, 2 or 4
    std::optional<std::string> compression;     // product: x4 .. x64
    std::optional<std::string> encoding;        // binary
    std::optional<std::string> query_encoding;  // binary
    std::optional<StorageTier> memory;
    friend bool operator==(const QuantizationSettings&, const QuantizationSettings&) = default;
};

// A QUANTIZATION block: disabled, or the settings it configures.
struct QuantizationUpdate {
    bool disabled = false;
    std::optional<QuantizationSettings> config;
    friend bool operator==(const QuantizationUpdate&, const QuantizationUpdate&) = default;
};

// 'auto' (auto_ true, value 0) or a thread count.
struct ThreadCount {
    bool auto_ = false;
    std::uint64_t value = 0;
    friend bool operator==(const ThreadCount&, const ThreadCount&) = default;
};

struct OptimizerSettings {
    std::optional<double> deleted_threshold;
    std::optional<std::uint64_t> vacuum_min_vector_number;
    std::optional<std::uint64_t> default_segment_number;
    std::optional<std::uint64_t> max_segment_size;
    std::optional<std::uint64_t> memmap_threshold;
    std::optional<std::uint64_t> indexing_threshold;
    std::optional<std::uint64_t> flush_interval_sec;
    std::optional<ThreadCount> max_optimization_threads;
    std::optional<bool> prevent_unoptimized;
    friend bool operator==(const OptimizerSettings&, const OptimizerSettings&) = default;
};

struct CollectionParamsSettings {
    std::optional<std::uint64_t> replication_factor;
    std::optional<std::uint64_t> write_consistency_factor;
    std::optional<std::uint64_t> read_fan_out_factor;
    std::optional<std::uint64_t> read_fan_out_delay_ms;
    std::optional<bool> on_disk_payload;
    std::optional<StorageTier> payload_memory;
    std::optional<std::uint64_t> shard_number;
    std::optional<std::string> sharding_method;  // as written: auto or custom in any case
    std::optional<std::vector<ShardKey>> shard_keys;
    friend bool operator==(const CollectionParamsSettings&, const CollectionParamsSettings&) = default;
};

// ALTER's WITH VECTOR name (...): at least one part is set.
struct VectorDiff {
    std::string name;
    std::optional<HnswSettings> hnsw;
    std::optional<QuantizationUpdate> quantization;
    std::optional<VectorStorageSettings> vectors;
    friend bool operator==(const VectorDiff&, const VectorDiff&) = default;
};

// ALTER's WITH SPARSE name (...): at least one part is set.
struct SparseVectorDiff {
    std::string name;
    std::optional<SparseIndexSettings> index;
    std::optional<std::string> modifier;
    friend bool operator==(const SparseVectorDiff&, const SparseVectorDiff&) = default;
};

// The run of WITH clauses; each field is set by one clause at most.
struct CollectionSettings {
    std::optional<VectorStorageSettings> vectors;
    std::optional<HnswSettings> hnsw;
    std::optional<OptimizerSettings> optimizers;
    std::optional<CollectionParamsSettings> params;
    std::optional<QuantizationSettings> quantization;
    std::optional<QuantizationUpdate> quantization_update;
    std::optional<LiteralDict> wal;
    std::optional<LiteralDict> strict_mode;
    std::optional<LiteralDict> metadata;
    std::vector<VectorDiff> vector_diffs;
    std::vector<SparseVectorDiff> sparse_vector_diffs;
    friend bool operator==(const CollectionSettings&, const CollectionSettings&) = default;
};

}  // namespace zorv::core
