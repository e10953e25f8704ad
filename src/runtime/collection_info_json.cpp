// The collection object of a SHOW COLLECTION result in the result JSON: the shape of the Python
// dict, with keys in ascending order and non-finite floats as null.
#include <cmath>
#include <string>
#include <utility>

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

JsonValue settings_value(const protocol::CollectionSettings& settings) {
    JsonObject out;
    out.insert_or_assign("dense_vectors",
                         list_value(settings.dense_vectors, [](const std::string& s) { return JsonValue(s); }));
    out.insert_or_assign("sparse_vectors", list_value(settings.sparse_vectors, sparse_vector_value));
    out.insert_or_assign("vectors", list_value(settings.vectors, dense_vector_value));
    out.insert_or_assign("payload_indexes", list_value(settings.payload_indexes, payload_index_value));
    put_collection_params_fields(out, settings.params);
    return out;
}

}  // namespace

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
