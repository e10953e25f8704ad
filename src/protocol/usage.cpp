#include "protocol/usage.h"

#include <algorithm>
#include <limits>

namespace zorv::protocol {
namespace {

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) return std::numeric_limits<std::uint64_t>::max();
    return sum;
}

HardwareUsage add_hardware(const HardwareUsage& a, const HardwareUsage& b) {
    return HardwareUsage{
        .cpu = saturating_add(a.cpu, b.cpu),
        .payload_io_read = saturating_add(a.payload_io_read, b.payload_io_read),
        .payload_io_write = saturating_add(a.payload_io_write, b.payload_io_write),
        .payload_index_io_read = saturating_add(a.payload_index_io_read, b.payload_index_io_read),
        .payload_index_io_write = saturating_add(a.payload_index_io_write, b.payload_index_io_write),
        .vector_io_read = saturating_add(a.vector_io_read, b.vector_io_read),
        .vector_io_write = saturating_add(a.vector_io_write, b.vector_io_write),
    };
}

InferenceUsage add_inference(const InferenceUsage& total, const InferenceUsage& next) {
    InferenceUsage out = total;
    for (const auto& [name, usage] : next.models) {
        auto it =
            std::ranges::find(out.models, name, [](const auto& entry) -> const std::string& { return entry.first; });
        if (it == out.models.end()) {
            out.models.emplace_back(name, usage);
        } else {
            it->second.tokens = saturating_add(it->second.tokens, usage.tokens);
        }
    }
    return out;
}

}  // namespace

Usage merge_usage(const Usage& total, const Usage& next) {
    Usage out;
    if (total.hardware && next.hardware) {
        out.hardware = add_hardware(*total.hardware, *next.hardware);
    } else {
        out.hardware = total.hardware ? total.hardware : next.hardware;
    }
    if (total.inference && next.inference) {
        out.inference = add_inference(*total.inference, *next.inference);
    } else {
        out.inference = total.inference ? total.inference : next.inference;
    }
    return out;
}

}  // namespace zorv::protocol
