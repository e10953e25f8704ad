// The gRPC route of one planned operation: the remote call its kind needs, or the refusal of a
// kind that never goes out as one gRPC call.
#pragma once

#include <optional>

#include "core/error.h"
#include "plan/plan_op.h"
#include "runtime/backend.h"
#include "runtime/grpc/channel.h"

namespace zorv::runtime::rpc {

// CROSS_RERANK, SHOW_QUOTAS, SET_QUOTA and BATCH are refused with their own codes; absent for
// every other kind.
std::optional<core::ZorvError> refused_kind(plan::PlanOpKind kind);

// ZORV-GRPC-UNSUPPORTED for a kind this transport does not route.
core::ZorvError unrouted_kind(plan::PlanOpKind kind);

// `channel` must outlive the call.
AsyncResult<protocol::BackendReply> execute_grpc_op(const GrpcChannel& channel, plan::PlanOp op);

}  // namespace zorv::runtime::rpc
