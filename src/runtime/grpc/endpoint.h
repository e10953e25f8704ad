// Where a gRPC client dials, read from the URL the caller gave.
#pragma once

#include <string>
#include <string_view>

#include "core/error.h"

namespace zorv::runtime::rpc {

inline constexpr std::string_view default_grpc_port = "6334";

struct GrpcEndpoint {
    std::string target;  // "host:port" ("[v6]:port"), what the channel dials
    bool tls = false;    // "https://" only
    std::string shown;   // scheme + target, what errors name
    friend bool operator==(const GrpcEndpoint&, const GrpcEndpoint&) = default;
};

// "grpc://", "http://" or no scheme dial in plain text, "https://" with TLS; repeated scheme
// prefixes collapse. No port means 6334. Anything that is not host[:port][/path] is refused with
// ZORV-TRANSPORT "invalid gRPC url: invalid URI".
core::Result<GrpcEndpoint> parse_grpc_endpoint(std::string_view url);

}  // namespace zorv::runtime::rpc
