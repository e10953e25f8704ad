#include "python/repr_text.h"

#include <array>
#include <cstdint>

#include "python/values.h"

namespace zorv::python {
namespace {

// Decodes one UTF-8 sequence at `at` and steps past it; a truncated sequence gives its lead byte
// alone. Texts here come from Python str or checked JSON, so they are valid UTF-8.
std::uint32_t next_code_point(std::string_view text, std::size_t& at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 1;
    std::uint32_t cp = lead;
    if (lead >= 0xF0) {
        length = 4;
        cp = lead & 0x07U;
    } else if (lead >= 0xE0) {
        length = 3;
        cp = lead & 0x0FU;
    } else if (lead >= 0xC0) {
        length = 2;
        cp = lead & 0x1FU;
    }
    if (length == 1 || at + length > text.size()) {
        ++at;
        return lead;
    }
    for (std::size_t i = 1; i < length; ++i) cp = (cp << 6U) | (static_cast<unsigned char>(text[at + i]) & 0x3FU);
    at += length;
    return cp;
}

// Control characters and the common invisible format characters.
bool needs_escape(std::uint32_t cp) {
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return true;
    return cp == 0xAD || (cp >= 0x200B && cp <= 0x200F) || (cp >= 0x2028 && cp <= 0x202E) ||
           (cp >= 0x2060 && cp <= 0x2064) || cp == 0xFEFF;
}

void append_hex(std::string& out, std::uint32_t cp) {
    constexpr std::string_view digits = "0123456789abcdef";
    std::array<char, 8> buf{};
    std::size_t n = 0;
    do {
        buf[n++] = digits[cp & 0xFU];
        cp >>= 4U;
    } while (cp != 0);
    out += "\\u{";
    while (n > 0) out += buf[--n];
    out += '}';
}

}  // namespace

std::string shortest_float_text(double value) { return float_display(value); }

std::string debug_quoted(std::string_view text) {
    std::string out = "\"";
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t start = at;
        const std::uint32_t cp = next_code_point(text, at);
        switch (cp) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            case 0: out += "\\0"; continue;
            default: break;
        }
        if (needs_escape(cp)) {
            append_hex(out, cp);
        } else {
            out.append(text.substr(start, at - start));
        }
    }
    out += '"';
    return out;
}

}  // namespace zorv::python
