// ASCII character classes and case helpers: keywords and option keys match ignoring ASCII case only.
#pragma once

#include <string>
#include <string_view>

namespace zorv::core {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

inline char ascii_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }
inline char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c; }

inline std::string to_ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = ascii_lower(c);
    return out;
}

inline std::string to_ascii_upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = ascii_upper(c);
    return out;
}

// User text for an error message: control bytes (0x00-0x1f, 0x7f) become "\xHH", so a message
// printed to a terminal carries no escape sequence; everything else, UTF-8 included, stays.
inline std::string escape_for_message(std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

// The same in single quotes: 'text'.
inline std::string quote_for_message(std::string_view text) { return "'" + escape_for_message(text) + "'"; }

inline bool equals_ignore_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i])) return false;
    }
    return true;
}

}  // namespace zorv::core
