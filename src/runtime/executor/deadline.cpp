#include "runtime/executor/deadline.h"

#include <string>

#include "core/diagnostics.h"

namespace zorv::runtime {

std::optional<std::chrono::steady_clock::time_point> deadline_after(std::uint64_t seconds) {
    using clock = std::chrono::steady_clock;
    const clock::time_point now = clock::now();
    const auto room = std::chrono::duration_cast<std::chrono::seconds>(clock::time_point::max() - now).count();
    if (room < 0 || seconds > static_cast<std::uint64_t>(room)) return std::nullopt;
    return now + std::chrono::seconds(static_cast<std::int64_t>(seconds));
}

core::ZorvError timeout_error(std::uint64_t seconds) {
    return core::fail(core::Diag::Timeout, "operation timed out after " + std::to_string(seconds) + "s").error();
}

}  // namespace zorv::runtime
