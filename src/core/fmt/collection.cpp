#include "core/fmt/collection.h"

#include "core/fmt/values.h"
#include "core/text.h"

namespace zorv::core {
namespace {

std::string_view bool_text(bool value) { return value ? "true" : "false"; }

// "key = value" items with ", " between them.
class Items {
public:
    explicit Items(TextSink& sink) : sink_(sink) {}

    TextSink& next(std::string_view key) {
        if (!first_) sink_.text(", ");
        first_ = false;
        return sink_.text(key).text(" = ");
    }
    template <class T>
    void integer(std::string_view key, const std::optional<T>& value) {
        if (value) next(key).integer(*value);
    }
    void boolean(std::string_view key, const std::optional<bool>& value) {
        if (value) next(key).text(bool_text(*value));
    }
    void tier(std::string_view key, const std::optional<StorageTier>& value) {
        if (value) next(key).quoted(storage_tier_name(*value));
    }
    void datatype(std::string_view key, const std::optional<VectorDatatype>& value) {
        if (value) next(key).quoted(vector_datatype_name(*value));
    }
    void f64(std::string_view key, const std::optional<double>& value) {
        if (value) next(key).f64(*value);
    }
    void quoted(std::string_view key, const std::optional<std::string>& value) {
        if (value) next(key).quoted(*value);
    }

private:
    TextSink& sink_;
    bool first_ = true;
};

std::optional<std::string> non_empty(std::string text) {
    if (text.empty()) return std::nullopt;
    return text;
}

void write_sparse_items(TextSink& sink, const std::optional<SparseIndexSettings>& index,
                        const std::optional<std::string>& modifier) {
    Items items(sink);
    if (modifier) items.next("modifier").quoted(to_ascii_lower(*modifier));
    if (!index) return;
    items.integer("full_scan_threshold", index->full_scan_threshold);
    items.boolean("on_disk", index->on_disk);
    items.datatype("datatype", index->datatype);
    items.tier("memory", index->memory);
}

void write_optimizer_items(TextSink& sink, const OptimizerSettings& o) {
    Items items(sink);
    items.f64("deleted_threshold", o.deleted_threshold);
    items.integer("vacuum_min_vector_number", o.vacuum_min_vector_number);
    items.integer("default_segment_number", o.default_segment_number);
    items.integer("max_segment_size", o.max_segment_size);
    items.integer("memmap_threshold", o.memmap_threshold);
    items.integer("indexing_threshold", o.indexing_threshold);
    items.integer("flush_interval_sec", o.flush_interval_sec);
    if (const auto& threads = o.max_optimization_threads) {
        if (threads->auto_) items.next("max_optimization_threads").text("'auto'");
        else items.next("max_optimization_threads").integer(threads->value);
    }
    items.boolean("prevent_unoptimized", o.prevent_unoptimized);
}

void write_params_items(TextSink& sink, const CollectionParamsSettings& p) {
    Items items(sink);
    items.integer("replication_factor", p.replication_factor);
    items.integer("write_consistency_factor", p.write_consistency_factor);
    items.integer("read_fan_out_factor", p.read_fan_out_factor);
    items.integer("read_fan_out_delay_ms", p.read_fan_out_delay_ms);
    items.boolean("on_disk_payload", p.on_disk_payload);
    items.tier("payload_memory", p.payload_memory);
    items.integer("shard_number", p.shard_number);
    if (p.sharding_method) items.next("sharding_method").quoted(to_ascii_lower(*p.sharding_method));
    if (p.shard_keys) {
        items.next("shard_keys").text('[');
        sink.join(*p.shard_keys, ", ", [](TextSink& s, const ShardKey& key) { write_shard_key(s, key); });
        sink.text(']');
    }
}

// "prefix" + items + ")" when the items are not empty.
template <class Record, class Write>
void add_clause(std::vector<std::string>& clauses, std::string_view prefix, const Record& record, Write&& write) {
    std::string items = print_to_string(write, record);
    if (!items.empty()) clauses.push_back(std::string(prefix) + items + ")");
}

std::string vector_diff_clause(const VectorDiff& diff) {
    std::string out;
    TextSink sink(out);
    sink.text("WITH VECTOR ").identifier(diff.name).text(" (");
    bool first = true;
    auto part = [&]() -> TextSink& {
        if (!first) sink.text(", ");
        first = false;
        return sink;
    };
    if (diff.hnsw) {
        if (auto items = format_hnsw_config(*diff.hnsw)) part().text("HNSW (").text(*items).text(')');
    }
    if (diff.quantization) {
        if (diff.quantization->disabled) part().text("QUANTIZATION (disabled = true)");
        else if (diff.quantization->config) {
            write_quantization_items(part().text("QUANTIZATION ("), *diff.quantization->config);
            sink.text(')');
        }
    }
    if (diff.vectors) {
        if (auto items = format_vector_storage(*diff.vectors)) part().text("VECTOR (").text(*items).text(')');
    }
    sink.text(')');
    return out;
}

}  // namespace

void write_hnsw_items(TextSink& sink, const HnswSettings& h) {
    Items items(sink);
    items.integer("m", h.m);
    items.integer("ef_construct", h.ef_construct);
    items.integer("full_scan_threshold", h.full_scan_threshold);
    items.integer("max_indexing_threads", h.max_indexing_threads);
    items.boolean("on_disk", h.on_disk);
    items.integer("payload_m", h.payload_m);
    items.boolean("inline_storage", h.inline_storage);
    items.tier("memory", h.memory);
}

void write_vector_storage_items(TextSink& sink, const VectorStorageSettings& v) {
    Items items(sink);
    items.boolean("on_disk", v.on_disk);
    items.tier("memory", v.memory);
    items.datatype("datatype", v.datatype);
}

void write_config_entries(TextSink& sink, const LiteralDict& entries) {
    sink.join(entries, ", ", [](TextSink& s, const LiteralEntry& entry) {
        write_literal(s.identifier(entry.first).text(" = "), entry.second);
    });
}

void write_quantization_items(TextSink& sink, const QuantizationSettings& q) {
    Items items(sink);
    items.next("type").quoted(quantization_kind_name(q.qtype));
    if (q.always_ram) items.next("always_ram").text("true");
    items.f64("quantile", q.quantile);
    items.f64("bits", q.bits);
    items.quoted("compression", q.compression);
    items.quoted("encoding", q.encoding);
    items.quoted("query_encoding", q.query_encoding);
    items.tier("memory", q.memory);
}

void write_dense_vector_def(TextSink& sink, const DenseVectorDef& def) {
    sink.identifier(def.name).text(" VECTOR(").integer(def.size).text(", ").text(distance_metric_name(def.distance));
    sink.text(')');
    if (def.hnsw) {
        if (auto items = format_hnsw_config(*def.hnsw)) sink.text(" WITH HNSW (").text(*items).text(')');
    }
    if (def.quantization) {
        write_quantization_items(sink.text(" WITH QUANTIZATION ("), *def.quantization);
        sink.text(')');
    }
    if (def.multivector) sink.text(" WITH MULTIVECTOR (comparator = 'max_sim')");
    if (def.vectors) {
        if (auto items = format_vector_storage(*def.vectors)) sink.text(" WITH VECTOR (").text(*items).text(')');
    }
}

void write_sparse_vector_def(TextSink& sink, const SparseVectorDef& def) {
    sink.identifier(def.name).text(" SPARSE");
    std::string items = print_to_string(write_sparse_items, def.index, def.modifier);
    if (!items.empty()) sink.text(" WITH SPARSE (").text(items).text(')');
}

std::optional<std::string> format_hnsw_config(const HnswSettings& hnsw) {
    return non_empty(print_to_string(write_hnsw_items, hnsw));
}

std::optional<std::string> format_vector_storage(const VectorStorageSettings& vectors) {
    return non_empty(print_to_string(write_vector_storage_items, vectors));
}

std::optional<std::string> format_config_entries(const LiteralDict& entries) {
    return non_empty(print_to_string(write_config_entries, entries));
}

std::string format_quantization_config(const QuantizationSettings& quantization) {
    return print_to_string(write_quantization_items, quantization);
}

std::string format_dense_vector_def(const DenseVectorDef& def) { return print_to_string(write_dense_vector_def, def); }

std::string format_sparse_vector_def(const SparseVectorDef& def) {
    return print_to_string(write_sparse_vector_def, def);
}

std::vector<std::string> format_collection_config_clauses(const CollectionSettings& s) {
    std::vector<std::string> clauses;
    if (s.hnsw) add_clause(clauses, "WITH HNSW (", *s.hnsw, write_hnsw_items);
    if (s.vectors) add_clause(clauses, "WITH VECTOR (", *s.vectors, write_vector_storage_items);
    if (s.optimizers) add_clause(clauses, "WITH OPTIMIZERS (", *s.optimizers, write_optimizer_items);
    if (s.params) add_clause(clauses, "WITH PARAMS (", *s.params, write_params_items);
    if (s.quantization) add_clause(clauses, "WITH QUANTIZATION (", *s.quantization, write_quantization_items);
    if (s.wal) add_clause(clauses, "WITH WAL (", *s.wal, write_config_entries);
    if (s.strict_mode) add_clause(clauses, "WITH STRICT_MODE (", *s.strict_mode, write_config_entries);
    if (s.metadata) add_clause(clauses, "WITH METADATA (", *s.metadata, write_config_entries);
    if (const auto& update = s.quantization_update) {
        // A configured quantization was printed above; the update only adds a disabling clause.
        if (update->disabled) clauses.emplace_back("WITH QUANTIZATION (disabled = true)");
        else if (update->config && !s.quantization) {
            add_clause(clauses, "WITH QUANTIZATION (", *update->config, write_quantization_items);
        }
    }
    for (const VectorDiff& diff : s.vector_diffs) clauses.push_back(vector_diff_clause(diff));
    for (const SparseVectorDiff& diff : s.sparse_vector_diffs) {
        std::string out;
        TextSink sink(out);
        sink.text("WITH SPARSE ").identifier(diff.name).text(" (SPARSE (");
        write_sparse_items(sink, diff.index, diff.modifier);
        sink.text("))");
        clauses.push_back(std::move(out));
    }
    return clauses;
}

}  // namespace zorv::core
