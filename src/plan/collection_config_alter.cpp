// ALTER COLLECTION: changes to an existing collection, with per-vector changes as diffs by name.
#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "core/text.h"
#include "plan/collection_config.h"

namespace zorv::plan {

namespace {

constexpr std::string_view kDatatypeMessage =
    "datatype cannot be changed per vector: the Qdrant VectorParamsDiff wire shape has no datatype field. Recreate "
    "the collection or set the datatype at CREATE COLLECTION";

std::string shown_vector_name(const std::string& name) {
    return name.empty() ? std::string("<default>") : core::escape_for_message(name);
}

core::Result<PlanParamsUpdate> lower_params(const core::CollectionParamsSettings& params) {
    if (params.shard_number || params.sharding_method || params.shard_keys) {
        return std::unexpected(collection_config_error(
            "shard_number / sharding_method / shard_keys are supported only for CREATE COLLECTION (use CREATE/DROP "
            "SHARD KEY)"));
    }
    return PlanParamsUpdate{params.replication_factor,    params.write_consistency_factor, params.read_fan_out_factor,
                            params.read_fan_out_delay_ms, params.on_disk_payload,          params.payload_memory};
}

std::optional<PlanQuantizationDiff> lower_quantization_update(const std::optional<core::QuantizationUpdate>& update) {
    if (!update) return std::nullopt;
    if (update->disabled) return QuantizationDisabled{};
    if (update->config) return lower_quantization(*update->config);
    return std::nullopt;
}

core::Result<PlanVectorDiff> lower_storage_diff(const core::VectorStorageSettings& storage) {
    if (storage.datatype) return core::fail(core::Diag::PlanVectorDiff, std::string(kDatatypeMessage));
    PlanVectorDiff diff;
    diff.on_disk = storage.on_disk;
    diff.memory = storage.memory;
    return diff;
}

core::Result<void> lower_named_diff(PlanCollectionUpdate& update, const core::VectorDiff& entry) {
    PlanVectorDiff diff;
    if (entry.vectors) diff = ZORV_TRY(lower_storage_diff(*entry.vectors));
    diff.hnsw_config = entry.hnsw;
    diff.quantization_config = lower_quantization_update(entry.quantization);
    return lower_vector_diffs(update, entry.name, std::move(diff));
}

core::Result<void> lower_sparse_diff(PlanCollectionUpdate& update, const core::SparseVectorDiff& entry) {
    PlanSparseVectorDiff diff;
    diff.index = entry.index;
    // Unlike CREATE, a missing modifier leaves the current one alone.
    if (entry.modifier) {
        diff.modifier = core::equals_ignore_case(*entry.modifier, "none") ? PlanSparseModifier::None
                                                                          : PlanSparseModifier::Idf;
    }
    auto& sparse = update.sparse_vectors ? *update.sparse_vectors : update.sparse_vectors.emplace();
    if (sparse.contains(entry.name)) {
        return core::fail(core::Diag::PlanVectorDiff,
                          "duplicate sparse vector diff for '" + shown_vector_name(entry.name) + "'");
    }
    sparse.emplace(entry.name, diff);
    return {};
}

}  // namespace

core::Result<void> lower_vector_diffs(PlanCollectionUpdate& update, std::string name, PlanVectorDiff diff) {
    auto& vectors = update.vectors ? *update.vectors : update.vectors.emplace();
    if (vectors.contains(name)) {
        return core::fail(core::Diag::PlanVectorDiff, "duplicate vector diff for '" + shown_vector_name(name) + "'");
    }
    vectors.emplace(std::move(name), std::move(diff));
    return {};
}

core::Result<PlanCollectionUpdate> lower_alter_collection(const core::AlterCollection& alter) {
    const core::CollectionSettings& settings = *alter.config;
    PlanCollectionUpdate update;
    if (settings.hnsw) update.hnsw_config = settings.hnsw;
    if (settings.optimizers) update.optimizers_config = lower_optimizers_config(*settings.optimizers);
    if (settings.params) update.params = ZORV_TRY(lower_params(*settings.params));
    // A removal wins over everything; an update's own settings over a plain QUANTIZATION clause.
    update.quantization_config = lower_quantization_update(settings.quantization_update);
    if (!update.quantization_config && settings.quantization)
        update.quantization_config = lower_quantization(*settings.quantization);
    if (settings.strict_mode) update.strict_mode_config = ZORV_TRY(lower_strict_mode(*settings.strict_mode));
    if (settings.metadata) update.metadata = settings.metadata;
    if (settings.wal) {
        const core::Literal* first = settings.wal->empty() ? nullptr : &settings.wal->front().second;
        return std::unexpected(collection_config_error("WITH WAL is supported only for CREATE COLLECTION", first));
    }
    if (settings.vectors) {
        PlanVectorDiff unnamed = ZORV_TRY(lower_storage_diff(*settings.vectors));
        ZORV_CHECK(lower_vector_diffs(update, "", std::move(unnamed)));
    }
    for (const core::VectorDiff& entry : settings.vector_diffs) ZORV_CHECK(lower_named_diff(update, entry));
    for (const core::SparseVectorDiff& entry : settings.sparse_vector_diffs)
        ZORV_CHECK(lower_sparse_diff(update, entry));
    return update;
}

}  // namespace zorv::plan
