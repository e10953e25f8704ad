// How a failed gRPC call becomes a ZorvError: the code from the status code and, failing that,
// from words in the server's message; the message and fields name the call and its request id.
#pragma once

#include <string>
#include <string_view>

#include "core/error.h"

namespace zorv::runtime::rpc {

// What the mapping needs of a failed call's status.
struct CallStatus {
    int code = 2;
    std::string message;
};

// The fixed description of a status code 0..16; "Unknown error" past the table.
std::string_view status_description(int code);

// "code: '{description}'", then ", message: \"...\"" when the message is not empty.
std::string status_text(const CallStatus& status);

// Kind Backend always; fields grpc_code, operation and request_id (only when not empty).
core::ZorvError map_grpc_status(std::string_view operation, const CallStatus& status, std::string_view request_id);

}  // namespace zorv::runtime::rpc
