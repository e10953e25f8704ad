#include "python/collection_settings_reader.h"

#include <limits>
#include <utility>

#include "protocol/settings_read.h"
#include "python/py_value_view.h"
#include "python/record_reader.h"

namespace zorv::python {
namespace {

template <class T>
PyRead<void> store_optional(std::optional<T>& slot, PyRead<T> read) {
    if (!read) return std::unexpected(std::move(read).error());
    slot = std::move(*read);
    return {};
}

// A tier of HNSW settings: one of the three words, exact lower case.
PyRead<protocol::StorageTier> read_hnsw_tier(PyObject* obj) {
    const PyValueView view(obj);
    if (view.kind() != protocol::ValueKind::String) {
        return std::unexpected(protocol::invalid_type(view, "one of `cold`, `cached`, `pinned`").error());
    }
    return protocol::detail::storage_tier_from_word(view.as_string());
}

// "auto" in any ASCII case, or a thread count up to the signed 64-bit maximum; never a bool.
PyRead<protocol::OptimizerThreads> read_thread_setting(PyObject* obj) {
    const PyValueView view(obj);
    if (view.kind() == protocol::ValueKind::UInt &&
        view.as_uint() > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return std::unexpected(protocol::invalid_type(view, "a thread count or \"auto\"").error());
    }
    auto threads = protocol::decode_optimizer_threads(view);
    if (!threads) return std::unexpected(std::move(threads).error());
    const std::optional<protocol::OptimizerThreads>& setting = *threads;
    if (!setting.has_value()) return read_failure("invalid type: null, expected a thread count or \"auto\"");
    return setting.value();
}

PyRead<protocol::HnswConfig> read_hnsw(PyObject* obj) {
    protocol::HnswConfig config;
    auto done = read_record(obj,
                            {{"m", false},
                             {"ef_construct", false},
                             {"full_scan_threshold", false},
                             {"max_indexing_threads", false},
                             {"on_disk", false},
                             {"payload_m", false},
                             {"inline_storage", false},
                             {"memory", false}},
                            [&](std::size_t field, PyObject* value) -> PyRead<void> {
                                if (value == Py_None) return {};
                                switch (field) {
                                    case 0: return store_optional(config.m, read_count(value));
                                    case 1: return store_optional(config.ef_construct, read_count(value));
                                    case 2: return store_optional(config.full_scan_threshold, read_count(value));
                                    case 3: return store_optional(config.max_indexing_threads, read_count(value));
                                    case 4: return store_optional(config.on_disk, read_flag(value));
                                    case 5: return store_optional(config.payload_m, read_count(value));
                                    case 6: return store_optional(config.inline_storage, read_flag(value));
                                    default: return store_optional(config.memory, read_hnsw_tier(value));
                                }
                            });
    if (!done) return std::unexpected(std::move(done).error());
    return config;
}

PyRead<protocol::OptimizersConfig> read_optimizers(PyObject* obj) {
    protocol::OptimizersConfig config;
    auto done = read_record(
        obj,
        {{"deleted_threshold", false},
         {"vacuum_min_vector_number", false},
         {"default_segment_number", false},
         {"max_segment_size", false},
         {"memmap_threshold", false},
         {"indexing_threshold", false},
         {"flush_interval_sec", false},
         {"max_optimization_threads", false},
         {"prevent_unoptimized", false}},
        [&](std::size_t field, PyObject* value) -> PyRead<void> {
            if (value == Py_None) return {};
            std::optional<std::uint64_t>* counts[] = {&config.vacuum_min_vector_number, &config.default_segment_number,
                                                      &config.max_segment_size,         &config.memmap_threshold,
                                                      &config.indexing_threshold,       &config.flush_interval_sec};
            switch (field) {
                case 0: return store_optional(config.deleted_threshold, read_float(value));
                case 7: return store_optional(config.max_optimization_threads, read_thread_setting(value));
                case 8: return store_optional(config.prevent_unoptimized, read_flag(value));
                default: return store_optional(*counts[field - 1], read_count(value));
            }
        });
    if (!done) return std::unexpected(std::move(done).error());
    return config;
}

// Through the same reader as the server's JSON; only its final message is reported.
PyRead<protocol::QuantizationConfig> read_quantization(PyObject* obj) {
    auto config = protocol::deserialize_quantization_config(PyValueView(obj));
    if (PyErr_Occurred()) PyErr_Clear();
    if (!config) return std::unexpected(std::move(config).error());
    return std::move(*config);
}

}  // namespace

PyRead<void> read_collection_setting(protocol::CollectionSettings& settings, std::size_t which, PyObject* value) {
    if (value == Py_None) return {};
    switch (which) {
        case 0: return store_optional(settings.hnsw, read_hnsw(value));
        case 1: return store_optional(settings.optimizers, read_optimizers(value));
        default: return store_optional(settings.quantization, read_quantization(value));
    }
}

}  // namespace zorv::python
