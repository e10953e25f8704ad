// The request messages of collection DDL over gRPC, built from plan operations before any call:
// a failure here means nothing reaches the server.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "plan/plan_op.h"
#include "qdrant/collections.pb.h"

namespace zorv::runtime::rpc {

// CREATE COLLECTION as its calls, in order: the creation, the update that carries the read
// fan-out settings the creation message has no place for, one shard-key creation per key.
struct CreateCollectionCalls {
    qdrant::CreateCollection create;
    std::optional<qdrant::UpdateCollection> fan_out;
    std::vector<qdrant::CreateShardKeyRequest> shard_keys;
};

core::Result<CreateCollectionCalls> build_create_collection(std::string_view collection,
                                                            const plan::PlanCollectionConfig& config);
core::Result<qdrant::UpdateCollection> build_update_collection(std::string_view collection,
                                                               const plan::PlanCollectionUpdate& update);
core::Result<qdrant::CreateShardKeyRequest> build_create_shard_key(const plan::CreateShardKeyOp& op);
qdrant::DeleteShardKeyRequest build_delete_shard_key(const plan::DropShardKeyOp& op);

void shard_key_to_proto(const plan::PlanShardKey& key, qdrant::ShardKey& out);
// ZORV-BACKEND-ENVELOPE for a description without its key, or a key without a value.
core::Result<std::vector<plan::PlanShardKey>> shard_keys_from_proto(const qdrant::ListShardKeysResponse& reply,
                                                                    std::string_view collection);

}  // namespace zorv::runtime::rpc
