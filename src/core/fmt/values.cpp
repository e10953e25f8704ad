#include "core/fmt/values.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace zorv::core {
namespace {

bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

// The shortest round-trip digits written out without an exponent. The fixed format of
// to_chars would print large values with their exact binary digits (1e23 as
// 99999999999999991611392), so the digits come from the scientific form and are placed here.
template <class F>
std::string positional_shortest(F value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    std::string out;
    if (sci.front() == '-') {
        out += '-';
        sci.remove_prefix(1);
    }
    const std::size_t e_pos = sci.find('e');
    std::string digits;
    for (char c : sci.substr(0, e_pos)) {
        if (c != '.') digits += c;
    }
    int exponent = 0;
    std::string_view exp_text = sci.substr(e_pos + 1);
    if (exp_text.front() == '+') exp_text.remove_prefix(1);
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);

    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return out;
    }
    const auto int_digits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= int_digits) {
        out += digits;
        out.append(int_digits - digits.size(), '0');
        return out;
    }
    out += std::string_view(digits).substr(0, int_digits);
    out += '.';
    out += std::string_view(digits).substr(int_digits);
    return out;
}

// Non-finite values print with the ".0" suffix too, so that every float text carries one.
template <class F>
std::string format_float(F value, F integral_limit) {
    if (std::isnan(value)) return "NaN.0";
    if (std::isinf(value)) return value < 0 ? "-inf.0" : "inf.0";
    if (std::fabs(value) < integral_limit && value == std::trunc(value)) {
        char buf[48];
        int n = std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(value));
        return std::string(buf, static_cast<std::size_t>(n));
    }
    std::string out = positional_shortest(value);
    if (out.find_first_of(".eE") == std::string::npos) out += ".0";
    return out;
}

}  // namespace

std::string join_texts(const std::vector<std::string>& items, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += separator;
        out += items[i];
    }
    return out;
}

bool is_plain_identifier(std::string_view text) {
    if (text.empty()) return false;
    if (!is_ascii_letter(text.front()) && text.front() != '_') return false;
    for (char c : text.substr(1)) {
        if (!is_ascii_letter(c) && !is_ascii_digit(c) && c != '_') return false;
    }
    return true;
}

std::string escape_string_literal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\'': out += "\\'"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': break;  // no escape reads back as NUL
            default: out += c;
        }
    }
    return out;
}

std::string quote_string(std::string_view text) {
    std::string out = "'";
    out += escape_string_literal(text);
    out += '\'';
    return out;
}

std::string format_identifier(std::string_view name) {
    if (is_plain_identifier(name)) return std::string(name);
    return quote_string(name);
}

std::string format_f64(double value) { return format_float<double>(value, 1e15); }

std::string format_f32(float value) { return format_float<float>(value, 1e7f); }

void format_literal_into(std::string& out, const Literal& literal) {
    switch (literal.kind()) {
        case Literal::Kind::Str: out += quote_string(literal.as_str()); return;
        case Literal::Kind::Int: out += std::to_string(literal.as_int()); return;
        case Literal::Kind::UInt: out += std::to_string(literal.as_uint()); return;
        case Literal::Kind::Float: out += format_f64(literal.as_float()); return;
        case Literal::Kind::Bool: out += literal.as_bool() ? "true" : "false"; return;
        case Literal::Kind::Null: out += "null"; return;
        case Literal::Kind::Dict: {
            out += '{';
            bool first = true;
            for (const auto& [key, value] : literal.as_dict()) {
                if (!first) out += ", ";
                first = false;
                out += format_identifier(key);
                out += ": ";
                format_literal_into(out, value);
            }
            out += '}';
            return;
        }
        case Literal::Kind::List: {
            out += '[';
            bool first = true;
            for (const auto& item : literal.as_list()) {
                if (!first) out += ", ";
                first = false;
                format_literal_into(out, item);
            }
            out += ']';
            return;
        }
        case Literal::Kind::F32Array:
            out += '[';
            out += join_mapped(literal.as_f32_array(), ", ", format_f32);
            out += ']';
            return;
        case Literal::Kind::Param:
        case Literal::Kind::PositionalParam: out += format_placeholder(literal.as_placeholder()); return;
    }
}

std::string format_literal(const Literal& literal) {
    std::string out;
    format_literal_into(out, literal);
    return out;
}

std::string format_point_id(const PointId& id) {
    switch (id.kind()) {
        case PointId::Kind::Number: return std::to_string(std::get<std::uint64_t>(id.value));
        case PointId::Kind::String: return quote_string(std::get<std::string>(id.value));
        case PointId::Kind::Param:
        case PointId::Kind::PositionalParam: return format_placeholder(std::get<Placeholder>(id.value));
    }
    return "?";
}

std::string format_shard_key(const ShardKey& key) {
    switch (key.kind()) {
        case ShardKey::Kind::Keyword: return quote_string(std::get<std::string>(key.value));
        case ShardKey::Kind::Number: return std::to_string(std::get<std::uint64_t>(key.value));
        case ShardKey::Kind::Param:
        case ShardKey::Kind::PositionalParam: return format_placeholder(std::get<Placeholder>(key.value));
    }
    return "?";
}

std::string shard_key_display(const ShardKey& key) { return format_shard_key(key); }

std::string format_placeholder(const Placeholder& placeholder) {
    return placeholder.is_named() ? ":" + placeholder.name : "?";
}

}  // namespace zorv::core
