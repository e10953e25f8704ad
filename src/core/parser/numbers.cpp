#include "core/parser/numbers.h"

#include "core/text.h"

#include <cstdint>
#include <limits>

namespace zorv::core {
namespace {

// For a text that from_chars refused as out of range: whether its magnitude is above one
// (so it overflowed) rather than below (so it underflowed).
bool exceeds_one(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') ++i;
    std::int64_t scale = 0;  // the value is 0.ddd x 10^scale
    bool seen_nonzero = false;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        if (text[i] != '0') seen_nonzero = true;
        if (seen_nonzero) ++scale;
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && is_digit(text[i]); ++i) {
            if (seen_nonzero) continue;
            if (text[i] == '0') --scale;
            else seen_nonzero = true;
        }
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        std::int64_t exponent = 0;
        for (; i < text.size() && is_digit(text[i]); ++i) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (text[i] - '0');
        }
        scale += negative ? -exponent : exponent;
    }
    return scale > 0;
}

}  // namespace

std::optional<double> read_f64(std::string_view text) {
    if (text.empty()) return std::nullopt;
    double value = 0.0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ptr != end) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        const double magnitude = exceeds_one(text) ? std::numeric_limits<double>::infinity() : 0.0;
        return text.front() == '-' ? -magnitude : magnitude;
    }
    if (ec != std::errc{}) return std::nullopt;
    return value;
}

}  // namespace zorv::core
