#include "python/collection_settings_dict.h"

#include <string>
#include <utility>

#include "core/overloaded.h"

namespace zorv::python {
namespace {

bool put(PyObject* dict, const char* key, PyRef value) {
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

bool put_if(PyObject* dict, const char* key, const std::optional<std::uint64_t>& value) {
    return !value || put(dict, key, PyRef::steal(PyLong_FromUnsignedLongLong(*value)));
}
bool put_if(PyObject* dict, const char* key, const std::optional<bool>& value) {
    return !value || put(dict, key, PyRef::borrow(*value ? Py_True : Py_False));
}
bool put_if(PyObject* dict, const char* key, const std::optional<std::string>& value) {
    return !value || put(dict, key, py_str(*value));
}
bool put_if(PyObject* dict, const char* key, const std::optional<double>& value) {
    return !value || put(dict, key, PyRef::steal(PyFloat_FromDouble(*value)));
}

// The tier entry: "memory" with the tier word.
bool put_tier(PyObject* dict, const std::optional<protocol::StorageTier>& tier) {
    return !tier || put(dict, "memory", py_str(protocol::storage_tier_word(*tier)));
}

PyRef threads_to_py(const protocol::OptimizerThreads& threads) {
    return std::visit(core::Overloaded{[](const protocol::OptimizerThreads::Auto&) { return py_str("auto"); },
                                       [](const protocol::OptimizerThreads::ThreadCount& n) {
                                           return PyRef::steal(PyLong_FromUnsignedLongLong(n.count));
                                       }},
                      threads.value);
}

bool fill_quantization(PyObject* dict, const protocol::ScalarQuantization& q) {
    return put(dict, "type", py_str(q.type)) && put_if(dict, "quantile", q.quantile) &&
           put_if(dict, "always_ram", q.always_ram) && put_tier(dict, q.memory);
}
bool fill_quantization(PyObject* dict, const protocol::ProductQuantization& q) {
    return put(dict, "compression", py_str(q.compression)) && put_if(dict, "always_ram", q.always_ram) &&
           put_tier(dict, q.memory);
}
bool fill_quantization(PyObject* dict, const protocol::BinaryQuantization& q) {
    return put_if(dict, "always_ram", q.always_ram) && put_if(dict, "encoding", q.encoding) &&
           put_if(dict, "query_encoding", q.query_encoding) && put_tier(dict, q.memory);
}
bool fill_quantization(PyObject* dict, const protocol::TurboQuantization& q) {
    return put_if(dict, "bits", q.bits) && put_if(dict, "always_ram", q.always_ram) && put_tier(dict, q.memory);
}

}  // namespace

bool hnsw_config_to_dict(PyObject* schema, const protocol::HnswConfig& config) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put_if(dict.get(), "m", config.m) || !put_if(dict.get(), "ef_construct", config.ef_construct) ||
        !put_if(dict.get(), "full_scan_threshold", config.full_scan_threshold) ||
        !put_if(dict.get(), "max_indexing_threads", config.max_indexing_threads) ||
        !put_if(dict.get(), "on_disk", config.on_disk) || !put_if(dict.get(), "payload_m", config.payload_m) ||
        !put_if(dict.get(), "inline_storage", config.inline_storage) || !put_tier(dict.get(), config.memory)) {
        return false;
    }
    return put(schema, "hnsw", std::move(dict));
}

bool optimizers_config_to_dict(PyObject* schema, const protocol::OptimizersConfig& config) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict || !put_if(dict.get(), "deleted_threshold", config.deleted_threshold) ||
        !put_if(dict.get(), "vacuum_min_vector_number", config.vacuum_min_vector_number) ||
        !put_if(dict.get(), "default_segment_number", config.default_segment_number) ||
        !put_if(dict.get(), "max_segment_size", config.max_segment_size) ||
        !put_if(dict.get(), "memmap_threshold", config.memmap_threshold) ||
        !put_if(dict.get(), "indexing_threshold", config.indexing_threshold) ||
        !put_if(dict.get(), "flush_interval_sec", config.flush_interval_sec)) {
        return false;
    }
    if (config.max_optimization_threads &&
        !put(dict.get(), "max_optimization_threads", threads_to_py(*config.max_optimization_threads))) {
        return false;
    }
    if (!put_if(dict.get(), "prevent_unoptimized", config.prevent_unoptimized)) return false;
    return put(schema, "optimizers", std::move(dict));
}

bool quantization_config_to_dict(PyObject* schema, const protocol::QuantizationConfig& config) {
    PyRef inner = PyRef::steal(PyDict_New());
    if (!inner || !std::visit([&](const auto& q) { return fill_quantization(inner.get(), q); }, config)) return false;
    PyRef outer = PyRef::steal(PyDict_New());
    const std::string key(protocol::quantization_variant_key(config));
    if (!outer || !put(outer.get(), key.c_str(), std::move(inner))) return false;
    return put(schema, "quantization", std::move(outer));
}

}  // namespace zorv::python
