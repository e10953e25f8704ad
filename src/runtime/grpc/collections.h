// The Collections service calls: listing, existence and one collection's description.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runtime/backend.h"
#include "runtime/grpc/channel.h"

namespace zorv::runtime::rpc {

struct CollectionList {
    std::vector<std::string> names;  // the server's order
    double time_s = 0.0;
};

struct CollectionInfoReply {
    std::optional<protocol::CollectionSchema> schema;  // absent when the reply has no result
    double time_s = 0.0;
};

// `channel` must outlive each call.
AsyncResult<CollectionList> rpc_list_collections(const GrpcChannel& channel);
// False also when the server answers NotFound.
AsyncResult<bool> rpc_collection_exists(const GrpcChannel& channel, std::string collection);
AsyncResult<CollectionInfoReply> rpc_collection_info(const GrpcChannel& channel, std::string collection);

// ZORV-GRPC-NO-RESULT for a Get reply without its result.
core::ZorvError missing_info_result(std::string collection);

}  // namespace zorv::runtime::rpc
