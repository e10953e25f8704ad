#include "plan/rest/collection_body.h"

#include <cmath>
#include <string_view>
#include <utility>
#include <variant>

#include "core/overloaded.h"
#include "plan/value_json.h"

namespace zorv::plan {

namespace {

JsonValue f64_value(double x) { return std::isfinite(x) ? JsonValue(x) : JsonValue(nullptr); }
JsonValue tier_value(StorageTier tier) { return std::string(core::storage_tier_name(tier)); }
JsonValue datatype_value(PlanDatatype datatype) { return std::string(core::vector_datatype_name(datatype)); }

std::string_view distance_name(PlanDistance distance) {
    switch (distance) {
        case PlanDistance::Cosine: return "Cosine";
        case PlanDistance::Dot: return "Dot";
        case PlanDistance::Euclid: return "Euclid";
        case PlanDistance::Manhattan: return "Manhattan";
    }
    return "Cosine";
}

std::string_view modifier_name(PlanSparseModifier modifier) {
    return modifier == PlanSparseModifier::None ? "none" : "idf";
}

// Adds `key` only when the setting is set, converted by `to`.
template <class T, class F>
void put_opt(JsonObject& obj, std::string_view key, const std::optional<T>& value, F to) {
    if (value) obj.insert_or_assign(std::string(key), to(*value));
}
template <class T>
void put_opt(JsonObject& obj, std::string_view key, const std::optional<T>& value) {
    put_opt(obj, key, value, [](const T& v) { return JsonValue(v); });
}
void put_tier(JsonObject& obj, std::string_view key, const std::optional<StorageTier>& tier) {
    put_opt(obj, key, tier, tier_value);
}

JsonValue wal_config_to_value(const PlanWalConfig& wal) {
    JsonObject obj;
    put_opt(obj, "wal_capacity_mb", wal.wal_capacity_mb);
    put_opt(obj, "wal_segments_ahead", wal.wal_segments_ahead);
    put_opt(obj, "wal_retain_closed", wal.wal_retain_closed);
    return obj;
}

JsonValue metadata_to_value(const OptionList& metadata) {
    JsonObject obj;
    for (const auto& [name, value] : metadata) obj.insert_or_assign(name, plan_value_to_json(value));
    return obj;
}

template <class Limit>
JsonValue limit_map_to_value(const VectorNameMap<Limit>& limits, std::string_view key,
                             std::optional<std::uint64_t> Limit::*field) {
    JsonObject obj;
    for (const auto& [name, limit] : limits) {
        JsonObject inner;
        put_opt(inner, key, limit.*field);
        obj.emplace(name, std::move(inner));
    }
    return obj;
}

JsonValue quantization_diff_to_value(const PlanQuantizationDiff& diff) {
    if (std::holds_alternative<QuantizationDisabled>(diff)) return "Disabled";
    return quantization_config_to_value(std::get<PlanQuantization>(diff));
}

JsonValue sparse_vector_to_value(const PlanSparseVectorParams& params) {
    JsonObject obj;
    put_opt(obj, "index", params.index, sparse_index_to_value);
    obj.emplace("modifier", std::string(modifier_name(params.modifier)));
    return obj;
}

JsonValue vector_diff_to_value(const PlanVectorDiff& diff) {
    JsonObject obj;
    if (diff.hnsw_config) put_hnsw_config_entry(obj, diff.hnsw_config);
    if (diff.quantization_config) put_quantization_diff_entry(obj, diff.quantization_config);
    put_opt(obj, "on_disk", diff.on_disk);
    put_tier(obj, "memory", diff.memory);
    return obj;
}

JsonValue sparse_diff_to_value(const PlanSparseVectorDiff& diff) {
    JsonObject obj;
    if (diff.index) put_sparse_index_entry(obj, diff.index);
    put_opt(obj, "modifier", diff.modifier,
            [](PlanSparseModifier m) { return JsonValue(std::string(modifier_name(m))); });
    return obj;
}

JsonValue params_update_to_value(const PlanParamsUpdate& params) {
    JsonObject obj;
    put_opt(obj, "replication_factor", params.replication_factor);
    put_opt(obj, "write_consistency_factor", params.write_consistency_factor);
    put_opt(obj, "read_fan_out_factor", params.read_fan_out_factor);
    put_opt(obj, "read_fan_out_delay_ms", params.read_fan_out_delay_ms);
    put_opt(obj, "on_disk_payload", params.on_disk_payload);
    if (params.payload_memory) obj.emplace("payload", payload_storage_to_value(params.payload_memory));
    return obj;
}

template <class T, class F>
JsonValue name_map_to_value(const VectorNameMap<T>& map, F to) {
    JsonObject obj;
    for (const auto& [name, value] : map) obj.emplace(name, to(value));
    return obj;
}

}  // namespace

bool needs_create_steps(const CreateCollectionOp& op) {
    const PlanCollectionConfig& c = op.config;
    return c.read_fan_out_factor || c.read_fan_out_delay_ms || (c.shard_keys && !c.shard_keys->empty());
}

JsonValue collection_config_to_value(const PlanCollectionConfig& config) {
    JsonObject obj;
    if (config.vectors) {
        obj.emplace("vectors",
                    std::visit(core::Overloaded{
                                   [](const PlanVectorParams& single) { return vector_params_to_value(single); },
                                   [](const VectorNameMap<PlanVectorParams>& named) {
                                       return name_map_to_value(named, vector_params_to_value);
                                   },
                               },
                               *config.vectors));
    }
    if (config.sparse_vectors)
        obj.emplace("sparse_vectors", name_map_to_value(*config.sparse_vectors, sparse_vector_to_value));
    put_opt(obj, "hnsw_config", config.hnsw_config, hnsw_config_to_value);
    put_opt(obj, "optimizers_config", config.optimizers_config, optimizers_config_to_value);
    put_opt(obj, "quantization_config", config.quantization_config, quantization_config_to_value);
    put_opt(obj, "wal_config", config.wal_config, wal_config_to_value);
    put_opt(obj, "strict_mode_config", config.strict_mode_config, strict_mode_config_to_value);
    put_opt(obj, "metadata", config.metadata, metadata_to_value);
    put_opt(obj, "shard_number", config.shard_number);
    put_opt(obj, "sharding_method", config.sharding_method,
            [](PlanShardingMethod m) { return JsonValue(m == PlanShardingMethod::Custom ? "custom" : "auto"); });
    put_opt(obj, "replication_factor", config.replication_factor);
    put_opt(obj, "write_consistency_factor", config.write_consistency_factor);
    put_opt(obj, "on_disk_payload", config.on_disk_payload);
    if (config.payload_memory) obj.emplace("payload", payload_storage_to_value(config.payload_memory));
    return obj;
}

JsonValue collection_config_body(const CreateCollectionOp& op) { return collection_config_to_value(op.config); }

void write_collection_config_body(std::string& out, const CreateCollectionOp& op) {
    write_json(out, collection_config_body(op));
}

JsonValue collection_update_to_value(const PlanCollectionUpdate& update) {
    JsonObject obj;
    if (update.vectors) obj.emplace("vectors", name_map_to_value(*update.vectors, vector_diff_to_value));
    if (update.sparse_vectors)
        obj.emplace("sparse_vectors", name_map_to_value(*update.sparse_vectors, sparse_diff_to_value));
    put_opt(obj, "optimizers_config", update.optimizers_config, optimizers_config_to_value);
    put_opt(obj, "params", update.params, params_update_to_value);
    put_opt(obj, "hnsw_config", update.hnsw_config, hnsw_config_to_value);
    put_opt(obj, "quantization_config", update.quantization_config, quantization_diff_to_value);
    put_opt(obj, "strict_mode_config", update.strict_mode_config, strict_mode_config_to_value);
    put_opt(obj, "metadata", update.metadata, metadata_to_value);
    return obj;
}

JsonValue collection_update_body(const AlterCollectionOp& op) { return collection_update_to_value(op.update); }

void write_collection_update_body(std::string& out, const AlterCollectionOp& op) {
    write_json(out, collection_update_body(op));
}

JsonValue vector_params_to_value(const PlanVectorParams& params) {
    JsonObject obj;
    obj.emplace("size", params.size);
    obj.emplace("distance", std::string(distance_name(params.distance)));
    put_opt(obj, "hnsw_config", params.hnsw_config, hnsw_config_to_value);
    put_opt(obj, "quantization_config", params.quantization_config, quantization_config_to_value);
    put_opt(obj, "on_disk", params.on_disk);
    put_tier(obj, "memory", params.memory);
    put_opt(obj, "datatype", params.datatype, datatype_value);
    if (params.multivector) obj.emplace("multivector_config", JsonObject{{"comparator", JsonValue("max_sim")}});
    return obj;
}

JsonValue hnsw_config_to_value(const PlanHnswConfig& hnsw) {
    JsonObject obj;
    put_opt(obj, "m", hnsw.m);
    put_opt(obj, "ef_construct", hnsw.ef_construct);
    put_opt(obj, "full_scan_threshold", hnsw.full_scan_threshold);
    put_opt(obj, "max_indexing_threads", hnsw.max_indexing_threads);
    put_opt(obj, "payload_m", hnsw.payload_m);
    put_opt(obj, "on_disk", hnsw.on_disk);
    put_opt(obj, "inline_storage", hnsw.inline_storage);
    put_tier(obj, "memory", hnsw.memory);
    return obj;
}

JsonValue optimizers_config_to_value(const PlanOptimizersConfig& o) {
    JsonObject obj;
    put_opt(obj, "deleted_threshold", o.deleted_threshold, f64_value);
    put_opt(obj, "vacuum_min_vector_number", o.vacuum_min_vector_number);
    put_opt(obj, "default_segment_number", o.default_segment_number);
    put_opt(obj, "max_segment_size", o.max_segment_size);
    put_opt(obj, "memmap_threshold", o.memmap_threshold);
    put_opt(obj, "indexing_threshold", o.indexing_threshold);
    put_opt(obj, "flush_interval_sec", o.flush_interval_sec);
    put_opt(obj, "max_optimization_threads", o.max_optimization_threads, [](const PlanThreadCount& threads) {
        return std::visit(core::Overloaded{[](std::uint64_t n) { return JsonValue(n); },
                                           [](ThreadsAuto) { return JsonValue("auto"); }},
                          threads);
    });
    put_opt(obj, "prevent_unoptimized", o.prevent_unoptimized);
    return obj;
}

JsonValue quantization_config_to_value(const PlanQuantization& q) {
    JsonObject inner;
    const std::string_view kind = std::visit(core::Overloaded{
                                                 [&](const PlanQuantization::Scalar& s) {
                                                     inner.emplace("type", s.type);
                                                     put_opt(inner, "quantile", s.quantile, f64_value);
                                                     return std::string_view("scalar");
                                                 },
                                                 [&](const PlanQuantization::Product& p) {
                                                     inner.emplace("compression", p.compression);
                                                     return std::string_view("product");
                                                 },
                                                 [&](const PlanQuantization::Binary& b) {
                                                     put_opt(inner, "encoding", b.encoding);
                                                     put_opt(inner, "query_encoding", b.query_encoding);
                                                     return std::string_view("binary");
                                                 },
                                                 [&](const PlanQuantization::Turbo& t) {
                                                     put_opt(inner, "bits", t.bits);
                                                     return std::string_view("turbo");
                                                 },
                                             },
                                             q.kind);
    put_opt(inner, "always_ram", q.always_ram);
    put_tier(inner, "memory", q.memory);
    JsonObject obj;
    obj.emplace(std::string(kind), std::move(inner));
    return obj;
}

JsonValue strict_mode_config_to_value(const PlanStrictModeConfig& s) {
    JsonObject obj;
    put_opt(obj, "enabled", s.enabled);
    put_opt(obj, "max_query_limit", s.max_query_limit);
    put_opt(obj, "max_timeout", s.max_timeout);
    put_opt(obj, "unindexed_filtering_retrieve", s.unindexed_filtering_retrieve);
    put_opt(obj, "unindexed_filtering_update", s.unindexed_filtering_update);
    put_opt(obj, "search_max_hnsw_ef", s.search_max_hnsw_ef);
    put_opt(obj, "search_allow_exact", s.search_allow_exact);
    put_opt(obj, "search_max_oversampling", s.search_max_oversampling, f64_value);
    put_opt(obj, "upsert_max_batchsize", s.upsert_max_batchsize);
    put_opt(obj, "search_max_batchsize", s.search_max_batchsize);
    put_opt(obj, "max_collection_vector_size_bytes", s.max_collection_vector_size_bytes);
    put_opt(obj, "read_rate_limit", s.read_rate_limit);
    put_opt(obj, "write_rate_limit", s.write_rate_limit);
    put_opt(obj, "max_collection_payload_size_bytes", s.max_collection_payload_size_bytes);
    put_opt(obj, "max_points_count", s.max_points_count);
    put_opt(obj, "filter_max_conditions", s.filter_max_conditions);
    put_opt(obj, "condition_max_size", s.condition_max_size);
    if (s.multivector_config) {
        obj.emplace("multivector_config",
                    limit_map_to_value(*s.multivector_config, "max_vectors", &PlanMultivectorLimit::max_vectors));
    }
    if (s.sparse_config) {
        obj.emplace("sparse_config", limit_map_to_value(*s.sparse_config, "max_length", &PlanSparseLimit::max_length));
    }
    put_opt(obj, "max_payload_index_count", s.max_payload_index_count);
    put_opt(obj, "max_resident_memory_percent", s.max_resident_memory_percent);
    return obj;
}

JsonValue sparse_index_to_value(const PlanSparseIndexParams& index) {
    JsonObject obj;
    put_opt(obj, "full_scan_threshold", index.full_scan_threshold);
    put_opt(obj, "on_disk", index.on_disk);
    put_tier(obj, "memory", index.memory);
    put_opt(obj, "datatype", index.datatype, datatype_value);
    return obj;
}

JsonValue payload_storage_to_value(const std::optional<StorageTier>& memory) {
    JsonObject obj;
    put_tier(obj, "memory", memory);
    return obj;
}

void put_hnsw_config_entry(JsonObject& obj, const std::optional<PlanHnswConfig>& hnsw) {
    obj.insert_or_assign("hnsw_config", hnsw ? hnsw_config_to_value(*hnsw) : JsonValue(nullptr));
}

void put_quantization_diff_entry(JsonObject& obj, const std::optional<PlanQuantizationDiff>& diff) {
    obj.insert_or_assign("quantization_config", diff ? quantization_diff_to_value(*diff) : JsonValue(nullptr));
}

void put_sparse_index_entry(JsonObject& obj, const std::optional<PlanSparseIndexParams>& index) {
    obj.insert_or_assign("index", index ? sparse_index_to_value(*index) : JsonValue(nullptr));
}

void write_hnsw_config_entry(JsonObjectWriter& obj, const std::optional<PlanHnswConfig>& hnsw) {
    write_json(obj.key("hnsw_config"), hnsw ? hnsw_config_to_value(*hnsw) : JsonValue(nullptr));
}

void write_quantization_diff_entry(JsonObjectWriter& obj, const std::optional<PlanQuantizationDiff>& diff) {
    write_json(obj.key("quantization_config"), diff ? quantization_diff_to_value(*diff) : JsonValue(nullptr));
}

void write_sparse_index_entry(JsonObjectWriter& obj, const std::optional<PlanSparseIndexParams>& index) {
    write_json(obj.key("index"), index ? sparse_index_to_value(*index) : JsonValue(nullptr));
}

}  // namespace zorv::plan
