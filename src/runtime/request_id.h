// Request ids: "zorv-" + 16 hex digits of wall-clock nanoseconds + at least 4 hex digits of a
// process-wide counter. The REST and gRPC transports stamp every call from the same counter, so
// ids are unique within a process even when two are made in the same nanosecond.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace zorv::runtime {

// 0 at process start; one increment per id made.
inline std::atomic<std::uint64_t> REQUEST_ID_COUNTER{0};  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

// The id text for a clock reading and a counter value.
std::string format_request_id(std::uint64_t nanos, std::uint64_t counter);

// Takes the next counter value (before reading the clock) and makes the id.
std::string make_request_id();

}  // namespace zorv::runtime
