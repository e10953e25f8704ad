#include "runtime/grpc_route/ddl_convert.h"

#include <utility>

#include "runtime/grpc_route/ddl_words.h"

namespace zorv::runtime::rpc {

namespace {

// Setters of the generated messages, called only when the plan gives a value.
template <class T, class Set>
void copy_if(const std::optional<T>& value, Set set) {
    if (value) set(*value);
}

template <class Message>
core::Result<void> set_tier(const std::optional<plan::StorageTier>& tier, Message& out) {
    if (!tier) return {};
    auto memory = tier_to_proto(*tier);
    if (!memory) return std::unexpected(std::move(memory).error());
    out.set_memory(*memory);
    return {};
}

core::Result<void> scalar_to_proto(const plan::PlanQuantizationScalar& scalar, qdrant::ScalarQuantization& out) {
    out.set_type(qdrant::QUANTIZATION_INT8);
    if (scalar.quantile) out.set_quantile(static_cast<float>(*scalar.quantile));
    return {};
}

core::Result<void> product_to_proto(const plan::PlanQuantizationProduct& product, qdrant::ProductQuantization& out) {
    auto compression = compression_to_proto(product.compression);
    if (!compression) return std::unexpected(std::move(compression).error());
    out.set_compression(*compression);
    return {};
}

core::Result<void> binary_to_proto(const plan::PlanQuantizationBinary& binary, qdrant::BinaryQuantization& out) {
    if (binary.encoding) {
        auto encoding = binary_encoding_to_proto(*binary.encoding);
        if (!encoding) return std::unexpected(std::move(encoding).error());
        out.set_encoding(*encoding);
    }
    if (binary.query_encoding) {
        auto setting = query_encoding_to_proto(*binary.query_encoding);
        if (!setting) return std::unexpected(std::move(setting).error());
        out.mutable_query_encoding()->set_setting(*setting);
    }
    return {};
}

core::Result<void> turbo_to_proto(const plan::PlanQuantizationTurbo& turbo, qdrant::TurboQuantization& out) {
    if (!turbo.bits) return {};
    auto bits = turbo_bits_to_proto(*turbo.bits);
    if (!bits) return std::unexpected(std::move(bits).error());
    out.set_bits(*bits);
    return {};
}

// The method's fields, then always_ram and the tier, which every method carries.
template <class Method, class Fill>
core::Result<void> method_to_proto(const plan::PlanQuantization& quantization, const Method& method, Fill fill,
                                   auto& out) {
    ZORV_CHECK(fill(method, out));
    copy_if(quantization.always_ram, [&](bool v) { out.set_always_ram(v); });
    return set_tier(quantization.memory, out);
}

// Works for both QuantizationConfig and QuantizationConfigDiff: their method fields share names.
template <class Config>
core::Result<void> quantization_method_to_proto(const plan::PlanQuantization& quantization, Config& out) {
    using Q = plan::PlanQuantization;
    if (const auto* scalar = std::get_if<Q::Scalar>(&quantization.kind)) {
        return method_to_proto(quantization, *scalar, scalar_to_proto, *out.mutable_scalar());
    }
    if (const auto* product = std::get_if<Q::Product>(&quantization.kind)) {
        return method_to_proto(quantization, *product, product_to_proto, *out.mutable_product());
    }
    if (const auto* binary = std::get_if<Q::Binary>(&quantization.kind)) {
        return method_to_proto(quantization, *binary, binary_to_proto, *out.mutable_binary());
    }
    return method_to_proto(quantization, std::get<Q::Turbo>(quantization.kind), turbo_to_proto,
                           *out.mutable_turboquant());
}

core::Result<void> sparse_index_to_proto(const plan::PlanSparseIndexParams& index, qdrant::SparseIndexConfig& out) {
    copy_if(index.full_scan_threshold, [&](std::uint64_t v) { out.set_full_scan_threshold(v); });
    copy_if(index.on_disk, [&](bool v) { out.set_on_disk(v); });
    if (index.datatype) {
        auto datatype = datatype_to_proto(*index.datatype);
        if (!datatype) return std::unexpected(std::move(datatype).error());
        out.set_datatype(*datatype);
    }
    return set_tier(index.memory, out);
}

qdrant::Modifier modifier_to_proto(plan::PlanSparseModifier modifier) {
    return modifier == plan::PlanSparseModifier::Idf ? qdrant::MODIFIER_IDF : qdrant::MODIFIER_NONE;
}

core::Result<void> vector_diff_to_proto(const plan::PlanVectorDiff& diff, qdrant::VectorParamsDiff& out) {
    if (diff.hnsw_config) ZORV_CHECK(hnsw_to_proto(*diff.hnsw_config, *out.mutable_hnsw_config()));
    if (diff.quantization_config) {
        ZORV_CHECK(quantization_diff_to_proto(*diff.quantization_config, *out.mutable_quantization_config()));
    }
    copy_if(diff.on_disk, [&](bool v) { out.set_on_disk(v); });
    return set_tier(diff.memory, out);
}

}  // namespace

core::Result<void> hnsw_to_proto(const plan::PlanHnswConfig& hnsw, qdrant::HnswConfigDiff& out) {
    copy_if(hnsw.m, [&](std::uint64_t v) { out.set_m(v); });
    copy_if(hnsw.ef_construct, [&](std::uint64_t v) { out.set_ef_construct(v); });
    copy_if(hnsw.full_scan_threshold, [&](std::uint64_t v) { out.set_full_scan_threshold(v); });
    copy_if(hnsw.max_indexing_threads, [&](std::uint64_t v) { out.set_max_indexing_threads(v); });
    copy_if(hnsw.on_disk, [&](bool v) { out.set_on_disk(v); });
    copy_if(hnsw.payload_m, [&](std::uint64_t v) { out.set_payload_m(v); });
    copy_if(hnsw.inline_storage, [&](bool v) { out.set_inline_storage(v); });
    return set_tier(hnsw.memory, out);
}

void optimizers_to_proto(const plan::PlanOptimizersConfig& optimizers, qdrant::OptimizersConfigDiff& out) {
    copy_if(optimizers.deleted_threshold, [&](double v) { out.set_deleted_threshold(v); });
    copy_if(optimizers.vacuum_min_vector_number, [&](std::uint64_t v) { out.set_vacuum_min_vector_number(v); });
    copy_if(optimizers.default_segment_number, [&](std::uint64_t v) { out.set_default_segment_number(v); });
    copy_if(optimizers.max_segment_size, [&](std::uint64_t v) { out.set_max_segment_size(v); });
    copy_if(optimizers.memmap_threshold, [&](std::uint64_t v) { out.set_memmap_threshold(v); });
    copy_if(optimizers.indexing_threshold, [&](std::uint64_t v) { out.set_indexing_threshold(v); });
    copy_if(optimizers.flush_interval_sec, [&](std::uint64_t v) { out.set_flush_interval_sec(v); });
    if (optimizers.max_optimization_threads) {
        auto& threads = *out.mutable_max_optimization_threads();
        if (const auto* count = std::get_if<std::uint64_t>(&*optimizers.max_optimization_threads)) {
            threads.set_value(*count);
        } else {
            threads.set_setting(qdrant::MaxOptimizationThreads::THREADS_AUTO);
        }
    }
    copy_if(optimizers.prevent_unoptimized, [&](bool v) { out.set_prevent_unoptimized(v); });
}

void wal_to_proto(const plan::PlanWalConfig& wal, qdrant::WalConfigDiff& out) {
    copy_if(wal.wal_capacity_mb, [&](std::uint64_t v) { out.set_wal_capacity_mb(v); });
    copy_if(wal.wal_segments_ahead, [&](std::uint64_t v) { out.set_wal_segments_ahead(v); });
    copy_if(wal.wal_retain_closed, [&](std::uint64_t v) { out.set_wal_retain_closed(v); });
}

core::Result<void> vector_params_to_proto(const plan::PlanVectorParams& params, qdrant::VectorParams& out) {
    out.set_size(params.size);
    auto distance = distance_to_proto(params.distance);
    if (!distance) return std::unexpected(std::move(distance).error());
    out.set_distance(*distance);
    if (params.hnsw_config) ZORV_CHECK(hnsw_to_proto(*params.hnsw_config, *out.mutable_hnsw_config()));
    if (params.quantization_config) {
        ZORV_CHECK(quantization_to_proto(*params.quantization_config, *out.mutable_quantization_config()));
    }
    copy_if(params.on_disk, [&](bool v) { out.set_on_disk(v); });
    if (params.datatype) {
        auto datatype = datatype_to_proto(*params.datatype);
        if (!datatype) return std::unexpected(std::move(datatype).error());
        out.set_datatype(*datatype);
    }
    if (params.multivector) out.mutable_multivector_config()->set_comparator(qdrant::COMPARATOR_MAX_SIM);
    return set_tier(params.memory, out);
}

core::Result<void> vectors_to_proto(const plan::PlanVectors& vectors, qdrant::VectorsConfig& out) {
    if (const auto* single = std::get_if<plan::PlanVectorParams>(&vectors)) {
        return vector_params_to_proto(*single, *out.mutable_params());
    }
    auto& map = *out.mutable_params_map()->mutable_map();
    for (const auto& [name, params] : std::get<plan::VectorNameMap<plan::PlanVectorParams>>(vectors)) {
        ZORV_CHECK(vector_params_to_proto(params, map[name]));
    }
    return {};
}

core::Result<void> sparse_vectors_to_proto(const plan::VectorNameMap<plan::PlanSparseVectorParams>& sparse,
                                           qdrant::SparseVectorConfig& out) {
    auto& map = *out.mutable_map();
    for (const auto& [name, params] : sparse) {
        qdrant::SparseVectorParams& entry = map[name];
        if (params.index) ZORV_CHECK(sparse_index_to_proto(*params.index, *entry.mutable_index()));
        entry.set_modifier(modifier_to_proto(params.modifier));
    }
    return {};
}

core::Result<void> quantization_to_proto(const plan::PlanQuantization& quantization, qdrant::QuantizationConfig& out) {
    return quantization_method_to_proto(quantization, out);
}

core::Result<void> quantization_diff_to_proto(const plan::PlanQuantizationDiff& change,
                                              qdrant::QuantizationConfigDiff& out) {
    if (std::holds_alternative<plan::QuantizationDisabled>(change)) {
        out.mutable_disabled();
        return {};
    }
    return quantization_method_to_proto(std::get<plan::PlanQuantization>(change), out);
}

core::Result<void> vectors_diff_to_proto(const plan::VectorNameMap<plan::PlanVectorDiff>& diffs,
                                         qdrant::VectorsConfigDiff& out) {
    if (diffs.size() == 1 && diffs.begin()->first.empty()) {
        return vector_diff_to_proto(diffs.begin()->second, *out.mutable_params());
    }
    auto& map = *out.mutable_params_map()->mutable_map();
    for (const auto& [name, diff] : diffs) ZORV_CHECK(vector_diff_to_proto(diff, map[name]));
    return {};
}

core::Result<void> sparse_vectors_diff_to_proto(const plan::VectorNameMap<plan::PlanSparseVectorDiff>& diffs,
                                                qdrant::SparseVectorConfig& out) {
    auto& map = *out.mutable_map();
    for (const auto& [name, diff] : diffs) {
        qdrant::SparseVectorParams& entry = map[name];
        if (diff.index) ZORV_CHECK(sparse_index_to_proto(*diff.index, *entry.mutable_index()));
        if (diff.modifier) entry.set_modifier(modifier_to_proto(*diff.modifier));
    }
    return {};
}

core::Result<void> replication_params_to_proto(const plan::PlanParamsUpdate& params,
                                               qdrant::CollectionParamsDiff& out) {
    const auto replication = ZORV_TRY(check_uint32("replication_factor", params.replication_factor));
    const auto write_consistency = ZORV_TRY(check_uint32("write_consistency_factor", params.write_consistency_factor));
    const auto fan_out = ZORV_TRY(check_uint32("read_fan_out_factor", params.read_fan_out_factor));
    copy_if(replication, [&](std::uint32_t v) { out.set_replication_factor(v); });
    copy_if(write_consistency, [&](std::uint32_t v) { out.set_write_consistency_factor(v); });
    copy_if(fan_out, [&](std::uint32_t v) { out.set_read_fan_out_factor(v); });
    copy_if(params.read_fan_out_delay_ms, [&](std::uint64_t v) { out.set_read_fan_out_delay_ms(v); });
    copy_if(params.on_disk_payload, [&](bool v) { out.set_on_disk_payload(v); });
    if (params.payload_memory) return set_tier(params.payload_memory, *out.mutable_payload());
    return {};
}

core::Result<void> strict_mode_to_proto(const plan::PlanStrictModeConfig& strict, qdrant::StrictModeConfig& out) {
    const auto query_limit = ZORV_TRY(check_uint32("max_query_limit", strict.max_query_limit));
    const auto timeout = ZORV_TRY(check_uint32("max_timeout", strict.max_timeout));
    const auto hnsw_ef = ZORV_TRY(check_uint32("search_max_hnsw_ef", strict.search_max_hnsw_ef));
    const auto read_rate = ZORV_TRY(check_uint32("read_rate_limit", strict.read_rate_limit));
    const auto write_rate = ZORV_TRY(check_uint32("write_rate_limit", strict.write_rate_limit));
    const auto memory = ZORV_TRY(check_uint32("max_resident_memory_percent", strict.max_resident_memory_percent));
    copy_if(query_limit, [&](std::uint32_t v) { out.set_max_query_limit(v); });
    copy_if(timeout, [&](std::uint32_t v) { out.set_max_timeout(v); });
    copy_if(hnsw_ef, [&](std::uint32_t v) { out.set_search_max_hnsw_ef(v); });
    copy_if(read_rate, [&](std::uint32_t v) { out.set_read_rate_limit(v); });
    copy_if(write_rate, [&](std::uint32_t v) { out.set_write_rate_limit(v); });
    copy_if(memory, [&](std::uint32_t v) { out.set_max_resident_memory_percent(v); });
    copy_if(strict.enabled, [&](bool v) { out.set_enabled(v); });
    copy_if(strict.unindexed_filtering_retrieve, [&](bool v) { out.set_unindexed_filtering_retrieve(v); });
    copy_if(strict.unindexed_filtering_update, [&](bool v) { out.set_unindexed_filtering_update(v); });
    copy_if(strict.search_allow_exact, [&](bool v) { out.set_search_allow_exact(v); });
    copy_if(strict.upsert_max_batchsize, [&](std::uint64_t v) { out.set_upsert_max_batchsize(v); });
    copy_if(strict.search_max_batchsize, [&](std::uint64_t v) { out.set_search_max_batchsize(v); });
    copy_if(strict.max_collection_vector_size_bytes,
            [&](std::uint64_t v) { out.set_max_collection_vector_size_bytes(v); });
    copy_if(strict.max_collection_payload_size_bytes,
            [&](std::uint64_t v) { out.set_max_collection_payload_size_bytes(v); });
    copy_if(strict.max_points_count, [&](std::uint64_t v) { out.set_max_points_count(v); });
    copy_if(strict.filter_max_conditions, [&](std::uint64_t v) { out.set_filter_max_conditions(v); });
    copy_if(strict.condition_max_size, [&](std::uint64_t v) { out.set_condition_max_size(v); });
    copy_if(strict.max_payload_index_count, [&](std::uint64_t v) { out.set_max_payload_index_count(v); });
    copy_if(strict.search_max_oversampling, [&](double v) { out.set_search_max_oversampling(static_cast<float>(v)); });
    if (strict.sparse_config) {
        auto& map = *out.mutable_sparse_config()->mutable_sparse_config();
        for (const auto& [name, limit] : *strict.sparse_config) {
            qdrant::StrictModeSparse& entry = map[name];
            copy_if(limit.max_length, [&](std::uint64_t v) { entry.set_max_length(v); });
        }
    }
    if (strict.multivector_config) {
        auto& map = *out.mutable_multivector_config()->mutable_multivector_config();
        for (const auto& [name, limit] : *strict.multivector_config) {
            qdrant::StrictModeMultivector& entry = map[name];
            copy_if(limit.max_vectors, [&](std::uint64_t v) { entry.set_max_vectors(v); });
        }
    }
    return {};
}

}  // namespace zorv::runtime::rpc
