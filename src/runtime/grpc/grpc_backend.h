// The gRPC transport behind the executor's Backend interface.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"
#include "runtime/backend.h"
#include "runtime/grpc/channel.h"

namespace zorv::runtime::rpc {

// Connects nothing: the channel dials on the first call. Fails only on a URL that is not a valid
// URI (ZORV-TRANSPORT). An empty route affinity sends none. A key or affinity that gRPC metadata
// cannot carry fails every call, unsent.
core::Result<std::unique_ptr<Backend>> make_grpc_backend(std::string_view url, std::optional<std::string> api_key,
                                                         std::optional<std::string> route_affinity = std::nullopt);

// The same with every setting; tests shorten the deadline and bring their own TLS root.
core::Result<std::unique_ptr<Backend>> make_grpc_backend(std::string_view url, GrpcSettings settings);

}  // namespace zorv::runtime::rpc
