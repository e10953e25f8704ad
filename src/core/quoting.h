// Quoted text as the lexer reads it: where a quoted region ends, and how its escapes resolve.
// The lexer, the parser and the parameter renderer all go through these rules, so a string means
// the same thing to each of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

namespace zorv::core {

enum class QuoteStyle : std::uint8_t {
    Single,        // '...': backslash escapes, and '' for one quote
    Double,        // "...": backslash escapes
    TripleSingle,  // '''...''': verbatim
    TripleDouble,  // """...""": verbatim
    Backtick,      // `...`: verbatim
    Raw,           // r'...' or r"...": verbatim
};

constexpr bool resolves_escapes(QuoteStyle style) { return style == QuoteStyle::Single || style == QuoteStyle::Double; }

struct QuotedRegion {
    QuoteStyle style;
    std::size_t text_begin;  // the content between the delimiters, escapes unresolved
    std::size_t text_end;
    std::size_t end;  // just past the closing delimiter; the text size when unclosed
    bool closed;
};

// The quoted region opening at `p`, or nullopt when no quote opens there. A triple quote without
// its closing triple reads as a single-quoted region; a backslash always takes the next byte.
std::optional<QuotedRegion> scan_quoted(std::string_view text, std::size_t p);

// The style of a whole quoted lexeme as scan_quoted delimited it.
QuoteStyle quote_style_of(std::string_view lexeme);

// What `\c` stands for, or nullopt when it is no escape.
std::optional<char> escape_value(char c);

// The content of a region of `style` with its escapes resolved; on an unknown escape, the offset in
// `content` of the byte after its backslash.
std::expected<std::string, std::size_t> resolve_escapes(QuoteStyle style, std::string_view content);

}  // namespace zorv::core
