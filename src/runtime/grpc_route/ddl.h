// Collection, index and shard-key DDL over gRPC, and alias changes.
#pragma once

#include <string>
#include <vector>

#include "plan/plan_op.h"
#include "runtime/backend.h"
#include "runtime/grpc/channel.h"

namespace zorv::runtime::rpc {

// `op` is CREATE/ALTER/DROP COLLECTION, CREATE/DROP INDEX, CREATE/DROP SHARD KEY or SHOW SHARD
// KEYS. `channel` must outlive the call.
AsyncResult<protocol::BackendReply> execute_ddl_op(const GrpcChannel& channel, plan::PlanOp op);

// The Backend's collection management, as the executor's automatic creation and alias steps use it.
AsyncResult<void> rpc_create_collection(const GrpcChannel& channel, std::string collection,
                                        plan::PlanCollectionConfig config);
AsyncResult<void> rpc_delete_collection(const GrpcChannel& channel, std::string collection);
AsyncResult<void> rpc_update_aliases(const GrpcChannel& channel, std::vector<AliasAction> actions);

}  // namespace zorv::runtime::rpc
