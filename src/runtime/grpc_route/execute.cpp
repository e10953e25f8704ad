#include "runtime/grpc_route/execute.h"

#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "runtime/grpc/collections.h"
#include "runtime/grpc_route/ddl.h"
#include "runtime/grpc_route/mutations.h"
#include "runtime/grpc_route/reads.h"

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
        default: return std::nullopt;
    }
}

core::ZorvError unrouted_kind(PlanOpKind kind) {
    return core::make_error(core::Diag::GrpcUnsupported,
                            std::string(plan::plan_op_name(kind)) +
                                " is not supported over gRPC yet; use the REST backend (use_grpc=False)");
}

namespace {

AsyncResult<BackendReply> show_collections(const GrpcChannel& channel) {
    auto listed = co_await rpc_list_collections(channel);
    if (!listed) co_return std::unexpected(std::move(listed).error());
    co_return reply_with_time(ExecData{ExecData::Collections{std::move(listed->names)}}, listed->time_s);
}

AsyncResult<BackendReply> show_collection(const GrpcChannel& channel, std::string collection) {
    auto info = co_await rpc_collection_info(channel, collection);
    if (!info) co_return std::unexpected(std::move(info).error());
    if (!info->schema) co_return std::unexpected(missing_info_result(std::move(collection)));
    co_return reply_with_time(ExecData{ExecData::Collection{std::move(*info->schema)}}, info->time_s);
}

}  // namespace

AsyncResult<BackendReply> execute_grpc_op(const GrpcChannel& channel, plan::PlanOp op) {
    if (auto refused = refused_kind(op.kind())) co_return std::unexpected(std::move(*refused));
    switch (op.kind()) {
        case PlanOpKind::ShowCollections: co_return co_await show_collections(channel);
        case PlanOpKind::ShowCollection: {
            std::string collection = op.get<PlanOpKind::ShowCollection>().collection;
            co_return co_await show_collection(channel, std::move(collection));
        }
        case PlanOpKind::Query:
        case PlanOpKind::QueryGroups:
        case PlanOpKind::GetPoints:
        case PlanOpKind::Scroll:
        case PlanOpKind::Count:
        case PlanOpKind::Facet: co_return co_await execute_read_op(channel, std::move(op));
        case PlanOpKind::Upsert:
        case PlanOpKind::Delete:
        case PlanOpKind::UpdatePayload:
        case PlanOpKind::OverwritePayload:
        case PlanOpKind::ClearPayload:
        case PlanOpKind::DeletePayload:
        case PlanOpKind::UpdateVector:
        case PlanOpKind::DeleteVector: co_return co_await execute_mutation_op(channel, std::move(op));
        default: co_return co_await execute_ddl_op(channel, std::move(op));
    }
}

}  // namespace zorv::runtime::rpc
