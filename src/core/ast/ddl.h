// The definition statements: CREATE and DROP of collections, indexes and shard keys, ALTER
// COLLECTION and SET QUOTA.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ast/collection.h"
#include "core/ast/literal.h"

namespace zorv::core {

enum class DistanceMetric : std::uint8_t { Cosine, Dot, Euclid, Manhattan };
// "COSINE", "DOT", "EUCLID", "MANHATTAN".
std::string_view distance_metric_name(DistanceMetric metric);

// The embedding mode written after the collection name.
struct CreateCollectionMode {
    struct Dense {
        std::optional<std::string> model;
        friend bool operator==(const Dense&, const Dense&) = default;
    };
    struct Hybrid {
        std::optional<std::string> dense_vector;
        std::optional<std::string> sparse_vector;
        friend bool operator==(const Hybrid&, const Hybrid&) = default;
    };
    struct Rerank {
        friend bool operator==(const Rerank&, const Rerank&) = default;
    };
    std::variant<Dense, Hybrid, Rerank> value;
    friend bool operator==(const CreateCollectionMode&, const CreateCollectionMode&) = default;
};

struct DenseVectorDef {
    std::string name;
    std::uint64_t size = 0;  // 1 to 65536
    DistanceMetric distance = DistanceMetric::Cosine;
    std::optional<HnswSettings> hnsw;
    std::optional<QuantizationSettings> quantization;
    bool multivector = false;  // max_sim, the only comparator
    std::optional<VectorStorageSettings> vectors;
    friend bool operator==(const DenseVectorDef&, const DenseVectorDef&) = default;
};

struct SparseVectorDef {
    std::string name;
    std::optional<SparseIndexSettings> index;
    std::optional<std::string> modifier;
    friend bool operator==(const SparseVectorDef&, const SparseVectorDef&) = default;
};

struct CreateCollection {
    std::string collection;
    CreateCollectionMode mode;
    std::vector<DenseVectorDef> vectors;
    std::vector<SparseVectorDef> sparse_vectors;
    std::optional<Box<CollectionSettings>> config;  // absent without WITH clauses
    friend bool operator==(const CreateCollection&, const CreateCollection&) = default;
};

struct CreateIndex {
    std::string collection;
    std::string field;
    std::string field_type = "keyword";  // a canonical index type name
    LiteralDict options;                 // as written after WITH
    std::optional<bool> wait;
    friend bool operator==(const CreateIndex&, const CreateIndex&) = default;
};

struct DropIndex {
    std::string collection;
    std::string field;
    friend bool operator==(const DropIndex&, const DropIndex&) = default;
};

struct CreateShardKey {
    std::string collection;
    ShardKey shard_key;
    std::optional<std::uint32_t> shards_number;
    std::optional<std::uint32_t> replication_factor;
    std::optional<std::vector<std::uint64_t>> placement;  // peer ids, never empty
    std::optional<std::string> initial_state;             // a canonical replica state name
    friend bool operator==(const CreateShardKey&, const CreateShardKey&) = default;
};

struct DropShardKey {
    std::string collection;
    ShardKey shard_key;
    friend bool operator==(const DropShardKey&, const DropShardKey&) = default;
};

struct AlterCollection {
    std::string collection;
    Box<CollectionSettings> config;
    friend bool operator==(const AlterCollection&, const AlterCollection&) = default;
};

struct DropCollection {
    std::string collection;
    friend bool operator==(const DropCollection&, const DropCollection&) = default;
};

struct SetQuota {
    LiteralDict config;
    std::optional<bool> wait;
    friend bool operator==(const SetQuota&, const SetQuota&) = default;
};

}  // namespace zorv::core
