#include "runtime/grpc_route/ddl_index.h"

#include <string>
#include <utility>

#include "runtime/grpc_route/ddl_words.h"
#include "runtime/grpc_route/index_params.h"
#include "runtime/grpc_route/usage.h"

namespace zorv::runtime::rpc {

namespace {

// The update status is the server's verdict, not a failure of the call.
AsyncResult<protocol::BackendReply> send(const GrpcChannel& channel, std::string path, std::string operation,
                                         const google::protobuf::Message& request) {
    qdrant::PointsOperationResponse reply;
    UnaryCall call{.path = std::move(path), .operation = std::move(operation), .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), request, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    co_return protocol::BackendReply{.telemetry = reply_telemetry(reply),
                                     .data = protocol::ExecData{protocol::ExecData::Mutation{std::nullopt}}};
}

}  // namespace

core::Result<qdrant::CreateFieldIndexCollection> build_create_field_index(const plan::CreateIndexOp& op) {
    qdrant::CreateFieldIndexCollection request;
    const int type = ZORV_TRY(field_type_to_proto(op.index.field_type));
    // An index without options goes out as its bare type, as over REST: the server then keeps no
    // parameters, where an empty message would make it store every default.
    if (op.index.params != plan::PlanIndexParams{}) {
        ZORV_CHECK(field_index_params_to_proto(op.index, *request.mutable_field_index_params()));
    }
    request.set_collection_name(op.collection);
    request.set_wait(op.wait);
    request.set_field_name(op.index.field_name);
    request.set_field_type(static_cast<qdrant::FieldType>(type));
    return request;
}

qdrant::DeleteFieldIndexCollection build_delete_field_index(const plan::DropIndexOp& op) {
    qdrant::DeleteFieldIndexCollection request;
    request.set_collection_name(op.collection);
    request.set_field_name(op.field_name);
    return request;
}

AsyncResult<protocol::BackendReply> create_field_index(const GrpcChannel& channel, const plan::CreateIndexOp& op) {
    auto request = build_create_field_index(op);
    if (!request) co_return std::unexpected(std::move(request).error());
    co_return co_await send(channel, "/qdrant.Points/CreateFieldIndex", "create_field_index", *request);
}

AsyncResult<protocol::BackendReply> delete_field_index(const GrpcChannel& channel, const plan::DropIndexOp& op) {
    const qdrant::DeleteFieldIndexCollection request = build_delete_field_index(op);
    co_return co_await send(channel, "/qdrant.Points/DeleteFieldIndex", "delete_field_index", request);
}

}  // namespace zorv::runtime::rpc
