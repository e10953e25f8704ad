// CREATE / ALTER COLLECTION: the mode, vector definitions and the settings block. Every key of
// these records is always written, null when unset.
#include <array>
#include <variant>

#include "core/json/emit.h"
#include "core/overloaded.h"

namespace zorv::core::json {
namespace {

// The JSON names are capitalised, unlike the canonical text's words.
std::string_view distance_json_name(DistanceMetric metric) {
    static constexpr std::array<std::string_view, 4> names = {"Cosine", "Dot", "Euclid", "Manhattan"};
    return names[static_cast<std::size_t>(metric)];
}

std::string_view quantization_json_name(QuantizationKind kind) {
    static constexpr std::array<std::string_view, 4> names = {"Scalar", "Binary", "Product", "Turbo"};
    return names[static_cast<std::size_t>(kind)];
}

void write_tier_field(JsonOut& out, std::string_view key, const std::optional<StorageTier>& tier) {
    out.key(key);
    if (tier) {
        out.string(storage_tier_name(*tier));
    } else {
        out.null();
    }
}

void write_datatype_field(JsonOut& out, const std::optional<VectorDatatype>& datatype) {
    out.key("datatype");
    if (datatype) {
        out.string(vector_datatype_name(*datatype));
    } else {
        out.null();
    }
}

// Writes `key` and null when absent, else `key` and what `body` writes.
template <class T, class Body>
void opt_record_field(JsonOut& out, std::string_view key, const std::optional<T>& value, Body&& body) {
    out.key(key);
    if (value) {
        body(*value);
    } else {
        out.null();
    }
}

void write_vector_storage(JsonOut& out, const VectorStorageSettings& s) {
    Object obj(out);
    opt_bool_field(out, "on_disk", s.on_disk);
    write_tier_field(out, "memory", s.memory);
    write_datatype_field(out, s.datatype);
}

void write_hnsw(JsonOut& out, const HnswSettings& h) {
    Object obj(out);
    opt_u64_field(out, "m", h.m);
    opt_u64_field(out, "ef_construct", h.ef_construct);
    opt_u64_field(out, "full_scan_threshold", h.full_scan_threshold);
    opt_u64_field(out, "max_indexing_threads", h.max_indexing_threads);
    opt_bool_field(out, "on_disk", h.on_disk);
    opt_u64_field(out, "payload_m", h.payload_m);
    opt_bool_field(out, "inline_storage", h.inline_storage);
    write_tier_field(out, "memory", h.memory);
}

void write_sparse_index(JsonOut& out, const SparseIndexSettings& s) {
    Object obj(out);
    opt_u64_field(out, "full_scan_threshold", s.full_scan_threshold);
    opt_bool_field(out, "on_disk", s.on_disk);
    write_datatype_field(out, s.datatype);
    write_tier_field(out, "memory", s.memory);
}

void write_quantization(JsonOut& out, const QuantizationSettings& q) {
    Object obj(out);
    str_field(out, "qtype", quantization_json_name(q.qtype));
    bool_field(out, "always_ram", q.always_ram);
    opt_f64_field(out, "quantile", q.quantile);
    opt_f64_field(out, "bits", q.bits);
    opt_str_field(out, "compression", q.compression);
    opt_str_field(out, "encoding", q.encoding);
    opt_str_field(out, "query_encoding", q.query_encoding);
    write_tier_field(out, "memory", q.memory);
}

void write_quantization_update(JsonOut& out, const QuantizationUpdate& u) {
    Object obj(out);
    bool_field(out, "disabled", u.disabled);
    opt_record_field(out, "config", u.config, [&](const QuantizationSettings& q) { write_quantization(out, q); });
}

void write_optimizers(JsonOut& out, const OptimizerSettings& o) {
    Object obj(out);
    opt_f64_field(out, "deleted_threshold", o.deleted_threshold);
    opt_u64_field(out, "vacuum_min_vector_number", o.vacuum_min_vector_number);
    opt_u64_field(out, "default_segment_number", o.default_segment_number);
    opt_u64_field(out, "max_segment_size", o.max_segment_size);
    opt_u64_field(out, "memmap_threshold", o.memmap_threshold);
    opt_u64_field(out, "indexing_threshold", o.indexing_threshold);
    opt_u64_field(out, "flush_interval_sec", o.flush_interval_sec);
    opt_record_field(out, "max_optimization_threads", o.max_optimization_threads, [&](const ThreadCount& t) {
        Object threads(out);
        bool_field(out, "auto_", t.auto_);
        u64_field(out, "value", t.value);
    });
    opt_bool_field(out, "prevent_unoptimized", o.prevent_unoptimized);
}

void write_collection_params(JsonOut& out, const CollectionParamsSettings& p) {
    Object obj(out);
    opt_u64_field(out, "replication_factor", p.replication_factor);
    opt_u64_field(out, "write_consistency_factor", p.write_consistency_factor);
    opt_u64_field(out, "read_fan_out_factor", p.read_fan_out_factor);
    opt_u64_field(out, "read_fan_out_delay_ms", p.read_fan_out_delay_ms);
    opt_bool_field(out, "on_disk_payload", p.on_disk_payload);
    write_tier_field(out, "payload_memory", p.payload_memory);
    opt_u64_field(out, "shard_number", p.shard_number);
    opt_str_field(out, "sharding_method", p.sharding_method);
    opt_record_field(out, "shard_keys", p.shard_keys, [&](const std::vector<ShardKey>& keys) {
        array_of(out, keys, [&](const ShardKey& k) { write_shard_key(out, k); });
    });
}

void write_pairs_field(JsonOut& out, std::string_view key, const std::optional<LiteralDict>& pairs) {
    opt_record_field(out, key, pairs, [&](const LiteralDict& d) { write_dict_pairs(out, d); });
}

void write_settings(JsonOut& out, const CollectionSettings& s) {
    Object obj(out);
    opt_record_field(out, "vectors", s.vectors, [&](const VectorStorageSettings& v) { write_vector_storage(out, v); });
    opt_record_field(out, "hnsw", s.hnsw, [&](const HnswSettings& h) { write_hnsw(out, h); });
    opt_record_field(out, "optimizers", s.optimizers, [&](const OptimizerSettings& o) { write_optimizers(out, o); });
    opt_record_field(out, "params", s.params,
                     [&](const CollectionParamsSettings& p) { write_collection_params(out, p); });
    opt_record_field(out, "quantization", s.quantization,
                     [&](const QuantizationSettings& q) { write_quantization(out, q); });
    opt_record_field(out, "quantization_update", s.quantization_update,
                     [&](const QuantizationUpdate& u) { write_quantization_update(out, u); });
    write_pairs_field(out, "wal", s.wal);
    write_pairs_field(out, "strict_mode", s.strict_mode);
    write_pairs_field(out, "metadata", s.metadata);
    out.key("vector_diffs");
    array_of(out, s.vector_diffs, [&](const VectorDiff& d) {
        Object diff(out);
        str_field(out, "name", d.name);
        opt_record_field(out, "hnsw", d.hnsw, [&](const HnswSettings& h) { write_hnsw(out, h); });
        opt_record_field(out, "quantization", d.quantization,
                         [&](const QuantizationUpdate& u) { write_quantization_update(out, u); });
        opt_record_field(out, "vectors", d.vectors,
                         [&](const VectorStorageSettings& v) { write_vector_storage(out, v); });
    });
    out.key("sparse_vector_diffs");
    array_of(out, s.sparse_vector_diffs,
             [&](const SparseVectorDiff& d) { write_sparse_vector_def(out, d.name, d.index, d.modifier); });
}

}  // namespace

void write_create_mode(JsonOut& out, const CreateCollectionMode& mode) {
    std::visit(Overloaded{
                   [&](const CreateCollectionMode::Dense& m) {
                       tagged(out, "Dense", [&] {
                           Object obj(out);
                           opt_str_field(out, "model", m.model);
                       });
                   },
                   [&](const CreateCollectionMode::Hybrid& m) {
                       tagged(out, "Hybrid", [&] {
                           Object obj(out);
                           opt_str_field(out, "dense_vector", m.dense_vector);
                           opt_str_field(out, "sparse_vector", m.sparse_vector);
                       });
                   },
                   [&](const CreateCollectionMode::Rerank&) { out.string("Rerank"); },
               },
               mode.value);
}

void write_dense_vector_def(JsonOut& out, const DenseVectorDef& def) {
    Object obj(out);
    str_field(out, "name", def.name);
    u64_field(out, "size", def.size);
    str_field(out, "distance", distance_json_name(def.distance));
    opt_record_field(out, "hnsw", def.hnsw, [&](const HnswSettings& h) { write_hnsw(out, h); });
    opt_record_field(out, "quantization", def.quantization,
                     [&](const QuantizationSettings& q) { write_quantization(out, q); });
    out.key("multivector");
    if (def.multivector) {
        Object mv(out);
        str_field(out, "comparator", "MaxSim");
    } else {
        out.null();
    }
    opt_record_field(out, "vectors", def.vectors,
                     [&](const VectorStorageSettings& v) { write_vector_storage(out, v); });
}

void write_sparse_vector_def(JsonOut& out, const std::string& name, const std::optional<SparseIndexSettings>& index,
                             const std::optional<std::string>& modifier) {
    Object obj(out);
    str_field(out, "name", name);
    opt_record_field(out, "index", index, [&](const SparseIndexSettings& s) { write_sparse_index(out, s); });
    opt_str_field(out, "modifier", modifier);
}

void write_collection_settings_field(JsonOut& out, const CollectionSettings* settings) {
    out.key("config");
    if (settings != nullptr) {
        write_settings(out, *settings);
    } else {
        out.null();
    }
}

}  // namespace zorv::core::json
