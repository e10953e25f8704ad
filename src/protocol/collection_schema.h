// The description of one collection that SHOW COLLECTION returns and the schema cache keeps.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plan/json_value.h"
#include "protocol/settings_records.h"

namespace zorv::protocol {

// One dense vector of a collection. Per-vector settings stay raw JSON.
struct DenseVectorInfo {
    std::optional<std::string> name;  // absent for the single unnamed vector
    std::uint64_t size = 0;
    std::string distance = "Cosine";
    std::optional<plan::JsonObject> hnsw;
    std::optional<plan::JsonValue> quantization;  // present even when the server sent null
    std::optional<plan::JsonObject> multivector;
    std::optional<bool> on_disk;
    std::optional<std::string> datatype;
    std::optional<std::string> memory;
    friend bool operator==(const DenseVectorInfo&, const DenseVectorInfo&) = default;
};

struct SparseVectorInfo {
    std::string name;
    std::optional<plan::JsonObject> index;
    std::optional<std::string> modifier;
    friend bool operator==(const SparseVectorInfo&, const SparseVectorInfo&) = default;
};

struct PayloadIndexInfo {
    std::string field;
    std::string data_type;    // lower case
    plan::JsonObject params;  // without its "type" key
    std::optional<bool> is_tenant;
    friend bool operator==(const PayloadIndexInfo&, const PayloadIndexInfo&) = default;
};

// Sharding and storage parameters.
struct SchemaParams {
    std::optional<std::uint64_t> shard_number;
    std::optional<std::string> sharding_method;
    std::optional<bool> on_disk_payload;
    std::optional<std::string> payload_memory;
    std::optional<std::uint64_t> replication_factor;
    friend bool operator==(const SchemaParams&, const SchemaParams&) = default;
};

// Vector, index and storage settings of a collection. Every list is sorted by name and holds each
// name once; `vectors` puts an absent name first, and holds an unnamed vector only as its sole
// entry, with `dense_vectors` then empty; every named entry of `vectors` is in `dense_vectors`.
struct CollectionSettings {
    std::vector<std::string> dense_vectors;  // names of the named dense vectors, decodable or not
    std::vector<SparseVectorInfo> sparse_vectors;
    std::vector<DenseVectorInfo> vectors;  // the decodable dense vectors
    std::vector<PayloadIndexInfo> payload_indexes;
    SchemaParams params;
    std::optional<HnswConfig> hnsw;
    std::optional<OptimizersConfig> optimizers;
    std::optional<QuantizationConfig> quantization;
    friend bool operator==(const CollectionSettings&, const CollectionSettings&) = default;
};

struct CollectionSchema {
    std::string status;
    std::uint64_t points_count = 0;
    std::optional<std::uint64_t> indexed_vectors_count;
    std::uint64_t segments_count = 0;
    CollectionSettings schema;
    friend bool operator==(const CollectionSchema&, const CollectionSchema&) = default;
};

}  // namespace zorv::protocol
