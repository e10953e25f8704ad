#include "runtime/grpc_route/ddl.h"

#include <utility>

#include "core/diagnostics.h"
#include "runtime/grpc_route/execute.h"

namespace zorv::runtime::rpc {

AsyncResult<protocol::BackendReply> execute_ddl_op(const GrpcChannel& /*channel*/, plan::PlanOp op) {
    co_return std::unexpected(unrouted_kind(op.kind()));
}

AsyncResult<void> rpc_create_collection(const GrpcChannel& /*channel*/, std::string /*collection*/,
                                        plan::PlanCollectionConfig /*config*/) {
    co_return std::unexpected(unrouted_kind(plan::PlanOpKind::CreateCollection));
}

AsyncResult<void> rpc_delete_collection(const GrpcChannel& /*channel*/, std::string /*collection*/) {
    co_return std::unexpected(unrouted_kind(plan::PlanOpKind::DropCollection));
}

AsyncResult<void> rpc_update_aliases(const GrpcChannel& /*channel*/, std::vector<AliasAction> /*actions*/) {
    co_return std::unexpected(
        core::make_error(core::Diag::GrpcUnsupported, "update_aliases is not supported over gRPC yet"));
}

}  // namespace zorv::runtime::rpc
