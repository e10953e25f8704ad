#include "core/params/text.h"

#include <cmath>
#include <optional>
#include <utility>

#include "core/diagnostics.h"
#include "core/fmt/sink.h"
#include "core/fmt/values.h"
#include "core/params/ast.h"
#include "core/params/render.h"
#include "core/params/scan.h"
#include "core/text.h"

namespace zorv::core {
namespace {

Result<void> non_finite(double value) {
    return fail(Diag::BindTypeMismatch, "cannot bind non-finite float value '" + float_debug(value) + "'");
}

// The printer drops NUL from strings; binding must not change a value silently, so it refuses.
Result<void> check_no_nul(std::string_view text) {
    if (text.find('\0') != std::string_view::npos) {
        return fail(Diag::BindTypeMismatch, "cannot bind a string containing U+0000; remove the NUL character");
    }
    return {};
}

Result<void> render_into(std::string& out, const Literal& value) {
    switch (value.kind()) {
        case Literal::Kind::Str:
            ZORV_CHECK(check_no_nul(value.as_str()));
            out += '\'';
            out += escape_string_literal(value.as_str());
            out += '\'';
            return {};
        case Literal::Kind::Int: out += std::to_string(value.as_int()); return {};
        case Literal::Kind::UInt: out += std::to_string(value.as_uint()); return {};
        case Literal::Kind::Float:
            if (!std::isfinite(value.as_float())) return non_finite(value.as_float());
            out += float_debug(value.as_float());
            return {};
        case Literal::Kind::Bool: out += value.as_bool() ? "true" : "false"; return {};
        case Literal::Kind::Null: out += "null"; return {};
        case Literal::Kind::Dict: {
            out += '{';
            bool first = true;
            for (const LiteralEntry& entry : value.as_dict()) {
                if (!first) out += ", ";
                first = false;
                ZORV_CHECK(check_no_nul(entry.first));
                out += is_plain_identifier(entry.first) ? entry.first : quote_string(entry.first);
                out += ": ";
                ZORV_CHECK(render_into(out, entry.second));
            }
            out += '}';
            return {};
        }
        case Literal::Kind::List: {
            out += '[';
            bool first = true;
            for (const Literal& item : value.as_list()) {
                if (!first) out += ", ";
                first = false;
                ZORV_CHECK(render_into(out, item));
            }
            out += ']';
            return {};
        }
        case Literal::Kind::F32Array: {
            const auto& items = value.as_f32_array();
            out.reserve(out.size() + items.size() * 13 + 2);
            out += '[';
            bool first = true;
            TextSink sink(out);  // writes in place: no string per item
            for (float item : items) {
                if (!std::isfinite(item)) return non_finite(item);
                if (!first) out += ", ";
                first = false;
                sink.f32(item);
            }
            out += ']';
            return {};
        }
        case Literal::Kind::Param: out += ":" + value.as_param().name; return {};
        case Literal::Kind::PositionalParam: out += '?'; return {};
    }
    return {};
}

// A minus sign before a negative value would read as a comment: keep them apart.
void splice(std::string& out, const std::string& rendered) {
    if (!rendered.empty() && rendered.front() == '-' && !out.empty() && out.back() == '-') out += ' ';
    out += rendered;
}

bool is_name_start(char c) { return is_ascii_letter(c) || c == '_'; }
bool is_name_part(char c) { return is_name_start(c) || is_digit(c); }

// Whether the colon at `i` opens a ":name": not glued to a word, number, quote, bracket or brace
// before it, and a letter or underscore after it.
bool opens_named(std::string_view text, std::size_t i) {
    if (i + 1 >= text.size() || !is_name_start(text[i + 1])) return false;
    if (i == 0) return true;
    const char before = text[i - 1];
    if (is_ascii_letter(before) || is_digit(before)) return false;
    switch (before) {
        case '"':
        case '$':
        case '\'':
        case ']':
        case '_':
        case '`':
        case '}': return false;
        default: return true;
    }
}

// The end of the name that starts at `i`: a dot continues it only before a letter or underscore.
std::size_t name_end(std::string_view text, std::size_t i) {
    for (;;) {
        while (i < text.size() && is_name_part(text[i])) ++i;
        if (i + 1 < text.size() && text[i] == '.' && is_name_start(text[i + 1])) {
            ++i;
            continue;
        }
        return i;
    }
}

// Steps over quoted regions and "--" comments; returns the next position to look at, or nullopt
// when the byte at `i` is an ordinary one.
std::optional<std::size_t> skip_region(std::string_view text, std::size_t i) {
    if (std::optional<std::size_t> end = scan_placeholder_text(text, i)) return end;
    if (text[i] == '-' && i + 1 < text.size() && text[i + 1] == '-') {
        const std::size_t lf = text.find('\n', i);
        return lf == std::string_view::npos ? text.size() : lf;
    }
    return std::nullopt;
}

Result<std::string> bind_named_text(std::string_view text, const FlatParams& map) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::optional<std::size_t> next = skip_region(text, i)) {
            i = *next;
            continue;
        }
        const char c = text[i];
        if (c == '?') {
            return fail(Diag::BindMixedStyle,
                        "query contains positional placeholder '?' \xE2\x80\x94 use bind_positional / "
                        "execute_with_positional_params instead of named parameter binding",
                        Span{i, i + 1});
        }
        if (c != ':' || !opens_named(text, i)) {
            ++i;
            continue;
        }
        const std::size_t end = name_end(text, i + 1);
        const std::string_view name = text.substr(i + 1, end - i - 1);
        const Span span{i, end};
        auto found = map.find(name);
        if (found == map.end()) {
            return fail(Diag::BindMissingParam, "missing value for named parameter ':" + std::string(name) + "'", span);
        }
        if (found->second.is(Literal::Kind::Null)) {
            return fail(Diag::BindNullParam,
                        "parameter ':" + std::string(name) +
                            "' is null; ZORV cannot bind null \xE2\x80\x94 pass a concrete value or remove the "
                            "placeholder",
                        span);
        }
        const std::string rendered = ZORV_TRY(render_literal(found->second));
        out.append(text.substr(copied, i - copied));
        splice(out, rendered);
        copied = end;
        i = end;
    }
    out.append(text.substr(copied));
    return out;
}

}  // namespace

Result<std::string> render_literal(const Literal& value) {
    std::string out;
    ZORV_CHECK(render_into(out, value));
    return out;
}

Result<std::string> bind_positional_text(std::string_view text, const LiteralList& items) {
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    std::size_t used = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (std::optional<std::size_t> next = skip_region(text, i)) {
            i = *next;
            continue;
        }
        const char c = text[i];
        if (c == ':' && opens_named(text, i)) {
            return fail(Diag::BindMixedStyle,
                        "query contains named placeholder ':name' \xE2\x80\x94 use bind_named / execute_with_params "
                        "instead of positional parameter binding",
                        Span{i, i + 2});
        }
        if (c != '?') {
            ++i;
            continue;
        }
        const Span span{i, i + 1};
        if (used >= items.size()) {
            return fail(Diag::BindMissingParam,
                        "missing value for positional parameter ?" + std::to_string(used + 1) + " (only " +
                            std::to_string(items.size()) + " parameter(s) provided)",
                        span);
        }
        if (items[used].is(Literal::Kind::Null)) {
            return fail(Diag::BindNullParam,
                        "positional parameter ?" + std::to_string(used + 1) +
                            " is null; ZORV cannot bind null \xE2\x80\x94 pass a concrete value or remove the "
                            "placeholder",
                        span);
        }
        const std::string rendered = ZORV_TRY(render_literal(items[used]));
        out.append(text.substr(copied, i - copied));
        splice(out, rendered);
        ++used;
        copied = i + 1;
        i = copied;
    }
    out.append(text.substr(copied));
    if (used < items.size()) {
        if (used == 0) {
            return fail(Diag::BindUnusedParams, "no '?' placeholders found in query, but " +
                                                    std::to_string(items.size()) +
                                                    " positional parameters were supplied");
        }
        return fail(Diag::BindUnusedParams, "too many positional parameters provided: bound " + std::to_string(used) +
                                                ", but " + std::to_string(items.size()) + " were supplied");
    }
    return out;
}

Result<std::string> bind_text_params(std::string_view text, const Literal& params, bool truncate_vectors) {
    std::string bound;
    if (params.is(Literal::Kind::Dict)) {
        FlatParams map;
        ZORV_CHECK(flatten_params(params.as_dict(), "", map));
        bound = ZORV_TRY(bind_named_text(text, map));
    } else if (params.is(Literal::Kind::List)) {
        bound = ZORV_TRY(bind_positional_text(text, params.as_list()));
    } else {
        return fail(Diag::BindInvalidParams,
                    "params must be an object for named parameters (:name) or an array for positional parameters (?)");
    }
    if (truncate_vectors) return truncate_vector_literals(bound, 2);
    return bound;
}

}  // namespace zorv::core
