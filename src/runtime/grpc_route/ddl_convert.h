// Collection settings of CREATE and ALTER COLLECTION as Qdrant's protobuf messages. Each
// conversion fills `out` field by field, leaves what the plan does not give unset, and stops at
// the first value the message cannot carry (a word or code outside its table, a number past uint32).
#pragma once

#include "core/error.h"
#include "plan/collection_config.h"
#include "qdrant/collections.pb.h"

namespace zorv::runtime::rpc {

core::Result<void> hnsw_to_proto(const plan::PlanHnswConfig& hnsw, qdrant::HnswConfigDiff& out);
void optimizers_to_proto(const plan::PlanOptimizersConfig& optimizers, qdrant::OptimizersConfigDiff& out);
void wal_to_proto(const plan::PlanWalConfig& wal, qdrant::WalConfigDiff& out);

core::Result<void> vector_params_to_proto(const plan::PlanVectorParams& params, qdrant::VectorParams& out);
core::Result<void> vectors_to_proto(const plan::PlanVectors& vectors, qdrant::VectorsConfig& out);
core::Result<void> sparse_vectors_to_proto(const plan::VectorNameMap<plan::PlanSparseVectorParams>& sparse,
                                           qdrant::SparseVectorConfig& out);

core::Result<void> quantization_to_proto(const plan::PlanQuantization& quantization, qdrant::QuantizationConfig& out);
core::Result<void> quantization_diff_to_proto(const plan::PlanQuantizationDiff& change,
                                              qdrant::QuantizationConfigDiff& out);

// One entry named "" is the unnamed vector and becomes the single form; anything else the map.
core::Result<void> vectors_diff_to_proto(const plan::VectorNameMap<plan::PlanVectorDiff>& diffs,
                                         qdrant::VectorsConfigDiff& out);
core::Result<void> sparse_vectors_diff_to_proto(const plan::VectorNameMap<plan::PlanSparseVectorDiff>& diffs,
                                                qdrant::SparseVectorConfig& out);

// Checks replication_factor, write_consistency_factor, read_fan_out_factor, in that order.
core::Result<void> replication_params_to_proto(const plan::PlanParamsUpdate& params, qdrant::CollectionParamsDiff& out);
// Checks max_query_limit, max_timeout, search_max_hnsw_ef, read_rate_limit, write_rate_limit,
// max_resident_memory_percent, in that order.
core::Result<void> strict_mode_to_proto(const plan::PlanStrictModeConfig& strict, qdrant::StrictModeConfig& out);

}  // namespace zorv::runtime::rpc
