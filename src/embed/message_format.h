// "{}" placeholders filled in order, for error messages (g++ 12 has no <format>).
#pragma once

#include <array>
#include <concepts>
#include <string>
#include <string_view>

namespace zorv::embed {

namespace detail {

inline std::string piece(std::string_view text) { return std::string(text); }
inline std::string piece(const std::string& text) { return text; }
inline std::string piece(const char* text) { return text; }
template <std::integral T>
std::string piece(T value) {
    return std::to_string(value);
}

}  // namespace detail

template <class... Args>
std::string format_message(std::string_view pattern, const Args&... args) {
    std::array<std::string, sizeof...(Args)> pieces{detail::piece(args)...};
    std::string out;
    std::size_t next = 0;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        if (pattern[at] == '{' && at + 1 < pattern.size() && pattern[at + 1] == '}' && next < pieces.size()) {
            out += pieces[next++];
            ++at;
        } else {
            out += pattern[at];
        }
    }
    return out;
}

}  // namespace zorv::embed
