#include "runtime/grpc_route/usage.h"

#include <algorithm>
#include <string>
#include <utility>

namespace zorv::runtime::rpc {

protocol::Telemetry usage_from_proto(const qdrant::Usage* usage, double time_s) {
    protocol::Telemetry out{.time_s = time_s, .usage = std::nullopt};
    if (usage == nullptr || (!usage->has_hardware() && !usage->has_inference())) return out;
    protocol::Usage record;
    if (usage->has_hardware()) {
        const auto& hw = usage->hardware();
        record.hardware = protocol::HardwareUsage{.cpu = hw.cpu(),
                                                  .payload_io_read = hw.payload_io_read(),
                                                  .payload_io_write = hw.payload_io_write(),
                                                  .payload_index_io_read = hw.payload_index_io_read(),
                                                  .payload_index_io_write = hw.payload_index_io_write(),
                                                  .vector_io_read = hw.vector_io_read(),
                                                  .vector_io_write = hw.vector_io_write()};
    }
    if (usage->has_inference()) {
        protocol::InferenceUsage inference;
        inference.models.reserve(usage->inference().models_size());
        for (const auto& [name, model] : usage->inference().models())
            inference.models.emplace_back(name, protocol::ModelUsage{.tokens = model.tokens()});
        std::ranges::sort(inference.models, {}, &std::pair<std::string, protocol::ModelUsage>::first);
        record.inference = std::move(inference);
    }
    out.usage = std::move(record);
    return out;
}

}  // namespace zorv::runtime::rpc
