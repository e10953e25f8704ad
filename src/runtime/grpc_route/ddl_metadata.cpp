#include "runtime/grpc_route/ddl_metadata.h"

#include <utility>

#include "runtime/grpc_route/values.h"

namespace zorv::runtime::rpc {

core::Result<void> metadata_to_proto(const plan::OptionList& metadata,
                                     google::protobuf::Map<std::string, qdrant::Value>& out) {
    for (const auto& [key, value] : metadata) {
        auto converted = value_to_proto(value);
        if (!converted) return std::unexpected(std::move(converted).error());
        out[key] = std::move(*converted);
    }
    return {};
}

}  // namespace zorv::runtime::rpc
