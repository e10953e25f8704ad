#include "runtime/grpc_route/execute.h"

#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "runtime/grpc/collections.h"

namespace zorv::runtime::rpc {

namespace {

using plan::PlanOpKind;
using protocol::BackendReply;
using protocol::ExecData;

BackendReply reply_with_time(ExecData data, double time_s) {
    return BackendReply{.telemetry = protocol::Telemetry{.time_s = time_s, .usage = std::nullopt},
                        .data = std::move(data)};
}

}  // namespace

std::optional<core::ZorvError> refused_kind(PlanOpKind kind) {
    switch (kind) {
        case PlanOpKind::ShowCollections:
        case PlanOpKind::ShowCollection: return std::nullopt;
        case PlanOpKind::CrossRerank:
            return core::make_error(core::Diag::RerankCross,
                                    "CROSS RERANK is executed client-side by the Executor, not as a single gRPC route");
        case PlanOpKind::ShowQuotas:
        case PlanOpKind::SetQuota:
            return core::make_error(core::Diag::GrpcQuota,
                                    "global quotas are only exposed through Qdrant's REST API (/quotas); the public "
                                    "gRPC surface has no quota service. Use the REST backend");
        case PlanOpKind::Batch:
            return core::make_error(core::Diag::GrpcBatch,
                                    "BATCH is dispatched by the Executor through the batch RPCs, not as a single gRPC "
                                    "route");
        default: break;
    }
    return core::make_error(core::Diag::GrpcUnsupported,
                            std::string(plan::plan_op_name(kind)) +
                                " is not supported over gRPC yet; use the REST backend (use_grpc=False)");
}

AsyncResult<BackendReply> execute_grpc_op(const GrpcChannel& channel, plan::PlanOp op) {
    if (auto refused = refused_kind(op.kind())) co_return std::unexpected(std::move(*refused));
    if (op.kind() == PlanOpKind::ShowCollections) {
        auto listed = co_await rpc_list_collections(channel);
        if (!listed) co_return std::unexpected(std::move(listed).error());
        co_return reply_with_time(ExecData{ExecData::Collections{std::move(listed->names)}}, listed->time_s);
    }
    std::string collection = op.get<PlanOpKind::ShowCollection>().collection;
    auto info = co_await rpc_collection_info(channel, collection);
    if (!info) co_return std::unexpected(std::move(info).error());
    if (!info->schema) co_return std::unexpected(missing_info_result(std::move(collection)));
    co_return reply_with_time(ExecData{ExecData::Collection{std::move(*info->schema)}}, info->time_s);
}

}  // namespace zorv::runtime::rpc
