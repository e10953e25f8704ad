// The collection-info dict of `from_results` read back into a collection description: lenient
// about what is missing, strict about what is given.
#include <utility>

#include "python/collection_settings_reader.h"
#include "python/record_reader.h"
#include "python/result_readers.h"

namespace zorv::python {
namespace {

// Binds `*read(value)` into `slot`, passing a failure on.
template <class T, class Reader>
PyRead<void> assign(T& slot, PyObject* value, Reader&& read) {
    auto result = read(value);
    if (!result) return std::unexpected(std::move(result).error());
    slot = std::move(*result);
    return {};
}

template <class T, class Reader>
PyRead<void> assign_optional(std::optional<T>& slot, PyObject* value, Reader&& read) {
    if (value == Py_None) return {};
    return assign(slot, value, std::forward<Reader>(read));
}

PyRead<protocol::DenseVectorInfo> read_dense_vector(PyObject* obj) {
    protocol::DenseVectorInfo info;
    auto done = read_record(obj,
                            {{"name", false},
                             {"size", true},
                             {"distance", true},
                             {"hnsw", false},
                             {"quantization", false},
                             {"multivector", false},
                             {"on_disk", false},
                             {"datatype", false},
                             {"memory", false}},
                            [&](std::size_t field, PyObject* value) -> PyRead<void> {
                                auto json_object = [](PyObject* v) { return json_object_from_py(v); };
                                switch (field) {
                                    case 0: return assign_optional(info.name, value, read_text);
                                    case 1: return assign(info.size, value, read_count);
                                    case 2: return assign(info.distance, value, read_text);
                                    case 3: return assign_optional(info.hnsw, value, json_object);
                                    case 4:
                                        return assign_optional(info.quantization, value,
                                                               [](PyObject* v) { return json_value_from_py(v); });
                                    case 5: return assign_optional(info.multivector, value, json_object);
                                    case 6: return assign_optional(info.on_disk, value, read_flag);
                                    case 7: return assign_optional(info.datatype, value, read_text);
                                    default: return assign_optional(info.memory, value, read_text);
                                }
                            });
    if (!done) return std::unexpected(std::move(done).error());
    return info;
}

PyRead<protocol::SparseVectorInfo> read_sparse_vector(PyObject* obj) {
    protocol::SparseVectorInfo info;
    auto done = read_record(obj, {{"name", true}, {"index", false}, {"modifier", false}},
                            [&](std::size_t field, PyObject* value) -> PyRead<void> {
                                switch (field) {
                                    case 0: return assign(info.name, value, read_text);
                                    case 1:
                                        return assign_optional(info.index, value,
                                                               [](PyObject* v) { return json_object_from_py(v); });
                                    default: return assign_optional(info.modifier, value, read_text);
                                }
                            });
    if (!done) return std::unexpected(std::move(done).error());
    return info;
}

PyRead<protocol::PayloadIndexInfo> read_payload_index(PyObject* obj) {
    protocol::PayloadIndexInfo info;
    auto done =
        read_record(obj, {{"field", true}, {"data_type", true}, {"params", false}, {"is_tenant", false}},
                    [&](std::size_t field, PyObject* value) -> PyRead<void> {
                        switch (field) {
                            case 0: return assign(info.field, value, read_text);
                            case 1: return assign(info.data_type, value, read_text);
                            case 2:
                                return assign(info.params, value, [](PyObject* v) { return json_object_from_py(v); });
                            default: return assign_optional(info.is_tenant, value, read_flag);
                        }
                    });
    if (!done) return std::unexpected(std::move(done).error());
    return info;
}

PyRead<protocol::SchemaParams> read_schema_params(PyObject* obj) {
    protocol::SchemaParams params;
    auto done = read_record(obj,
                            {{"shard_number", false},
                             {"sharding_method", false},
                             {"on_disk_payload", false},
                             {"payload_memory", false},
                             {"replication_factor", false}},
                            [&](std::size_t field, PyObject* value) -> PyRead<void> {
                                switch (field) {
                                    case 0: return assign_optional(params.shard_number, value, read_count);
                                    case 1: return assign_optional(params.sharding_method, value, read_text);
                                    case 2: return assign_optional(params.on_disk_payload, value, read_flag);
                                    case 3: return assign_optional(params.payload_memory, value, read_text);
                                    default: return assign_optional(params.replication_factor, value, read_count);
                                }
                            });
    if (!done) return std::unexpected(std::move(done).error());
    return params;
}

template <class T, class Reader>
PyRead<void> read_items(std::vector<T>& out, PyObject* value, Reader&& read) {
    return read_list(value, [&](PyObject* item) -> PyRead<void> {
        auto entry = read(item);
        if (!entry) return std::unexpected(std::move(entry).error());
        out.push_back(std::move(*entry));
        return {};
    });
}

PyRead<protocol::CollectionSettings> read_collection_schema(PyObject* obj) {
    protocol::CollectionSettings settings;
    auto done = read_record(obj,
                            {{"dense_vectors", false},
                             {"sparse_vectors", false},
                             {"vectors", false},
                             {"payload_indexes", false},
                             {"params", false},
                             {"hnsw", false},
                             {"optimizers", false},
                             {"quantization", false}},
                            [&](std::size_t field, PyObject* value) -> PyRead<void> {
                                switch (field) {
                                    case 0: return read_items(settings.dense_vectors, value, read_text);
                                    case 1: return read_items(settings.sparse_vectors, value, read_sparse_vector);
                                    case 2: return read_items(settings.vectors, value, read_dense_vector);
                                    case 3: return read_items(settings.payload_indexes, value, read_payload_index);
                                    case 4: return assign(settings.params, value, read_schema_params);
                                    default: return read_collection_setting(settings, field - 5, value);
                                }
                            });
    if (!done) return std::unexpected(std::move(done).error());
    return settings;
}

}  // namespace

std::optional<protocol::CollectionSchema> read_collection_info(PyObject* obj) {
    protocol::CollectionSchema info;
    auto done = read_record(obj,
                            {{"status", false},
                             {"points_count", false},
                             {"indexed_vectors_count", false},
                             {"segments_count", false},
                             {"schema", false}},
                            [&](std::size_t field, PyObject* value) -> PyRead<void> {
                                switch (field) {
                                    case 0: return assign(info.status, value, read_text);
                                    case 1: return assign(info.points_count, value, read_count);
                                    case 2: return assign_optional(info.indexed_vectors_count, value, read_count);
                                    case 3: return assign(info.segments_count, value, read_count);
                                    default: return assign(info.schema, value, read_collection_schema);
                                }
                            });
    if (!done) {
        raise_value_error("collection info", done.error());
        return std::nullopt;
    }
    return info;
}

}  // namespace zorv::python
