// The collection object of a SHOW COLLECTION result in the result JSON: the shape of the Python
// dict, with keys in ascending order and non-finite floats as null.
#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "runtime/result_json.h"

namespace zorv::runtime {
namespace {

using plan::JsonArray;
using plan::JsonObject;
using plan::JsonValue;

void put_if(JsonObject& out, const char* key, const std::optional<std::string>& value) {
    if (value) out.insert_or_assign(key, JsonValue(*value));
}
void put_if(JsonObject& out, const char* key, const std::optional<std::uint64_t>& value) {
    if (value) out.insert_or_assign(key, JsonValue(*value));
}
void put_if(JsonObject& out, const char* key, const std::optional<bool>& value) {
    if (value) out.insert_or_assign(key, JsonValue(*value));
}
void put_if(JsonObject& out, const char* key, const std::optional<plan::JsonObject>& value) {
    if (value) out.insert_or_assign(key, JsonValue(*value));
}

JsonValue sparse_vector_value(const protocol::SparseVectorInfo& info) {
    JsonObject out;
    out.insert_or_assign("name", JsonValue(info.name));
    put_if(out, "index", info.index);
    put_if(out, "modifier", info.modifier);
    return out;
}

JsonValue dense_vector_value(const protocol::DenseVectorInfo& info) {
    JsonObject out;
    out.insert_or_assign("name", info.name ? JsonValue(*info.name) : JsonValue(nullptr));
    out.insert_or_assign("size", JsonValue(info.size));
    out.insert_or_assign("distance", JsonValue(info.distance));
    put_if(out, "hnsw", info.hnsw);
    if (info.quantization) out.insert_or_assign("quantization", *info.quantization);
    put_if(out, "multivector", info.multivector);
    put_if(out, "on_disk", info.on_disk);
    put_if(out, "datatype", info.datatype);
    put_if(out, "memory", info.memory);
    return out;
}

JsonValue payload_index_value(const protocol::PayloadIndexInfo& info) {
    JsonObject out;
    out.insert_or_assign("field", JsonValue(info.field));
    out.insert_or_assign("data_type", JsonValue(info.data_type));
    out.insert_or_assign("params", JsonValue(info.params));
    put_if(out, "is_tenant", info.is_tenant);
    return out;
}

void put_collection_params_fields(JsonObject& out, const protocol::SchemaParams& params) {
    JsonObject value;
    put_if(value, "shard_number", params.shard_number);
    put_if(value, "sharding_method", params.sharding_method);
    put_if(value, "on_disk_payload", params.on_disk_payload);
    put_if(value, "payload_memory", params.payload_memory);
    put_if(value, "replication_factor", params.replication_factor);
    out.insert_or_assign("params", JsonValue(std::move(value)));
}

template <class T, class F>
JsonValue list_value(const std::vector<T>& items, F&& convert) {
    JsonArray out;
    out.reserve(items.size());
    for (const auto& item : items) out.push_back(convert(item));
    return out;
}

void put_if(JsonObject& out, const char* key, const std::optional<double>& value) {
    if (value) out.insert_or_assign(key, std::isfinite(*value) ? JsonValue(*value) : JsonValue(nullptr));
}

void put_tier_if_set(JsonObject& out, const std::optional<protocol::StorageTier>& tier) {
    if (tier) put_storage_tier_field(out, "memory", tier);
}

void put_hnsw_config_field(JsonObject& out, const protocol::HnswConfig& config) {
    JsonObject value;
    put_if(value, "m", config.m);
    put_if(value, "ef_construct", config.ef_construct);
    put_if(value, "full_scan_threshold", config.full_scan_threshold);
    put_if(value, "max_indexing_threads", config.max_indexing_threads);
    put_if(value, "on_disk", config.on_disk);
    put_if(value, "payload_m", config.payload_m);
    put_if(value, "inline_storage", config.inline_storage);
    put_tier_if_set(value, config.memory);
    out.insert_or_assign("hnsw", JsonValue(std::move(value)));
}

void put_optimizers_config_field(JsonObject& out, const protocol::OptimizersConfig& config) {
    JsonObject value;
    put_if(value, "deleted_threshold", config.deleted_threshold);
    put_if(value, "vacuum_min_vector_number", config.vacuum_min_vector_number);
    put_if(value, "default_segment_number", config.default_segment_number);
    put_if(value, "max_segment_size", config.max_segment_size);
    put_if(value, "memmap_threshold", config.memmap_threshold);
    put_if(value, "indexing_threshold", config.indexing_threshold);
    put_if(value, "flush_interval_sec", config.flush_interval_sec);
    if (const auto& threads = config.max_optimization_threads) {
        const auto* count = std::get_if<protocol::OptimizerThreads::ThreadCount>(&threads->value);
        value.insert_or_assign("max_optimization_threads", count ? JsonValue(count->count) : JsonValue("auto"));
    }
    put_if(value, "prevent_unoptimized", config.prevent_unoptimized);
    out.insert_or_assign("optimizers", JsonValue(std::move(value)));
}

JsonObject quantization_fields(const protocol::ScalarQuantization& q) {
    JsonObject out;
    out.insert_or_assign("type", JsonValue(q.type));
    put_if(out, "quantile", q.quantile);
    put_if(out, "always_ram", q.always_ram);
    put_tier_if_set(out, q.memory);
    return out;
}
JsonObject quantization_fields(const protocol::ProductQuantization& q) {
    JsonObject out;
    out.insert_or_assign("compression", JsonValue(q.compression));
    put_if(out, "always_ram", q.always_ram);
    put_tier_if_set(out, q.memory);
    return out;
}
JsonObject quantization_fields(const protocol::BinaryQuantization& q) {
    JsonObject out;
    put_if(out, "always_ram", q.always_ram);
    put_if(out, "encoding", q.encoding);
    put_if(out, "query_encoding", q.query_encoding);
    put_tier_if_set(out, q.memory);
    return out;
}
JsonObject quantization_fields(const protocol::TurboQuantization& q) {
    JsonObject out;
    put_if(out, "bits", q.bits);
    put_if(out, "always_ram", q.always_ram);
    put_tier_if_set(out, q.memory);
    return out;
}

void put_quantization_config_field(JsonObject& out, const protocol::QuantizationConfig& config) {
    JsonObject value;
    value.insert_or_assign(std::string(protocol::quantization_variant_key(config)),
                           JsonValue(std::visit([](const auto& q) { return quantization_fields(q); }, config)));
    out.insert_or_assign("quantization", JsonValue(std::move(value)));
}

JsonValue settings_value(const protocol::CollectionSettings& settings) {
    JsonObject out;
    out.insert_or_assign("dense_vectors",
                         list_value(settings.dense_vectors, [](const std::string& s) { return JsonValue(s); }));
    out.insert_or_assign("sparse_vectors", list_value(settings.sparse_vectors, sparse_vector_value));
    out.insert_or_assign("vectors", list_value(settings.vectors, dense_vector_value));
    out.insert_or_assign("payload_indexes", list_value(settings.payload_indexes, payload_index_value));
    put_collection_params_fields(out, settings.params);
    if (settings.hnsw) put_hnsw_config_field(out, *settings.hnsw);
    if (settings.optimizers) put_optimizers_config_field(out, *settings.optimizers);
    if (settings.quantization) put_quantization_config_field(out, *settings.quantization);
    return out;
}

}  // namespace

void put_storage_tier_field(JsonObject& out, std::string_view key, const std::optional<protocol::StorageTier>& tier) {
    out.insert_or_assign(std::string(key),
                         tier ? JsonValue(std::string(protocol::storage_tier_word(*tier))) : JsonValue(nullptr));
}

JsonValue collection_info_to_value(const protocol::CollectionSchema& info) {
    JsonObject out;
    out.insert_or_assign("status", JsonValue(info.status));
    out.insert_or_assign("points_count", JsonValue(info.points_count));
    if (info.indexed_vectors_count)
        out.insert_or_assign("indexed_vectors_count", JsonValue(*info.indexed_vectors_count));
    out.insert_or_assign("segments_count", JsonValue(info.segments_count));
    out.insert_or_assign("schema", settings_value(info.schema));
    return out;
}

}  // namespace zorv::runtime
