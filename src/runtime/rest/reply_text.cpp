#include "runtime/rest/reply_text.h"

#include <cstdint>

namespace zorv::runtime::rest {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Length of the valid sequence at `i`, or 0 with `bad` set to the length of its maximal
// invalid subpart (at least 1).
std::size_t valid_sequence(std::string_view s, std::size_t i, std::size_t& bad) {
    auto at = [&](std::size_t k) { return static_cast<std::uint8_t>(s[k]); };
    const std::uint8_t lead = at(i);
    bad = 1;
    if (lead < 0x80) return 1;
    std::size_t need = 0;
    std::uint8_t lo = 0x80;
    std::uint8_t hi = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        if (lead == 0xE0) lo = 0xA0;
        if (lead == 0xED) hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        if (lead == 0xF0) lo = 0x90;
        if (lead == 0xF4) hi = 0x8F;
    } else {
        return 0;
    }
    for (std::size_t k = 1; k <= need; ++k) {
        if (i + k >= s.size()) return 0;
        const std::uint8_t c = at(i + k);
        if (c < (k == 1 ? lo : 0x80) || c > (k == 1 ? hi : 0xBF)) return 0;
        bad = k + 1;
    }
    return need + 1;
}

}  // namespace

std::string to_valid_utf8(std::string bytes) {
    std::size_t i = 0;
    std::size_t bad = 0;
    while (i < bytes.size()) {
        const std::size_t n = valid_sequence(bytes, i, bad);
        if (n == 0) break;
        i += n;
    }
    if (i == bytes.size()) return bytes;
    std::string out(bytes, 0, i);
    out.reserve(bytes.size() + 8);
    while (i < bytes.size()) {
        const std::size_t n = valid_sequence(bytes, i, bad);
        if (n == 0) {
            out += replacement;
            i += bad;
        } else {
            out.append(bytes, i, n);
            i += n;
        }
    }
    return out;
}

std::string_view excerpt(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    // Back off continuation bytes so the cut falls before the character they belong to.
    while (end > 0 && (static_cast<std::uint8_t>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace zorv::runtime::rest
