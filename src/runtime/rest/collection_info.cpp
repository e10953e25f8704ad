#include "runtime/rest/collection_info.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

#include "core/diagnostics.h"
#include "protocol/settings_read.h"
#include "runtime/rest/json_copy.h"
#include "runtime/rest/json_view.h"

namespace zorv::runtime::rest {

namespace {

using simdjson::dom::element;
using simdjson::dom::element_type;

std::optional<element> member(element object, std::string_view key) {
    simdjson::dom::object members;
    if (object.get_object().get(members) != simdjson::SUCCESS) return std::nullopt;
    element value;
    if (members.at_key(key).get(value) != simdjson::SUCCESS) return std::nullopt;
    return value;
}

std::optional<element> object_member(std::optional<element> object, std::string_view key) {
    if (!object) return std::nullopt;
    auto value = member(*object, key);
    if (!value || !value->is_object()) return std::nullopt;
    return value;
}

// A non-negative integer written without fraction or exponent.
std::optional<std::uint64_t> unsigned_of(std::optional<element> value) {
    if (!value) return std::nullopt;
    if (value->type() == element_type::UINT64) return value->get_uint64().value_unsafe();
    if (value->type() == element_type::INT64 && value->get_int64().value_unsafe() >= 0)
        return static_cast<std::uint64_t>(value->get_int64().value_unsafe());
    return std::nullopt;
}

std::optional<std::string> string_of(std::optional<element> value) {
    if (!value || !value->is_string()) return std::nullopt;
    return std::string(value->get_string().value_unsafe());
}

std::optional<bool> bool_of(std::optional<element> value) {
    if (!value || !value->is_bool()) return std::nullopt;
    return value->get_bool().value_unsafe();
}

std::optional<plan::JsonObject> object_copy(std::optional<element> value) {
    if (!value || !value->is_object()) return std::nullopt;
    auto copy = copy_json_value(*value);
    if (!copy) return std::nullopt;
    return std::move(copy->as_object());
}

// The members named by `keys`, found in one pass over the object; a repeated key keeps its first value.
template <std::size_t N>
std::array<std::optional<element>, N> members_of(element object, const std::array<std::string_view, N>& keys) {
    std::array<std::optional<element>, N> found{};
    for (auto [key, value] : simdjson::dom::object(object))
        for (std::size_t i = 0; i < N; ++i)
            if (!found[i] && key == keys[i]) {
                found[i] = value;
                break;
            }
    return found;
}

// Sorted by name, each name once (a reply that repeats a key keeps its first entry).
template <class T, class Name>
void sort_unique(std::vector<T>& items, Name name) {
    const auto in_order = [&](const T& a, const T& b) { return name(a) < name(b); };
    if (std::adjacent_find(items.begin(), items.end(), [&](const T& a, const T& b) { return !in_order(a, b); }) ==
        items.end())
        return;
    std::stable_sort(items.begin(), items.end(), [&](const T& a, const T& b) { return name(a) < name(b); });
    items.erase(std::unique(items.begin(), items.end(), [&](const T& a, const T& b) { return name(a) == name(b); }),
                items.end());
}

// Words of the single-vector form, never taken for vector names.
bool is_reserved_vector_word(std::string_view key) {
    static constexpr std::array<std::string_view, 7> words{
        "size", "on_disk", "distance", "datatype", "hnsw_config", "multivector_config", "quantization_config"};
    return std::find(words.begin(), words.end(), key) != words.end();
}

void read_dense_vectors(element vectors, protocol::CollectionSettings& settings) {
    if (member(vectors, "size") && member(vectors, "distance")) {
        if (auto vector = decode_vector_params(std::nullopt, vectors)) settings.vectors.push_back(std::move(*vector));
        return;
    }
    for (auto [key, value] : simdjson::dom::object(vectors)) {
        if (is_reserved_vector_word(key)) continue;
        settings.dense_vectors.emplace_back(key);
        if (auto vector = decode_vector_params(std::string(key), value)) settings.vectors.push_back(std::move(*vector));
    }
    sort_unique(settings.dense_vectors, [](const std::string& name) -> const std::string& { return name; });
    sort_unique(settings.vectors,
                [](const protocol::DenseVectorInfo& v) -> const std::optional<std::string>& { return v.name; });
}

void read_sparse_vectors(element sparse, protocol::CollectionSettings& settings) {
    for (auto [key, value] : simdjson::dom::object(sparse))
        settings.sparse_vectors.push_back(
            {std::string(key), object_copy(member(value, "index")), string_of(member(value, "modifier"))});
    sort_unique(settings.sparse_vectors,
                [](const protocol::SparseVectorInfo& v) -> const std::string& { return v.name; });
}

protocol::SchemaParams read_params(element params) {
    protocol::SchemaParams out;
    out.shard_number = unsigned_of(member(params, "shard_number"));
    out.sharding_method = string_of(member(params, "sharding_method"));
    out.on_disk_payload = bool_of(member(params, "on_disk_payload"));
    out.replication_factor = unsigned_of(member(params, "replication_factor"));
    if (auto payload = object_member(params, "payload")) out.payload_memory = string_of(member(*payload, "memory"));
    return out;
}

protocol::PayloadIndexInfo read_payload_index(std::string_view field, element entry) {
    protocol::PayloadIndexInfo index{std::string(field), "keyword", {}, std::nullopt};
    if (!entry.is_object()) return index;
    static constexpr std::array<std::string_view, 4> keys{"data_type", "type", "params", "is_tenant"};
    const auto [data_type, type, params, is_tenant] = members_of(entry, keys);
    if (auto text = string_of(data_type)) index.data_type = std::move(*text);
    else if (auto old_text = string_of(type)) index.data_type = std::move(*old_text);
    for (char& c : index.data_type)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (auto copied = object_copy(params)) {
        copied->erase("type");
        index.params = std::move(*copied);
    }
    index.is_tenant = bool_of(is_tenant);
    if (!index.is_tenant) {
        auto inner = index.params.find("is_tenant");
        if (inner != index.params.end() && inner->second.is(plan::JsonValue::Kind::Bool))
            index.is_tenant = inner->second.as_bool();
    }
    return index;
}

void read_payload_indexes(element schema, protocol::CollectionSettings& settings) {
    for (auto [key, value] : simdjson::dom::object(schema))
        settings.payload_indexes.push_back(read_payload_index(key, value));
    sort_unique(settings.payload_indexes,
                [](const protocol::PayloadIndexInfo& index) -> const std::string& { return index.field; });
}

// A settings group that does not read is left absent.
template <class T>
std::optional<T> kept(protocol::ReadResult<T> read) {
    if (!read) return std::nullopt;
    return std::move(*read);
}

void read_typed_settings(element config, protocol::CollectionSettings& settings) {
    if (auto hnsw = member(config, "hnsw_config")) settings.hnsw = kept(protocol::read_hnsw_config(JsonView(*hnsw)));
    // The first key hides the second even when it does not read.
    if (auto optimizers = member(config, "optimizer_config"))
        settings.optimizers = kept(protocol::read_optimizers_config(JsonView(*optimizers)));
    else if (auto legacy = member(config, "optimizers_config"))
        settings.optimizers = kept(protocol::read_optimizers_config(JsonView(*legacy)));
    if (auto quantization = member(config, "quantization_config"))
        settings.quantization = kept(protocol::deserialize_quantization_config(JsonView(*quantization)));
}

}  // namespace

std::optional<protocol::DenseVectorInfo> decode_vector_params(std::optional<std::string> name, element params) {
    if (!params.is_object()) return std::nullopt;
    static constexpr std::array<std::string_view, 8> keys{
        "size",    "distance", "hnsw_config", "quantization_config", "multivector_config",
        "on_disk", "datatype", "memory"};
    const auto [size, distance, hnsw, quantization, multivector, on_disk, datatype, memory] = members_of(params, keys);
    auto dimensions = unsigned_of(size);
    if (!dimensions) return std::nullopt;
    protocol::DenseVectorInfo info;
    info.name = std::move(name);
    info.size = *dimensions;
    if (auto text = string_of(distance)) info.distance = std::move(*text);
    info.hnsw = object_copy(hnsw);
    if (quantization) info.quantization = copy_json_value(*quantization);
    info.multivector = object_copy(multivector);
    info.on_disk = bool_of(on_disk);
    info.datatype = string_of(datatype);
    info.memory = string_of(memory);
    return info;
}

protocol::CollectionSettings decode_collection_config(element result) {
    protocol::CollectionSettings settings;
    const auto config = object_member(result, "config");
    const auto params = object_member(config, "params");
    if (auto vectors = object_member(params, "vectors")) read_dense_vectors(*vectors, settings);
    if (auto sparse = object_member(params, "sparse_vectors")) read_sparse_vectors(*sparse, settings);
    if (params) settings.params = read_params(*params);
    if (auto schema = object_member(result, "payload_schema")) read_payload_indexes(*schema, settings);
    if (config) read_typed_settings(*config, settings);
    return settings;
}

core::Result<protocol::CollectionSchema> decode_collection_info(element reply) {
    const auto result = object_member(reply, "result");
    if (!result) return core::fail(core::Diag::BackendEnvelope, "get collection response is missing a result object");
    protocol::CollectionSchema schema;
    auto status = string_of(member(*result, "status"));
    if (!status) return core::fail(core::Diag::BackendEnvelope, "collection info is missing a string status");
    auto segments = unsigned_of(member(*result, "segments_count"));
    if (!segments)
        return core::fail(core::Diag::BackendEnvelope, "collection info is missing an unsigned segments_count");
    schema.status = std::move(*status);
    schema.segments_count = *segments;
    schema.points_count = unsigned_of(member(*result, "points_count")).value_or(0);
    schema.indexed_vectors_count = unsigned_of(member(*result, "indexed_vectors_count"));
    schema.schema = decode_collection_config(*result);
    return schema;
}

}  // namespace zorv::runtime::rest
