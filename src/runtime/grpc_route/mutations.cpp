#include "runtime/grpc_route/mutations.h"

#include <utility>

#include "runtime/grpc_route/execute.h"

namespace zorv::runtime::rpc {

AsyncResult<protocol::BackendReply> execute_mutation_op(const GrpcChannel& /*channel*/, plan::PlanOp op) {
    co_return std::unexpected(unrouted_kind(op.kind()));
}

AsyncResult<std::vector<protocol::BackendReply>> rpc_update_batch(
    const GrpcChannel& /*channel*/, std::string /*collection*/,
    const std::vector<plan::UpdateOperation>& /*operations*/, bool /*wait*/) {
    co_return std::unexpected(unrouted_kind(plan::PlanOpKind::Upsert));
}

}  // namespace zorv::runtime::rpc
