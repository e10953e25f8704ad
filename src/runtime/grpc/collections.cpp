#include "runtime/grpc/collections.h"

#include <utility>

#include "core/diagnostics.h"
#include "qdrant/collections.pb.h"
#include "runtime/grpc_route/collection_schema.h"

namespace zorv::runtime::rpc {

namespace {

bool has_field(const core::ZorvError& error, std::string_view key, std::string_view value) {
    for (const auto& [k, v] : error.fields) {
        if (k == key && v == value) return true;
    }
    return false;
}

}  // namespace

AsyncResult<CollectionList> rpc_list_collections(const GrpcChannel& channel) {
    qdrant::ListCollectionsRequest request;
    qdrant::ListCollectionsResponse reply;
    UnaryCall call{.path = "/qdrant.Collections/List", .operation = "list_collections", .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), request, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    CollectionList out;
    out.names.reserve(static_cast<std::size_t>(reply.collections_size()));
    for (const auto& description : reply.collections()) out.names.push_back(description.name());
    out.time_s = reply.time();
    co_return out;
}

AsyncResult<bool> rpc_collection_exists(const GrpcChannel& channel, std::string collection) {
    qdrant::CollectionExistsRequest request;
    request.set_collection_name(collection);
    qdrant::CollectionExistsResponse reply;
    UnaryCall call{.path = "/qdrant.Collections/CollectionExists",
                   .operation = "collection_exists",
                   .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), request, reply);
    if (!done) {
        if (has_field(done.error(), "grpc_code", "5")) co_return false;
        co_return std::unexpected(std::move(done).error());
    }
    co_return reply.has_result() && reply.result().exists();
}

AsyncResult<CollectionInfoReply> rpc_collection_info(const GrpcChannel& channel, std::string collection) {
    qdrant::GetCollectionInfoRequest request;
    request.set_collection_name(collection);
    qdrant::GetCollectionInfoResponse reply;
    UnaryCall call{.path = "/qdrant.Collections/Get", .operation = "collection_info", .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), request, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    CollectionInfoReply out;
    out.time_s = reply.time();
    if (reply.has_result()) {
        auto schema = collection_schema_from_proto(reply.result(), collection);
        if (!schema) co_return std::unexpected(std::move(schema).error());
        out.schema = std::move(*schema);
    }
    co_return out;
}

core::ZorvError missing_info_result(std::string collection) {
    auto error = core::make_error(core::Diag::GrpcNoResult, "collection_info response missing result field");
    error.add_field("collection", std::move(collection));
    return error;
}

}  // namespace zorv::runtime::rpc
