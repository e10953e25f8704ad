// One client's gRPC connection settings and its lazily built channel, and the frame of every
// remote call: metadata checked and added, a fresh request id, a deadline, the 64 MiB limits,
// the reply decoded with a bounded recursion depth, and a failure mapped to a ZorvError.
#pragma once

#include <sys/types.h>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"
#include "runtime/backend.h"
#include "runtime/grpc/endpoint.h"

namespace google::protobuf {
class Message;
}  // namespace google::protobuf

namespace grpc {
class Channel;
}  // namespace grpc

namespace zorv::runtime::rpc {

// Each way, per message.
inline constexpr std::size_t max_message_bytes = std::size_t{64} << 20;
// Message nesting the reply decoder admits: a JSON payload nested 128 levels takes three message
// levels per object level (Value, Struct, map entry), plus the reply's own envelope.
inline constexpr int decode_recursion_limit = 3 * 128 + 16;

struct GrpcSettings {
    std::optional<std::string> api_key;
    std::optional<std::string> route_affinity;  // absent when not given or empty
    // Per call; a call for a statement with a timeout t gets t + 5 s when that is longer. Tests shorten it.
    std::chrono::milliseconds call_deadline{30'000};
    // PEM roots for "https://"; absent means the system CA store. Tests put their own root here.
    std::optional<std::string> root_certificates;
};

// Shared by every call of one backend; the channel is made on first use. A forked child never
// uses or destroys its parent's channel.
class GrpcChannel {
public:
    GrpcChannel(GrpcEndpoint endpoint, GrpcSettings settings);
    ~GrpcChannel();
    GrpcChannel(const GrpcChannel&) = delete;
    GrpcChannel& operator=(const GrpcChannel&) = delete;

    const GrpcEndpoint& endpoint() const { return endpoint_; }
    const GrpcSettings& settings() const { return settings_; }
    std::shared_ptr<::grpc::Channel> channel() const;

private:
    GrpcEndpoint endpoint_;
    GrpcSettings settings_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<::grpc::Channel> channel_;
    mutable pid_t owner_pid_ = 0;
};

// Checks the api key, then the route affinity: bytes 0x20..0x7E only (other bytes abort the gRPC
// core). ZORV-TRANSPORT-REQUEST naming the url and operation when one is not.
core::Result<void> check_metadata(const GrpcEndpoint& endpoint, const GrpcSettings& settings,
                                  std::string_view operation);

// The deadline of one call: the base, or the statement's timeout + 5 s when that is longer.
std::chrono::milliseconds call_deadline(std::chrono::milliseconds base, std::optional<std::uint64_t> timeout_s);

struct UnaryCall {
    std::string path;       // "/qdrant.Collections/Get"
    std::string operation;  // the label failures carry
    std::optional<std::uint64_t> timeout_s;
};

// One unary call; `reply` is filled on success. `channel`, `request` and `reply` must outlive the call.
AsyncResult<void> call_unary(const GrpcChannel& channel, UnaryCall call, const google::protobuf::Message& request,
                             google::protobuf::Message& reply);

}  // namespace zorv::runtime::rpc
