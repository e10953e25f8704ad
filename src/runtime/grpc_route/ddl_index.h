// CREATE and DROP INDEX over gRPC: the Points service's field index calls.
#pragma once

#include "core/error.h"
#include "plan/plan_op.h"
#include "qdrant/points.pb.h"
#include "runtime/backend.h"
#include "runtime/grpc/channel.h"

namespace zorv::runtime::rpc {

// `wait` as the plan resolved it, the field type always, the parameters of the type when the
// statement gave any option.
core::Result<qdrant::CreateFieldIndexCollection> build_create_field_index(const plan::CreateIndexOp& op);
// Never sets `wait`: the statement has none.
qdrant::DeleteFieldIndexCollection build_delete_field_index(const plan::DropIndexOp& op);

// `channel` must outlive each call; the reply carries the server's time and usage.
AsyncResult<protocol::BackendReply> create_field_index(const GrpcChannel& channel, const plan::CreateIndexOp& op);
AsyncResult<protocol::BackendReply> delete_field_index(const GrpcChannel& channel, const plan::DropIndexOp& op);

}  // namespace zorv::runtime::rpc
