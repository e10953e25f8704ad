// Compact JSON text appended straight to one buffer: the lexical rules of request bodies, the
// object state that places commas, the small entry writers and the writer of a whole value tree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "plan/json_value.h"

namespace zorv::plan {

// `s` in double quotes: '"' and '\' escaped, control characters as \b \f \n \r \t or \u00xx,
// every other byte (UTF-8 included) copied.
void write_json_string(std::string& out, std::string_view s);
void write_json_u64(std::string& out, std::uint64_t n);
void write_json_i64(std::string& out, std::int64_t n);
// Shortest text that reads back to the same double, with ".0" on integral values; null when the
// value is NaN or infinite, since JSON has no word for them.
void write_json_f64(std::string& out, double x);
// The same with the shortest 32-bit digits (0.1f is 0.1): sparse vector values only. Dense
// elements are widened and go through `write_json_f64`.
void write_json_f32(std::string& out, float x);

// Compact text of a value tree; object keys come out in their map (ascending) order.
void write_json(std::string& out, const JsonValue& value);
std::string json_text(const JsonValue& value);

// One open object of the text form: "{" on construction, "," before every key but the first,
// and "}" once from `close` (or from the destructor when nobody closed it).
class JsonObjectWriter {
public:
    explicit JsonObjectWriter(std::string& out) : out_(out) { out_ += '{'; }
    ~JsonObjectWriter() { close(); }
    JsonObjectWriter(const JsonObjectWriter&) = delete;
    JsonObjectWriter& operator=(const JsonObjectWriter&) = delete;

    // Writes the separator, the escaped key and ":"; the caller appends the value next.
    std::string& key(std::string_view name);
    void close() {
        if (!close_owed_) return;
        out_ += '}';
        close_owed_ = false;
    }
    bool empty() const { return empty_; }
    std::string& out() { return out_; }

private:
    std::string& out_;
    bool empty_ = true;
    bool close_owed_ = true;
};

// Entry writers: separator, key, ":" and the value.
void write_opt_string_entry(JsonObjectWriter& obj, std::string_view key, const std::optional<std::string>& value);
void write_f64_entry(JsonObjectWriter& obj, std::string_view key, double value);
void write_u64_entry(JsonObjectWriter& obj, std::string_view key, std::uint64_t value);
void write_str_entry(JsonObjectWriter& obj, std::string_view key, const std::string& value);
void write_str_entry_ref(JsonObjectWriter& obj, std::string_view key, std::string_view value);

}  // namespace zorv::plan
