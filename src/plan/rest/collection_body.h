// Collection bodies for Qdrant's REST API: the creation body of PUT /collections/{c}, the update
// body of PATCH /collections/{c}, and the blocks both are made of. Each body comes in the value
// form and as compact text; the text is the value form written out, so both agree byte for byte.
#pragma once

#include <optional>
#include <string>

#include "plan/collection_config.h"
#include "plan/json_value.h"
#include "plan/json_write.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// Read fan-out settings and shard keys travel in requests after the creation, so such a
// CREATE COLLECTION has no single route.
bool needs_create_steps(const CreateCollectionOp& op);

// The creation body; it leaves out read fan-out settings and shard keys.
JsonValue collection_config_to_value(const PlanCollectionConfig& config);
JsonValue collection_config_body(const CreateCollectionOp& op);
void write_collection_config_body(std::string& out, const CreateCollectionOp& op);

// The update body: each key only when its field is set; {} for an update that sets nothing.
JsonValue collection_update_to_value(const PlanCollectionUpdate& update);
JsonValue collection_update_body(const AlterCollectionOp& op);
void write_collection_update_body(std::string& out, const AlterCollectionOp& op);

JsonValue vector_params_to_value(const PlanVectorParams& params);
JsonValue hnsw_config_to_value(const PlanHnswConfig& hnsw);
JsonValue optimizers_config_to_value(const PlanOptimizersConfig& optimizers);
JsonValue quantization_config_to_value(const PlanQuantization& quantization);
JsonValue strict_mode_config_to_value(const PlanStrictModeConfig& strict);
JsonValue sparse_index_to_value(const PlanSparseIndexParams& index);
// {"memory": tier}, or {} without a tier.
JsonValue payload_storage_to_value(const std::optional<StorageTier>& memory);

// Entry writers of the update blocks: null stands for an unset value.
void put_hnsw_config_entry(JsonObject& obj, const std::optional<PlanHnswConfig>& hnsw);
// "Disabled" for a removal.
void put_quantization_diff_entry(JsonObject& obj, const std::optional<PlanQuantizationDiff>& diff);
void put_sparse_index_entry(JsonObject& obj, const std::optional<PlanSparseIndexParams>& index);
void write_hnsw_config_entry(JsonObjectWriter& obj, const std::optional<PlanHnswConfig>& hnsw);
void write_quantization_diff_entry(JsonObjectWriter& obj, const std::optional<PlanQuantizationDiff>& diff);
void write_sparse_index_entry(JsonObjectWriter& obj, const std::optional<PlanSparseIndexParams>& index);

}  // namespace zorv::plan
