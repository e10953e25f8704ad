#include "core/params/render.h"

#include "core/quoting.h"
#include "core/text.h"

#include <optional>
#include <utility>
#include <vector>

namespace zorv::core {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// Bytes that may appear in a list of numbers.
bool keeps_numeric_mark(char c) {
    return is_digit(c) || is_blank(c) || c == '+' || c == ',' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

std::size_t skip_digits(std::string_view s, std::size_t i) {
    while (i < s.size() && is_digit(s[i])) ++i;
    return i;
}

// [sign] (digits | digits. | .digits | digits.digits) [(e|E) [sign] digits]
bool is_decimal_number(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t int_end = skip_digits(s, i);
    bool has_digits = int_end > i;
    i = int_end;
    if (i < s.size() && s[i] == '.') {
        std::size_t frac_end = skip_digits(s, i + 1);
        has_digits = has_digits || frac_end > i + 1;
        i = frac_end;
    }
    if (!has_digits) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        std::size_t exp_end = skip_digits(s, i);
        if (exp_end == i) return false;
        i = exp_end;
    }
    return i == s.size();
}

std::string_view trim_blanks(std::string_view s) {
    while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
    return s;
}

// The shortened text of a list body (between the brackets), or nullopt when it stays.
std::optional<std::string> shorten_list(std::string_view body, std::size_t keep) {
    std::vector<std::string_view> pieces;
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t comma = body.find(',', start);
        if (comma == std::string_view::npos) comma = body.size();
        std::string_view piece = trim_blanks(body.substr(start, comma - start));
        if (!piece.empty()) {
            if (!is_decimal_number(piece)) return std::nullopt;
            pieces.push_back(piece);
        }
        start = comma + 1;
    }
    if (pieces.size() <= keep) return std::nullopt;
    std::string out = "[";
    for (std::size_t i = 0; i < keep; ++i) {
        if (i > 0) out += ", ";
        out += pieces[i];
    }
    out += ", ... (";
    out += std::to_string(pieces.size());
    out += " dims)]";
    return out;
}

struct OpenBracket {
    std::size_t pos;
    bool numeric;  // nothing but number bytes since the bracket
};

struct Replacement {
    std::size_t start;  // the "["
    std::size_t end;    // just past the "]"
    std::string text;
};

}  // namespace

// Brackets are matched with a stack in one pass. Only a list without nested brackets, quoted
// texts or comments can be shortened, so only the innermost open bracket needs its mark kept:
// opening a bracket clears the mark of the one around it. Shortened lists are therefore
// disjoint, and every other list is left for its inner lists to be examined on their own.
std::string truncate_vector_literals(std::string_view text, std::size_t keep) {
    const std::size_t n = text.size();
    std::vector<OpenBracket> open;
    std::vector<Replacement> replacements;
    auto clear_mark = [&open] {
        if (!open.empty()) open.back().numeric = false;
    };
    std::size_t p = 0;
    while (p < n) {
        // Quoted text (an unclosed quote runs to the end) holds no list to shorten.
        if (auto quoted = scan_quoted(text, p)) {
            clear_mark();
            p = quoted->end;
            continue;
        }
        const char c = text[p];
        if (c == '-' && p + 1 < n && text[p + 1] == '-') {
            clear_mark();
            std::size_t lf = text.find('\n', p);
            p = lf == std::string_view::npos ? n : lf;
            continue;
        }
        if (c == '[') {
            clear_mark();
            if (p + 1 < n) open.push_back({p, true});  // a final "[" starts no list
        } else if (c == ']') {
            if (!open.empty()) {
                OpenBracket list = open.back();
                open.pop_back();
                if (list.numeric) {
                    if (auto shortened = shorten_list(text.substr(list.pos + 1, p - list.pos - 1), keep)) {
                        replacements.push_back({list.pos, p + 1, std::move(*shortened)});
                    }
                }
            }
        } else if (!keeps_numeric_mark(c)) {
            clear_mark();
        }
        ++p;
    }

    std::string out;
    out.reserve(n);
    std::size_t copied = 0;
    for (const auto& r : replacements) {
        out.append(text.substr(copied, r.start - copied));
        out += r.text;
        copied = r.end;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace zorv::core
