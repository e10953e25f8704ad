#include "plan/json_write.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <string_view>
#include <system_error>
#include <variant>

#include "core/overloaded.h"

namespace zorv::plan {
namespace {

template <class Number>
void append_chars(std::string& out, Number n) {
    char buf[32];
    auto res = std::to_chars(buf, buf + sizeof buf, n);
    out.append(buf, res.ptr);
}

// Shortest round-trip digits, plus ".0" when they read as an integer, so the server sees a float.
template <class Float>
void append_float(std::string& out, Float x) {
    if (!std::isfinite(x)) {
        out += "null";
        return;
    }
    // Digits go straight into the output (no fill, no copy): vectors make this the hottest call
    // of a bulk upsert.
    constexpr std::size_t kMaxChars = 34;  // 24 for any double, 2 for ".0", slack
    const std::size_t at = out.size();
    out.resize_and_overwrite(at + kMaxChars, [at, x](char* data, std::size_t size) {
        char* const begin = data + at;
        char* end = std::to_chars(begin, data + size, x).ptr;
        // The point, when there is one, comes within the first few characters.
        for (const char* p = begin; p != end; ++p) {
            if (*p == '.' || *p == 'e') return static_cast<std::size_t>(end - data);
        }
        *end++ = '.';
        *end++ = '0';
        return static_cast<std::size_t>(end - data);
    });
}

}  // namespace

void write_json_string(std::string& out, std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (char c : s) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void write_json_u64(std::string& out, std::uint64_t n) { append_chars(out, n); }
void write_json_i64(std::string& out, std::int64_t n) { append_chars(out, n); }
void write_json_f64(std::string& out, double x) { append_float(out, x); }
void write_json_f32(std::string& out, float x) { append_float(out, x); }

void write_json(std::string& out, const JsonValue& value) {
    std::visit(core::Overloaded{
                   [&](std::nullptr_t) { out += "null"; },
                   [&](bool b) { out += b ? "true" : "false"; },
                   [&](std::uint64_t n) { write_json_u64(out, n); },
                   [&](std::int64_t n) { write_json_i64(out, n); },
                   [&](double x) { write_json_f64(out, x); },
                   [&](const std::string& s) { write_json_string(out, s); },
                   [&](const JsonArray& items) {
                       out += '[';
                       for (std::size_t i = 0; i < items.size(); ++i) {
                           if (i > 0) out += ',';
                           write_json(out, items[i]);
                       }
                       out += ']';
                   },
                   [&](const JsonObject& entries) {
                       JsonObjectWriter obj(out);
                       for (const auto& [name, item] : entries) write_json(obj.key(name), item);
                   },
               },
               value.value());
}

std::string json_text(const JsonValue& value) {
    std::string out;
    write_json(out, value);
    return out;
}

std::string& JsonObjectWriter::key(std::string_view name) {
    if (!empty_) out_ += ',';
    empty_ = false;
    write_json_string(out_, name);
    out_ += ':';
    return out_;
}

void write_opt_string_entry(JsonObjectWriter& obj, std::string_view key, const std::optional<std::string>& value) {
    std::string& out = obj.key(key);
    if (value) {
        write_json_string(out, *value);
    } else {
        out += "null";
    }
}

void write_f64_entry(JsonObjectWriter& obj, std::string_view key, double value) { write_json_f64(obj.key(key), value); }

void write_u64_entry(JsonObjectWriter& obj, std::string_view key, std::uint64_t value) {
    write_json_u64(obj.key(key), value);
}

void write_str_entry(JsonObjectWriter& obj, std::string_view key, const std::string& value) {
    write_json_string(obj.key(key), value);
}

void write_str_entry_ref(JsonObjectWriter& obj, std::string_view key, std::string_view value) {
    write_json_string(obj.key(key), value);
}

}  // namespace zorv::plan
