// Collection configuration in the plan: what CREATE COLLECTION sets and what ALTER COLLECTION
// changes, with the lowerings from the statement's WITH clauses and the option-list readers.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ast/collection.h"
#include "core/ast/ddl.h"
#include "core/ast/literal.h"
#include "core/error.h"

namespace zorv::plan {

// The enums and the two blocks that map field for field are the statement's own value types.
using StorageTier = core::StorageTier;
using PlanDatatype = core::VectorDatatype;
using PlanDistance = core::DistanceMetric;
using PlanHnswConfig = core::HnswSettings;
using PlanSparseIndexParams = core::SparseIndexSettings;

// WAL, STRICT_MODE and METADATA: (name, value) pairs in statement order.
using OptionList = core::LiteralDict;

// Maps keyed by vector name iterate in ascending byte order of the names.
template <class T>
using VectorNameMap = std::map<std::string, T, std::less<>>;

enum class PlanShardingMethod : std::uint8_t { Auto, Custom };
enum class PlanSparseModifier : std::uint8_t { None, Idf };

struct PlanQuantizationScalar {
    std::string type = "int8";
    std::optional<double> quantile;
    friend bool operator==(const PlanQuantizationScalar&, const PlanQuantizationScalar&) = default;
};
struct PlanQuantizationProduct {
    std::string compression;
    friend bool operator==(const PlanQuantizationProduct&, const PlanQuantizationProduct&) = default;
};
struct PlanQuantizationBinary {
    std::optional<std::string> encoding;
    std::optional<std::string> query_encoding;
    friend bool operator==(const PlanQuantizationBinary&, const PlanQuantizationBinary&) = default;
};
struct PlanQuantizationTurbo {
    std::optional<std::string> bits;  // "bits1_5", "bits2", ...
    friend bool operator==(const PlanQuantizationTurbo&, const PlanQuantizationTurbo&) = default;
};

struct PlanQuantization {
    using Scalar = PlanQuantizationScalar;
    using Product = PlanQuantizationProduct;
    using Binary = PlanQuantizationBinary;
    using Turbo = PlanQuantizationTurbo;
    std::variant<Scalar, Product, Binary, Turbo> kind;
    std::optional<bool> always_ram;
    std::optional<StorageTier> memory;
    friend bool operator==(const PlanQuantization&, const PlanQuantization&) = default;
};

// ALTER can drop the quantization altogether.
struct QuantizationDisabled {
    friend bool operator==(const QuantizationDisabled&, const QuantizationDisabled&) = default;
};
using PlanQuantizationDiff = std::variant<PlanQuantization, QuantizationDisabled>;

struct PlanVectorParams {
    std::uint64_t size = 0;
    PlanDistance distance = PlanDistance::Cosine;
    std::optional<PlanHnswConfig> hnsw_config;
    std::optional<PlanQuantization> quantization_config;
    std::optional<bool> on_disk;
    std::optional<StorageTier> memory;
    std::optional<PlanDatatype> datatype;
    bool multivector = false;  // compared with max_sim
    friend bool operator==(const PlanVectorParams&, const PlanVectorParams&) = default;
};

// One unnamed vector, or named ones.
using PlanVectors = std::variant<PlanVectorParams, VectorNameMap<PlanVectorParams>>;

struct PlanSparseVectorParams {
    std::optional<PlanSparseIndexParams> index;
    PlanSparseModifier modifier = PlanSparseModifier::Idf;
    friend bool operator==(const PlanSparseVectorParams&, const PlanSparseVectorParams&) = default;
};

struct ThreadsAuto {
    friend bool operator==(const ThreadsAuto&, const ThreadsAuto&) = default;
};
using PlanThreadCount = std::variant<std::uint64_t, ThreadsAuto>;

struct PlanOptimizersConfig {
    std::optional<double> deleted_threshold;
    std::optional<std::uint64_t> vacuum_min_vector_number;
    std::optional<std::uint64_t> default_segment_number;
    std::optional<std::uint64_t> max_segment_size;
    std::optional<std::uint64_t> memmap_threshold;
    std::optional<std::uint64_t> indexing_threshold;
    std::optional<std::uint64_t> flush_interval_sec;
    std::optional<PlanThreadCount> max_optimization_threads;
    std::optional<bool> prevent_unoptimized;
    friend bool operator==(const PlanOptimizersConfig&, const PlanOptimizersConfig&) = default;
};

struct PlanWalConfig {
    std::optional<std::uint64_t> wal_capacity_mb;
    std::optional<std::uint64_t> wal_segments_ahead;
    std::optional<std::uint64_t> wal_retain_closed;
    friend bool operator==(const PlanWalConfig&, const PlanWalConfig&) = default;
};

struct PlanMultivectorLimit {
    std::optional<std::uint64_t> max_vectors;
    friend bool operator==(const PlanMultivectorLimit&, const PlanMultivectorLimit&) = default;
};
struct PlanSparseLimit {
    std::optional<std::uint64_t> max_length;
    friend bool operator==(const PlanSparseLimit&, const PlanSparseLimit&) = default;
};

// The limits the server enforces on queries and updates of the collection.
struct PlanStrictModeConfig {
    std::optional<bool> enabled;
    std::optional<std::uint64_t> max_query_limit;
    std::optional<std::uint64_t> max_timeout;
    std::optional<bool> unindexed_filtering_retrieve;
    std::optional<bool> unindexed_filtering_update;
    std::optional<std::uint64_t> search_max_hnsw_ef;
    std::optional<bool> search_allow_exact;
    std::optional<double> search_max_oversampling;
    std::optional<std::uint64_t> upsert_max_batchsize;
    std::optional<std::uint64_t> search_max_batchsize;
    std::optional<std::uint64_t> max_collection_vector_size_bytes;
    std::optional<std::uint64_t> read_rate_limit;
    std::optional<std::uint64_t> write_rate_limit;
    std::optional<std::uint64_t> max_collection_payload_size_bytes;
    std::optional<std::uint64_t> max_points_count;
    std::optional<std::uint64_t> filter_max_conditions;
    std::optional<std::uint64_t> condition_max_size;
    std::optional<VectorNameMap<PlanMultivectorLimit>> multivector_config;
    std::optional<VectorNameMap<PlanSparseLimit>> sparse_config;
    std::optional<std::uint64_t> max_payload_index_count;
    std::optional<std::uint64_t> max_resident_memory_percent;
    friend bool operator==(const PlanStrictModeConfig&, const PlanStrictModeConfig&) = default;
};

struct PlanCollectionConfig {
    std::optional<PlanVectors> vectors;
    std::optional<VectorNameMap<PlanSparseVectorParams>> sparse_vectors;
    std::optional<PlanHnswConfig> hnsw_config;
    std::optional<PlanOptimizersConfig> optimizers_config;
    std::optional<PlanQuantization> quantization_config;
    std::optional<PlanWalConfig> wal_config;
    std::optional<PlanStrictModeConfig> strict_mode_config;
    std::optional<OptionList> metadata;
    std::optional<std::uint64_t> shard_number;
    std::optional<PlanShardingMethod> sharding_method;
    std::optional<std::uint64_t> replication_factor;
    std::optional<std::uint64_t> write_consistency_factor;
    std::optional<bool> on_disk_payload;
    std::optional<StorageTier> payload_memory;
    // Not part of the creation body: sent by the requests that follow it.
    std::optional<std::uint64_t> read_fan_out_factor;
    std::optional<std::uint64_t> read_fan_out_delay_ms;
    std::optional<std::vector<std::variant<std::uint64_t, std::string>>> shard_keys;
    friend bool operator==(const PlanCollectionConfig&, const PlanCollectionConfig&) = default;
};

struct PlanParamsUpdate {
    std::optional<std::uint64_t> replication_factor;
    std::optional<std::uint64_t> write_consistency_factor;
    std::optional<std::uint64_t> read_fan_out_factor;
    std::optional<std::uint64_t> read_fan_out_delay_ms;
    std::optional<bool> on_disk_payload;
    std::optional<StorageTier> payload_memory;
    friend bool operator==(const PlanParamsUpdate&, const PlanParamsUpdate&) = default;
};

// No datatype: the server cannot change it on an existing vector.
struct PlanVectorDiff {
    std::optional<PlanHnswConfig> hnsw_config;
    std::optional<PlanQuantizationDiff> quantization_config;
    std::optional<bool> on_disk;
    std::optional<StorageTier> memory;
    friend bool operator==(const PlanVectorDiff&, const PlanVectorDiff&) = default;
};

struct PlanSparseVectorDiff {
    std::optional<PlanSparseIndexParams> index;
    std::optional<PlanSparseModifier> modifier;
    friend bool operator==(const PlanSparseVectorDiff&, const PlanSparseVectorDiff&) = default;
};

struct PlanCollectionUpdate {
    std::optional<VectorNameMap<PlanVectorDiff>> vectors;  // "" is the unnamed vector
    std::optional<VectorNameMap<PlanSparseVectorDiff>> sparse_vectors;
    std::optional<PlanOptimizersConfig> optimizers_config;
    std::optional<PlanParamsUpdate> params;
    std::optional<PlanHnswConfig> hnsw_config;
    std::optional<OptionList> metadata;
    std::optional<PlanQuantizationDiff> quantization_config;
    std::optional<PlanStrictModeConfig> strict_mode_config;
    friend bool operator==(const PlanCollectionUpdate&, const PlanCollectionUpdate&) = default;
};

// A ZORV-PLAN-COLLECTION-CONFIG error, at the span of `value` when it is a placeholder that has one.
core::ZorvError collection_config_error(std::string message, const core::Literal* value = nullptr);

// Never fails: the parser has checked the clause; this fills defaults and normalises words.
PlanQuantization lower_quantization(const core::QuantizationSettings& settings);

// max_optimization_threads 'auto' becomes ThreadsAuto; everything else is copied.
PlanOptimizersConfig lower_optimizers_config(const core::OptimizerSettings& settings);

// The value of the first option named `name` ignoring ASCII case.
const core::Literal* find_option(const OptionList& options, std::string_view name);
// An integer literal (or an exactly integral float) of at least 0 / above 0; nothing when absent.
// The messages name the option by `name`, not as the statement spelled it.
core::Result<std::optional<std::uint64_t>> read_nonnegative_option(const OptionList& options, std::string_view name);
core::Result<std::optional<std::uint64_t>> read_positive_option(const OptionList& options, std::string_view name);

core::Result<PlanCollectionConfig> lower_create_collection(const core::CreateCollection& create);

core::Result<PlanStrictModeConfig> lower_strict_mode(const OptionList& options);
core::Result<VectorNameMap<PlanMultivectorLimit>> lower_multivector_config(const core::Literal& value);
core::Result<VectorNameMap<PlanSparseLimit>> lower_sparse_config(const core::Literal& value);

core::Result<PlanCollectionUpdate> lower_alter_collection(const core::AlterCollection& alter);
// Adds one diff; a second diff for the same name is refused.
core::Result<void> lower_vector_diffs(PlanCollectionUpdate& update, std::string name, PlanVectorDiff diff);

}  // namespace zorv::plan
