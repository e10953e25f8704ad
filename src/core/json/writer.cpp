#include "core/json/writer.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <string_view>

namespace zorv::core {
namespace {

// `value` from its shortest scientific digits, laid out by the exponent range that reads plain.
template <class Float>
void append_float(std::string& out, Float value, int plain_min_exp, int plain_max_exp) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    if (text.front() == '-') {
        out += '-';
        text.remove_prefix(1);
    }
    const std::size_t e = text.find('e');
    std::string_view exp_text = text.substr(e + 1);
    if (exp_text.front() == '+') exp_text.remove_prefix(1);
    int exp = 0;
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp);
    // The significant digits without the point: "1.25e+02" gives "125".
    char digits[32];
    std::size_t n = 0;
    for (char c : text.substr(0, e)) {
        if (c != '.') digits[n++] = c;
    }
    if (exp < plain_min_exp || exp > plain_max_exp) {
        out += digits[0];
        if (n > 1) {
            out += '.';
            out.append(digits + 1, n - 1);
        }
        out += exp < 0 ? "e-" : "e+";
        char ebuf[8];
        auto eres = std::to_chars(ebuf, ebuf + sizeof ebuf, std::abs(exp));
        out.append(ebuf, eres.ptr);
        return;
    }
    if (exp < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exp - 1), '0');
        out.append(digits, n);
        return;
    }
    const auto whole = static_cast<std::size_t>(exp) + 1;
    if (n <= whole) {
        out.append(digits, n);
        out.append(whole - n, '0');
        out += ".0";
    } else {
        out.append(digits, whole);
        out += '.';
        out.append(digits + whole, n - whole);
    }
}

template <class Integer>
void append_integer(std::string& out, Integer value) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, res.ptr);
}

}  // namespace

void append_json_string(std::string& out, std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t run = 0;  // start of the bytes copied as they are
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
        out.append(s.data() + run, i - run);
        run = i + 1;
        switch (byte) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\f': out += "\\f"; break;
            case '\r': out += "\\r"; break;
            default:
                out += "\\u00";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
        }
    }
    out.append(s.data() + run, s.size() - run);
    out += '"';
}

void append_json_f64(std::string& out, double value) { append_float(out, value, -5, 15); }
void append_json_f32(std::string& out, float value) { append_float(out, value, -6, 12); }

void JsonTextWriter::begin_object() {
    separate();
    out_ += '{';
    comma_owed_ = false;
}

void JsonTextWriter::end_object() {
    out_ += '}';
    comma_owed_ = true;
}

void JsonTextWriter::begin_array() {
    separate();
    out_ += '[';
    comma_owed_ = false;
}

void JsonTextWriter::end_array() {
    out_ += ']';
    comma_owed_ = true;
}

void JsonTextWriter::key(std::string_view name) {
    separate();
    append_json_string(out_, name);
    out_ += ':';
    comma_owed_ = false;
}

void JsonTextWriter::null() {
    separate();
    out_ += "null";
    comma_owed_ = true;
}

void JsonTextWriter::boolean(bool value) {
    separate();
    out_ += value ? "true" : "false";
    comma_owed_ = true;
}

void JsonTextWriter::u64(std::uint64_t value) {
    separate();
    append_integer(out_, value);
    comma_owed_ = true;
}

void JsonTextWriter::i64(std::int64_t value) {
    separate();
    append_integer(out_, value);
    comma_owed_ = true;
}

void JsonTextWriter::f64(double value) {
    separate();
    append_json_f64(out_, value);
    comma_owed_ = true;
}

void JsonTextWriter::f32(float value) {
    separate();
    append_json_f32(out_, value);
    comma_owed_ = true;
}

void JsonTextWriter::string(std::string_view value) {
    separate();
    append_json_string(out_, value);
    comma_owed_ = true;
}

}  // namespace zorv::core
