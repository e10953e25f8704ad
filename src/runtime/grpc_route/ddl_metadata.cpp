#include "runtime/grpc_route/ddl_metadata.h"

#include "core/diagnostics.h"

namespace zorv::runtime::rpc {

core::Result<void> metadata_to_proto(const plan::OptionList& metadata,
                                     google::protobuf::Map<std::string, qdrant::Value>& /*out*/) {
    if (metadata.empty()) return {};
    return core::fail(core::Diag::GrpcUnsupported, "collection metadata is not supported over gRPC yet");
}

}  // namespace zorv::runtime::rpc
