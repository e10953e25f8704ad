#include "python/collection_info.h"

#include <string>
#include <utility>

#include "python/collection_settings_dict.h"
#include "python/compile.h"
#include "python/result_forms.h"

namespace zorv::python {
namespace {

PyRef new_dict() { return PyRef::steal(PyDict_New()); }

bool put(PyObject* dict, const char* key, PyRef value) {
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

bool put_if(PyObject* dict, const char* key, const std::optional<std::string>& value) {
    return !value || put(dict, key, py_str(*value));
}
bool put_if(PyObject* dict, const char* key, const std::optional<std::uint64_t>& value) {
    return !value || put(dict, key, PyRef::steal(PyLong_FromUnsignedLongLong(*value)));
}
bool put_if(PyObject* dict, const char* key, const std::optional<bool>& value) {
    return !value || put(dict, key, PyRef::borrow(*value ? Py_True : Py_False));
}
bool put_if(PyObject* dict, const char* key, const std::optional<plan::JsonObject>& value) {
    return !value || put(dict, key, string_map_to_dict(*value));
}

template <class T, class F>
PyRef list_of(const std::vector<T>& items, F&& convert) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return {};
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyRef item = convert(items[i]);
        if (!item) return {};
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item.release());
    }
    return list;
}

PyRef sparse_vector_to_dict(const protocol::SparseVectorInfo& info) {
    PyRef dict = new_dict();
    if (!dict || !put(dict.get(), "name", py_str(info.name)) || !put_if(dict.get(), "index", info.index) ||
        !put_if(dict.get(), "modifier", info.modifier)) {
        return {};
    }
    return dict;
}

PyRef dense_vector_to_dict(const protocol::DenseVectorInfo& info) {
    PyRef dict = new_dict();
    if (!dict) return {};
    PyRef name = info.name ? py_str(*info.name) : PyRef::borrow(Py_None);
    if (!put(dict.get(), "name", std::move(name)) ||
        !put(dict.get(), "size", PyRef::steal(PyLong_FromUnsignedLongLong(info.size))) ||
        !put(dict.get(), "distance", py_str(info.distance)) || !put_if(dict.get(), "hnsw", info.hnsw)) {
        return {};
    }
    if (info.quantization && !put(dict.get(), "quantization", PyRef::steal(json_value_to_py(*info.quantization)))) {
        return {};
    }
    if (!put_if(dict.get(), "multivector", info.multivector) || !put_if(dict.get(), "on_disk", info.on_disk) ||
        !put_if(dict.get(), "datatype", info.datatype) || !put_if(dict.get(), "memory", info.memory)) {
        return {};
    }
    return dict;
}

PyRef payload_index_to_dict(const protocol::PayloadIndexInfo& info) {
    PyRef dict = new_dict();
    if (!dict || !put(dict.get(), "field", py_str(info.field)) ||
        !put(dict.get(), "data_type", py_str(info.data_type)) ||
        !put(dict.get(), "params", string_map_to_dict(info.params)) ||
        !put_if(dict.get(), "is_tenant", info.is_tenant)) {
        return {};
    }
    return dict;
}

bool collection_params_to_dict(PyObject* schema, const protocol::SchemaParams& params) {
    PyRef dict = new_dict();
    if (!dict || !put_if(dict.get(), "shard_number", params.shard_number) ||
        !put_if(dict.get(), "sharding_method", params.sharding_method) ||
        !put_if(dict.get(), "on_disk_payload", params.on_disk_payload) ||
        !put_if(dict.get(), "payload_memory", params.payload_memory) ||
        !put_if(dict.get(), "replication_factor", params.replication_factor)) {
        return false;
    }
    return put(schema, "params", std::move(dict));
}

PyRef settings_to_dict(const protocol::CollectionSettings& settings) {
    PyRef dict = new_dict();
    if (!dict) return {};
    PyRef dense = list_of(settings.dense_vectors, [](const std::string& name) { return py_str(name); });
    if (!put(dict.get(), "dense_vectors", std::move(dense)) ||
        !put(dict.get(), "sparse_vectors", list_of(settings.sparse_vectors, sparse_vector_to_dict)) ||
        !put(dict.get(), "vectors", list_of(settings.vectors, dense_vector_to_dict)) ||
        !put(dict.get(), "payload_indexes", list_of(settings.payload_indexes, payload_index_to_dict)) ||
        !collection_params_to_dict(dict.get(), settings.params)) {
        return {};
    }
    if (settings.hnsw && !hnsw_config_to_dict(dict.get(), *settings.hnsw)) return {};
    if (settings.optimizers && !optimizers_config_to_dict(dict.get(), *settings.optimizers)) return {};
    if (settings.quantization && !quantization_config_to_dict(dict.get(), *settings.quantization)) return {};
    return dict;
}

}  // namespace

PyRef string_map_to_dict(const plan::JsonObject& map) {
    PyRef dict = new_dict();
    if (!dict) return {};
    for (const auto& [key, value] : map) {
        PyRef key_obj = py_str(key);
        if (!key_obj || !put_item(dict.get(), key_obj.get(), PyRef::steal(json_value_to_py(value)))) return {};
    }
    return dict;
}

PyRef collection_info_to_dict(const protocol::CollectionSchema& info) {
    PyRef dict = new_dict();
    if (!dict || !put(dict.get(), "status", py_str(info.status)) ||
        !put(dict.get(), "points_count", PyRef::steal(PyLong_FromUnsignedLongLong(info.points_count))) ||
        !put_if(dict.get(), "indexed_vectors_count", info.indexed_vectors_count) ||
        !put(dict.get(), "segments_count", PyRef::steal(PyLong_FromUnsignedLongLong(info.segments_count))) ||
        !put(dict.get(), "schema", settings_to_dict(info.schema))) {
        return {};
    }
    return dict;
}

}  // namespace zorv::python
