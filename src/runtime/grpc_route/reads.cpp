#include "runtime/grpc_route/reads.h"

#include <utility>

#include "runtime/grpc_route/execute.h"

namespace zorv::runtime::rpc {

AsyncResult<protocol::BackendReply> execute_read_op(const GrpcChannel& /*channel*/, plan::PlanOp op) {
    co_return std::unexpected(unrouted_kind(op.kind()));
}

AsyncResult<std::vector<protocol::BackendReply>> rpc_query_batch(const GrpcChannel& /*channel*/,
                                                                 std::string /*collection*/,
                                                                 std::vector<plan::PlanQueryRequest> /*requests*/,
                                                                 std::optional<std::uint64_t> /*timeout*/,
                                                                 std::optional<plan::Consistency> /*consistency*/) {
    co_return std::unexpected(unrouted_kind(plan::PlanOpKind::Query));
}

}  // namespace zorv::runtime::rpc
