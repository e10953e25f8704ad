#include "runtime/request_id.h"

#include <chrono>

namespace zorv::runtime {

namespace {

void append_hex(std::string& out, std::uint64_t value, int min_digits) {
    constexpr char digits[] = "0123456789abcdef";
    char buffer[16];
    int n = 0;
    do {
        buffer[n++] = digits[value & 0xF];
        value >>= 4;
    } while (value != 0);
    for (int pad = n; pad < min_digits; ++pad) out += '0';
    while (n > 0) out += buffer[--n];
}

std::uint64_t wall_clock_nanos() {
    auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
    auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
    // A clock set before 1970 reads as zero.
    return nanos < 0 ? 0 : static_cast<std::uint64_t>(nanos);
}

}  // namespace

std::string format_request_id(std::uint64_t nanos, std::uint64_t counter) {
    std::string id;
    id.reserve(5 + 16 + 16);
    id += "zorv-";
    append_hex(id, nanos, 16);
    append_hex(id, counter, 4);
    return id;
}

std::string make_request_id() {
    // Only uniqueness matters: the counter orders nothing else.
    const std::uint64_t counter = REQUEST_ID_COUNTER.fetch_add(1, std::memory_order_relaxed);
    return format_request_id(wall_clock_nanos(), counter);
}

}  // namespace zorv::runtime
