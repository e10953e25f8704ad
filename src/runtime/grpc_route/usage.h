// The server time and usage that every Points reply carries, as the executor's records.
#pragma once

#include "protocol/response.h"
#include "qdrant/points.pb.h"

namespace zorv::runtime::rpc {

// `usage` is the reply's usage, or null when it has none. The time is always set; the usage only
// when the hardware or the inference part is present. Models are listed by name, for a stable order.
protocol::Telemetry usage_from_proto(const qdrant::Usage* usage, double time_s);

// Any Points reply with `time` and `usage`.
template <class Reply>
protocol::Telemetry reply_telemetry(const Reply& reply) {
    return usage_from_proto(reply.has_usage() ? &reply.usage() : nullptr, reply.time());
}

}  // namespace zorv::runtime::rpc
