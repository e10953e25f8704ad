// The point mutation arms over gRPC: UPSERT, DELETE, the payload and vector updates, and the
// update batch.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "plan/batch.h"
#include "plan/plan_op.h"
#include "runtime/backend.h"
#include "runtime/grpc/channel.h"

namespace qdrant {
class UpdateResult;
class PointsUpdateOperation;
}  // namespace qdrant

namespace zorv::runtime::rpc {

// `op` is one of the eight mutation kinds. `channel` must outlive the call.
AsyncResult<protocol::BackendReply> execute_mutation_op(const GrpcChannel& channel, plan::PlanOp op);

// One "/qdrant.Points/UpdateBatch" call; one reply per operation, in order. `operations` must
// outlive the call.
AsyncResult<std::vector<protocol::BackendReply>> rpc_update_batch(const GrpcChannel& channel, std::string collection,
                                                                  const std::vector<plan::UpdateOperation>& operations,
                                                                  bool wait);

// One operation of an update batch as its proto message.
core::Result<qdrant::PointsUpdateOperation> to_update_operation(const plan::UpdateOperation& operation);

// Acknowledged (1) and completed (2) pass; any other status fails, the message led by `label`
// ("update batch item", "upsert", ...).
core::Result<void> check_update_status(const qdrant::UpdateResult& result, std::string_view label);

}  // namespace zorv::runtime::rpc
