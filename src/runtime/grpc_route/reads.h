// The read arms over gRPC: QUERY, QUERY_GROUPS, GET_POINTS, SCROLL, COUNT and FACET, and the
// query batch.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plan/plan_op.h"
#include "runtime/backend.h"
#include "runtime/grpc/channel.h"

namespace zorv::runtime::rpc {

// `op` is one of the six read kinds. `channel` must outlive the call.
AsyncResult<protocol::BackendReply> execute_read_op(const GrpcChannel& channel, plan::PlanOp op);

// One "/qdrant.Points/QueryBatch" call; one reply per request, in order.
AsyncResult<std::vector<protocol::BackendReply>> rpc_query_batch(const GrpcChannel& channel, std::string collection,
                                                                 std::vector<plan::PlanQueryRequest> requests,
                                                                 std::optional<std::uint64_t> timeout,
                                                                 std::optional<plan::Consistency> consistency);

}  // namespace zorv::runtime::rpc
