#include "core/fmt/sink.h"

#include <cmath>
#include <cstdio>

#include "core/fmt/values.h"

namespace zorv::core {
namespace {

// The shortest round-trip digits written out without an exponent. The fixed format of
// to_chars would print large values with their exact binary digits (1e23 as
// 99999999999999991611392), so the digits come from the scientific form and are placed here.
template <class F>
void append_positional_shortest(std::string& out, F value) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string_view sci(buf, static_cast<std::size_t>(res.ptr - buf));
    if (sci.front() == '-') {
        out += '-';
        sci.remove_prefix(1);
    }
    const std::size_t e_pos = sci.find('e');
    char digit_buf[64];
    std::size_t digit_count = 0;
    for (char c : sci.substr(0, e_pos)) {
        if (c != '.') digit_buf[digit_count++] = c;
    }
    const std::string_view digits(digit_buf, digit_count);
    int exponent = 0;
    std::string_view exp_text = sci.substr(e_pos + 1);
    if (exp_text.front() == '+') exp_text.remove_prefix(1);
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);

    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return;
    }
    const auto int_digits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= int_digits) {
        out += digits;
        out.append(int_digits - digits.size(), '0');
        out += ".0";  // positional digits without a fraction still print as a float
        return;
    }
    out += digits.substr(0, int_digits);
    out += '.';
    out += digits.substr(int_digits);
}

// Non-finite values print with the ".0" suffix too, so that every float text carries one.
template <class F>
void append_float(std::string& out, F value, F integral_limit) {
    if (std::isnan(value)) {
        out += "NaN.0";
    } else if (std::isinf(value)) {
        out += value < 0 ? "-inf.0" : "inf.0";
    } else if (std::fabs(value) < integral_limit && value == std::trunc(value)) {
        char buf[48];
        int n = std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(value));
        out.append(buf, static_cast<std::size_t>(n));
    } else {
        append_positional_shortest(out, value);
    }
}

}  // namespace

TextSink& TextSink::identifier(std::string_view name) {
    if (is_plain_identifier(name)) return text(name);
    return quoted(name);
}

TextSink& TextSink::escaped(std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '\\': out_ += "\\\\"; break;
            case '\'': out_ += "\\'"; break;
            case '\n': out_ += "\\n"; break;
            case '\r': out_ += "\\r"; break;
            case '\t': out_ += "\\t"; break;
            case '\0': break;  // no escape reads back as NUL
            default: out_ += c;
        }
    }
    return *this;
}

TextSink& TextSink::quoted(std::string_view text) {
    out_ += '\'';
    escaped(text);
    out_ += '\'';
    return *this;
}

TextSink& TextSink::f64(double value) {
    append_float<double>(out_, value, 1e15);
    return *this;
}

TextSink& TextSink::f32(float value) {
    append_float<float>(out_, value, 1e7f);
    return *this;
}

TextSink& TextSink::part_break() {
    if (one_line_depth_ == 0) breaks_.push_back(out_.size());
    out_ += ' ';
    return *this;
}

void TextSink::lay_out(Layout layout) {
    if (layout == Layout::PartPerLine) {
        for (std::size_t at : breaks_) out_[at] = '\n';
    }
    breaks_.clear();
}

}  // namespace zorv::core
