// Reading the text of number tokens.
#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace zorv::core {

// The whole text as a decimal integer of type Int, or nullopt (bad text or out of range).
template <class Int>
std::optional<Int> read_decimal(std::string_view text) {
    Int value{};
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc{} || ptr != end) return std::nullopt;
    return value;
}

// The nearest double to a decimal text: too large gives a signed infinity, too small a signed
// zero; nullopt when the text is no number at all.
std::optional<double> read_f64(std::string_view text);

}  // namespace zorv::core
