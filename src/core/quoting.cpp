#include "core/quoting.h"

#include <cstring>

namespace zorv::core {
namespace {

// Single or double quotes: up to the unescaped closing quote.
QuotedRegion scan_escaped(std::string_view text, std::size_t p, char quote) {
    const std::size_t n = text.size();
    const QuoteStyle style = quote == '\'' ? QuoteStyle::Single : QuoteStyle::Double;
    std::size_t i = p + 1;
    while (i < n) {
        const char c = text[i];
        if (c == '\\') {
            if (i + 1 >= n) break;
            i += 2;
        } else if (c == quote) {
            if (quote == '\'' && i + 1 < n && text[i + 1] == '\'') {
                i += 2;  // '' stands for one quote
                continue;
            }
            return QuotedRegion{style, p + 1, i, i + 1, true};
        } else {
            ++i;
        }
    }
    return QuotedRegion{style, p + 1, n, n, false};
}

// Backtick and raw regions: up to the next closing character, no escapes.
QuotedRegion scan_verbatim(std::string_view text, std::size_t text_begin, char close, QuoteStyle style) {
    const std::size_t n = text.size();
    const void* hit = text_begin < n ? std::memchr(text.data() + text_begin, close, n - text_begin) : nullptr;
    if (hit == nullptr) return QuotedRegion{style, text_begin, n, n, false};
    const auto close_at = static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
    return QuotedRegion{style, text_begin, close_at, close_at + 1, true};
}

}  // namespace

std::optional<QuotedRegion> scan_quoted(std::string_view text, std::size_t p) {
    const std::size_t n = text.size();
    if (p >= n) return std::nullopt;
    const char c = text[p];
    if (c == '\'' || c == '"') {
        const char triple[3] = {c, c, c};
        if (n - p >= 3 && std::memcmp(text.data() + p, triple, 3) == 0) {
            const std::size_t close_at = text.find(std::string_view(triple, 3), p + 3);
            if (close_at != std::string_view::npos) {
                const QuoteStyle style = c == '\'' ? QuoteStyle::TripleSingle : QuoteStyle::TripleDouble;
                return QuotedRegion{style, p + 3, close_at, close_at + 3, true};
            }
        }
        return scan_escaped(text, p, c);
    }
    if (c == '`') return scan_verbatim(text, p + 1, '`', QuoteStyle::Backtick);
    if (c == 'r' && p + 1 < n && (text[p + 1] == '\'' || text[p + 1] == '"')) {
        return scan_verbatim(text, p + 2, text[p + 1], QuoteStyle::Raw);
    }
    return std::nullopt;
}

QuoteStyle quote_style_of(std::string_view lexeme) {
    if (lexeme.empty()) return QuoteStyle::Raw;
    const char first = lexeme.front();
    if (first == 'r') return QuoteStyle::Raw;
    if (first == '`') return QuoteStyle::Backtick;
    const bool single = first == '\'';
    if (lexeme.size() >= 6 && lexeme[1] == first && lexeme[2] == first &&
        lexeme.substr(lexeme.size() - 3) == lexeme.substr(0, 3)) {
        return single ? QuoteStyle::TripleSingle : QuoteStyle::TripleDouble;
    }
    return single ? QuoteStyle::Single : QuoteStyle::Double;
}

std::optional<char> escape_value(char c) {
    switch (c) {
        case '\\': return '\\';
        case 'n': return '\n';
        case 'r': return '\r';
        case 't': return '\t';
        case '"': return '"';
        case '\'': return '\'';
        case '$': return '$';
        default: return std::nullopt;
    }
}

std::expected<std::string, std::size_t> resolve_escapes(QuoteStyle style, std::string_view content) {
    if (!resolves_escapes(style)) return std::string(content);
    const bool single = style == QuoteStyle::Single;
    const bool plain = content.find('\\') == std::string_view::npos &&
                       (!single || content.find("''") == std::string_view::npos);
    if (plain) return std::string(content);
    std::string out;
    out.reserve(content.size());
    for (std::size_t i = 0; i < content.size(); ++i) {
        const char c = content[i];
        if (c == '\\' && i + 1 < content.size()) {
            std::optional<char> value = escape_value(content[i + 1]);
            if (!value) return std::unexpected(i + 1);
            out += *value;
            ++i;
        } else if (single && c == '\'' && i + 1 < content.size() && content[i + 1] == '\'') {
            out += '\'';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace zorv::core
