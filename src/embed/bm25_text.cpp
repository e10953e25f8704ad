#include "embed/bm25_text.h"

#include <algorithm>
#include <cstdint>

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace zorv::embed {

namespace {

constexpr bool is_ascii_alnum(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

bool is_word_char(char32_t c) {
    if (c < 0x80) return is_ascii_alnum(c);
    if (c > 0x10FFFF) return false;  // an ill-formed sequence
    const auto cp = static_cast<UChar32>(c);
    if (u_hasBinaryProperty(cp, UCHAR_ALPHABETIC)) return true;
    const auto type = static_cast<UCharCategory>(u_charType(cp));
    return type == U_DECIMAL_DIGIT_NUMBER || type == U_LETTER_NUMBER || type == U_OTHER_NUMBER;
}

bool is_space_char(char32_t c) {
    if (c < 0x80) return c == ' ' || (c >= '\t' && c <= '\r');
    if (c > 0x10FFFF) return false;
    return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE);
}

bool is_ascii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

std::size_t char_count(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

std::string_view first_chars(std::string_view text, std::size_t chars) {
    std::size_t seen = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80 && seen++ == chars) return text.substr(0, at);
    }
    return text;
}

void lowercase_in_place(std::string& text) {
    if (is_ascii(text)) {
        for (char& c : text) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        }
        return;
    }
    std::string lower;
    lower.reserve(text.size());
    icu::StringByteSink<std::string> sink(&lower);
    UErrorCode status = U_ZERO_ERROR;
    // The root locale: no Turkish or Lithuanian special cases.
    icu::CaseMap::utf8ToLower("", 0, icu::StringPiece(text.data(), static_cast<int32_t>(text.size())), sink, nullptr,
                              status);
    if (U_SUCCESS(status)) text = std::move(lower);
}

namespace detail {

char32_t next_char(std::string_view text, std::size_t& at) {
    // A window of at most four bytes keeps ICU's int32_t offsets valid in texts of any size.
    const auto* window = reinterpret_cast<const std::uint8_t*>(text.data() + at);
    const auto length = static_cast<int32_t>(std::min<std::size_t>(4, text.size() - at));
    UChar32 c = 0;
    int32_t i = 0;
    U8_NEXT(window, i, length, c);
    at += static_cast<std::size_t>(i);
    return c < 0 ? static_cast<char32_t>(-1) : static_cast<char32_t>(c);
}

}  // namespace detail

}  // namespace zorv::embed
