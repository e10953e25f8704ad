// The point mutation arms over gRPC: UPSERT, DELETE, the payload and vector updates, and the
// update batch.
#pragma once

#include <string>
#include <vector>

#include "plan/plan_op.h"
#include "runtime/backend.h"
#include "runtime/grpc/channel.h"

namespace zorv::runtime::rpc {

// `op` is one of the eight mutation kinds. `channel` must outlive the call.
AsyncResult<protocol::BackendReply> execute_mutation_op(const GrpcChannel& channel, plan::PlanOp op);

// One "/qdrant.Points/UpdateBatch" call; one reply per operation, in order. `operations` must
// outlive the call.
AsyncResult<std::vector<protocol::BackendReply>> rpc_update_batch(const GrpcChannel& channel, std::string collection,
                                                                  const std::vector<plan::UpdateOperation>& operations,
                                                                  bool wait);

}  // namespace zorv::runtime::rpc
