#include "core/ast/literal.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace zorv::core {
namespace {

struct CodeRange {
    char32_t first;
    char32_t last;
};

// Separators, format and private-use characters, and the planes with nothing assigned: written
// as \u{...} so that a message never carries invisible or layout-changing characters.
constexpr CodeRange hidden_ranges[] = {
    {0x7F, 0xA0},       {0xAD, 0xAD},       {0x600, 0x605},      {0x61C, 0x61C},     {0x6DD, 0x6DD},
    {0x70F, 0x70F},     {0x890, 0x891},     {0x8E2, 0x8E2},      {0x1680, 0x1680},   {0x180E, 0x180E},
    {0x2000, 0x200F},   {0x2028, 0x202F},   {0x205F, 0x2064},    {0x2066, 0x206F},   {0x3000, 0x3000},
    {0xD800, 0xF8FF},   {0xFDD0, 0xFDEF},   {0xFEFF, 0xFEFF},    {0xFFF9, 0xFFFB},   {0xFFFE, 0xFFFF},
    {0x110BD, 0x110BD}, {0x110CD, 0x110CD}, {0x13430, 0x1343F},  {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
    {0x40000, 0xDFFFF}, {0xE0000, 0xE00FF}, {0xF0000, 0x10FFFF},
};

bool is_hidden(char32_t c) {
    if (c < 0x20) return true;
    if ((c & 0xFFFE) == 0xFFFE) return true;  // the last two code points of every plane
    for (const CodeRange& range : hidden_ranges) {
        if (c >= range.first && c <= range.last) return true;
    }
    return false;
}

// One UTF-8 character at `i`; an invalid sequence reads as U+FFFD over one byte.
char32_t decode_utf8(std::string_view s, std::size_t& i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char lead = byte(i);
    std::size_t len = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t c = len == 1 ? lead : lead & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    i += len;
    return c;
}

void append_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void append_quoted(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = decode_utf8(text, i);
        switch (c) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\t': out += "\\t"; continue;
            case '\r': out += "\\r"; continue;
            case '\n': out += "\\n"; continue;
            case '\0': out += "\\0"; continue;
            default: break;
        }
        if (is_hidden(c)) {
            char buf[16];
            int n = std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned>(c));
            out.append(buf, static_cast<std::size_t>(n));
        } else {
            append_utf8(out, c);
        }
    }
    out += '"';
}

// Shortest round-trip text; plain decimals with a fractional digit in [1e-4, 1e16), exponent
// form ("1e16", "1.5e-5") outside, as the debug texts of other tools print floats.
template <class F>
std::string float_text(F value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    char buf[64];
    const F magnitude = std::fabs(value);
    if (magnitude != 0 && (magnitude >= F(1e16) || magnitude < F(1e-4))) {
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
        std::string_view text(buf, static_cast<std::size_t>(end - buf));
        std::size_t e = text.find('e');
        std::string out(text.substr(0, e));
        out += 'e';
        std::size_t digits = e + 1;
        if (text[digits] == '-') out += '-';
        if (text[digits] == '+' || text[digits] == '-') ++digits;
        while (digits + 1 < text.size() && text[digits] == '0') ++digits;
        out += text.substr(digits);
        return out;
    }
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed);
    std::string out(buf, end);
    if (out.find('.') == std::string::npos) out += ".0";
    return out;
}

void append_span(std::string& out, const SourceSpan& span) {
    if (span) {
        out += "Some(";
        out += span_debug(*span);
        out += ')';
    } else {
        out += "None";
    }
}

void append_debug(std::string& out, const Literal& literal);

void append_list(std::string& out, const LiteralList& items) {
    out += "List([";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ", ";
        append_debug(out, items[i]);
    }
    out += "])";
}

void append_dict(std::string& out, const LiteralDict& entries) {
    out += "Dict([";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) out += ", ";
        out += '(';
        append_quoted(out, entries[i].first);
        out += ", ";
        append_debug(out, entries[i].second);
        out += ')';
    }
    out += "])";
}

void append_f32_array(std::string& out, const F32Array& values) {
    out += "F32Array([";
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) out += ", ";
        out += float_text(values[i]);
    }
    out += "])";
}

void append_debug(std::string& out, const Literal& literal) {
    switch (literal.kind()) {
        case Literal::Kind::Str:
            out += "Str(";
            append_quoted(out, literal.as_str());
            out += ')';
            return;
        case Literal::Kind::Int: out += "Int(" + std::to_string(literal.as_int()) + ")"; return;
        case Literal::Kind::UInt: out += "UInt(" + std::to_string(literal.as_uint()) + ")"; return;
        case Literal::Kind::Float: out += "Float(" + float_text(literal.as_float()) + ")"; return;
        case Literal::Kind::Bool: out += literal.as_bool() ? "Bool(true)" : "Bool(false)"; return;
        case Literal::Kind::Null: out += "Null"; return;
        case Literal::Kind::Dict: append_dict(out, literal.as_dict()); return;
        case Literal::Kind::List: append_list(out, literal.as_list()); return;
        case Literal::Kind::F32Array: append_f32_array(out, literal.as_f32_array()); return;
        case Literal::Kind::Param:
            out += "Param(";
            append_quoted(out, literal.as_param().name);
            out += ", ";
            append_span(out, literal.as_param().span);
            out += ')';
            return;
        case Literal::Kind::PositionalParam:
            out += "PositionalParam(" + std::to_string(literal.as_positional().index) + ", ";
            append_span(out, literal.as_positional().span);
            out += ')';
            return;
    }
}

}  // namespace

std::string literal_debug(const Literal& literal) {
    std::string out;
    append_debug(out, literal);
    return out;
}

std::string float_debug(double value) { return float_text(value); }

std::string_view order_direction_name(OrderDirection d) { return d == OrderDirection::Asc ? "Asc" : "Desc"; }

std::string_view vector_kind_name(VectorKind k) { return k == VectorKind::Dense ? "Dense" : "Sparse"; }

std::string_view update_mode_name(UpdateMode m) {
    switch (m) {
        case UpdateMode::InsertOnly: return "InsertOnly";
        case UpdateMode::UpdateOnly: return "UpdateOnly";
        case UpdateMode::Upsert: return "Upsert";
    }
    return "Upsert";
}

}  // namespace zorv::core
