#include "runtime/grpc_route/ddl.h"

#include <optional>
#include <utility>

#include "core/diagnostics.h"
#include "qdrant/collections.pb.h"
#include "runtime/grpc_route/ddl_index.h"
#include "runtime/grpc_route/ddl_requests.h"
#include "runtime/grpc_route/execute.h"

namespace zorv::runtime::rpc {

namespace {

using plan::PlanOpKind;
using protocol::BackendReply;
using protocol::ExecData;

BackendReply mutation_reply(double time_s) {
    return BackendReply{.telemetry = protocol::Telemetry{.time_s = time_s, .usage = std::nullopt},
                        .data = ExecData{ExecData::Mutation{std::nullopt}}};
}

// The server's result flag is not a failure: a DROP of a missing collection answers false.
template <class Reply>
AsyncResult<double> call_for_time(const GrpcChannel& channel, std::string path, std::string operation,
                                  const google::protobuf::Message& request) {
    Reply reply;
    UnaryCall call{.path = std::move(path), .operation = std::move(operation), .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), request, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    co_return reply.time();
}

AsyncResult<double> delete_collection(const GrpcChannel& channel, std::string collection) {
    qdrant::DeleteCollection request;
    request.set_collection_name(std::move(collection));
    co_return co_await call_for_time<qdrant::CollectionOperationResponse>(channel, "/qdrant.Collections/Delete",
                                                                          "delete_collection", request);
}

AsyncResult<BackendReply> alter_collection(const GrpcChannel& channel, const plan::AlterCollectionOp& op) {
    auto request = build_update_collection(op.collection, op.update);
    if (!request) co_return std::unexpected(std::move(request).error());
    auto time = co_await rpc_update_collection(channel, *request);
    if (!time) co_return std::unexpected(std::move(time).error());
    co_return mutation_reply(*time);
}

AsyncResult<BackendReply> create_shard_key(const GrpcChannel& channel, const plan::CreateShardKeyOp& op) {
    auto request = build_create_shard_key(op);
    if (!request) co_return std::unexpected(std::move(request).error());
    auto time = co_await rpc_create_shard_key(channel, *request);
    if (!time) co_return std::unexpected(std::move(time).error());
    co_return mutation_reply(*time);
}

AsyncResult<BackendReply> drop_shard_key(const GrpcChannel& channel, const plan::DropShardKeyOp& op) {
    const qdrant::DeleteShardKeyRequest request = build_delete_shard_key(op);
    auto time = co_await call_for_time<qdrant::DeleteShardKeyResponse>(channel, "/qdrant.Collections/DeleteShardKey",
                                                                       "delete_shard_key", request);
    if (!time) co_return std::unexpected(std::move(time).error());
    co_return mutation_reply(*time);
}

AsyncResult<BackendReply> show_shard_keys(const GrpcChannel& channel, std::string collection) {
    qdrant::ListShardKeysRequest request;
    request.set_collection_name(collection);
    qdrant::ListShardKeysResponse reply;
    UnaryCall call{.path = "/qdrant.Collections/ListShardKeys",
                   .operation = "list_shard_keys",
                   .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), request, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    auto keys = shard_keys_from_proto(reply, collection);
    if (!keys) co_return std::unexpected(std::move(keys).error());
    co_return BackendReply{.telemetry = protocol::Telemetry{.time_s = reply.time(), .usage = std::nullopt},
                           .data = ExecData{ExecData::ShardKeys{std::move(*keys)}}};
}

}  // namespace

AsyncResult<double> rpc_update_collection(const GrpcChannel& channel, const qdrant::UpdateCollection& request) {
    co_return co_await call_for_time<qdrant::CollectionOperationResponse>(channel, "/qdrant.Collections/Update",
                                                                          "update_collection", request);
}

AsyncResult<double> rpc_create_shard_key(const GrpcChannel& channel, const qdrant::CreateShardKeyRequest& request) {
    co_return co_await call_for_time<qdrant::CreateShardKeyResponse>(channel, "/qdrant.Collections/CreateShardKey",
                                                                     "create_shard_key", request);
}

AsyncResult<BackendReply> execute_create_collection(const GrpcChannel& channel, std::string collection,
                                                    const plan::PlanCollectionConfig& config) {
    auto calls = build_create_collection(collection, config);
    if (!calls) co_return std::unexpected(std::move(calls).error());
    auto time = co_await call_for_time<qdrant::CollectionOperationResponse>(channel, "/qdrant.Collections/Create",
                                                                            "create_collection", calls->create);
    if (!time) co_return std::unexpected(std::move(time).error());
    if (calls->fan_out) {
        auto updated = co_await rpc_update_collection(channel, *calls->fan_out);
        if (!updated) co_return std::unexpected(std::move(updated).error());
    }
    for (const qdrant::CreateShardKeyRequest& request : calls->shard_keys) {
        auto created = co_await rpc_create_shard_key(channel, request);
        if (!created) co_return std::unexpected(std::move(created).error());
    }
    co_return mutation_reply(*time);
}

AsyncResult<BackendReply> execute_ddl_op(const GrpcChannel& channel, plan::PlanOp op) {
    switch (op.kind()) {
        case PlanOpKind::CreateCollection: {
            const auto& create = op.get<PlanOpKind::CreateCollection>();
            co_return co_await execute_create_collection(channel, create.collection, create.config);
        }
        case PlanOpKind::AlterCollection:
            co_return co_await alter_collection(channel, op.get<PlanOpKind::AlterCollection>());
        case PlanOpKind::DropCollection: {
            std::string collection = op.get<PlanOpKind::DropCollection>().collection;
            auto time = co_await delete_collection(channel, std::move(collection));
            if (!time) co_return std::unexpected(std::move(time).error());
            co_return mutation_reply(*time);
        }
        case PlanOpKind::CreateIndex: co_return co_await create_field_index(channel, op.get<PlanOpKind::CreateIndex>());
        case PlanOpKind::DropIndex: co_return co_await delete_field_index(channel, op.get<PlanOpKind::DropIndex>());
        case PlanOpKind::CreateShardKey:
            co_return co_await create_shard_key(channel, op.get<PlanOpKind::CreateShardKey>());
        case PlanOpKind::DropShardKey: co_return co_await drop_shard_key(channel, op.get<PlanOpKind::DropShardKey>());
        case PlanOpKind::ShowShardKeys: {
            std::string collection = op.get<PlanOpKind::ShowShardKeys>().collection;
            co_return co_await show_shard_keys(channel, std::move(collection));
        }
        default: co_return std::unexpected(unrouted_kind(op.kind()));
    }
}

AsyncResult<void> rpc_create_collection(const GrpcChannel& channel, std::string collection,
                                        plan::PlanCollectionConfig config) {
    auto reply = co_await execute_create_collection(channel, std::move(collection), config);
    if (!reply) co_return std::unexpected(std::move(reply).error());
    co_return core::Result<void>{};
}

AsyncResult<void> rpc_delete_collection(const GrpcChannel& channel, std::string collection) {
    auto time = co_await delete_collection(channel, std::move(collection));
    if (!time) co_return std::unexpected(std::move(time).error());
    co_return core::Result<void>{};
}

AsyncResult<void> rpc_update_aliases(const GrpcChannel& channel, std::vector<AliasAction> actions) {
    qdrant::ChangeAliases request;
    for (const AliasAction& action : actions) {
        qdrant::AliasOperations& operation = *request.add_actions();
        if (const auto* create = std::get_if<AliasAction::Create>(&action.value)) {
            operation.mutable_create_alias()->set_collection_name(create->collection_name);
            operation.mutable_create_alias()->set_alias_name(create->alias_name);
        } else {
            operation.mutable_delete_alias()->set_alias_name(std::get<AliasAction::Delete>(action.value).alias_name);
        }
    }
    auto time = co_await call_for_time<qdrant::CollectionOperationResponse>(channel,
                                                                            "/qdrant.Collections/UpdateAliases",
                                                                            "update_aliases", request);
    if (!time) co_return std::unexpected(std::move(time).error());
    co_return core::Result<void>{};
}

}  // namespace zorv::runtime::rpc
