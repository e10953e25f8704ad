// Collection, index and shard-key DDL over gRPC, and alias changes.
#pragma once

#include <string>
#include <vector>

#include "plan/plan_op.h"
#include "runtime/backend.h"
#include "runtime/grpc/channel.h"

namespace qdrant {
class UpdateCollection;
class CreateShardKeyRequest;
}  // namespace qdrant

namespace zorv::runtime::rpc {

// `op` is CREATE/ALTER/DROP COLLECTION, CREATE/DROP INDEX, CREATE/DROP SHARD KEY or SHOW SHARD
// KEYS. `channel` must outlive the call.
AsyncResult<protocol::BackendReply> execute_ddl_op(const GrpcChannel& channel, plan::PlanOp op);

// The creation, the read fan-out update and one call per shard key, one after another; a failed
// call ends the sequence and nothing already done is undone. The reply's time is the creation's.
AsyncResult<protocol::BackendReply> execute_create_collection(const GrpcChannel& channel, std::string collection,
                                                              const plan::PlanCollectionConfig& config);

// One call each; the reply's time. `request` must outlive the call.
AsyncResult<double> rpc_update_collection(const GrpcChannel& channel, const qdrant::UpdateCollection& request);
AsyncResult<double> rpc_create_shard_key(const GrpcChannel& channel, const qdrant::CreateShardKeyRequest& request);

// The Backend's collection management, as the executor's automatic creation and alias steps use it.
AsyncResult<void> rpc_create_collection(const GrpcChannel& channel, std::string collection,
                                        plan::PlanCollectionConfig config);
AsyncResult<void> rpc_delete_collection(const GrpcChannel& channel, std::string collection);
AsyncResult<void> rpc_update_aliases(const GrpcChannel& channel, std::vector<AliasAction> actions);

}  // namespace zorv::runtime::rpc
