// A small JSON reader for tests: reads compact body text back into a value tree, so that the
// text form can be compared with the value form whatever its key order. Integers without a sign
// read as UInt, negative ones as Int, anything with a fraction or exponent as Float.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "plan/json_value.h"
#include "plan/json_write.h"

namespace zorv::plan::test_support {

class JsonReader {
public:
    explicit JsonReader(std::string_view text) : text_(text) {}

    // nullopt on malformed text or trailing characters.
    std::optional<JsonValue> read_document() {
        auto value = read();
        if (!value || pos_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    bool eat(char c) {
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool eat_word(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    std::optional<JsonValue> read() {
        if (pos_ >= text_.size()) return std::nullopt;
        const char c = text_[pos_];
        if (c == '{') return read_object();
        if (c == '[') return read_array();
        if (c == '"') {
            auto s = read_string();
            if (!s) return std::nullopt;
            return JsonValue(std::move(*s));
        }
        if (eat_word("null")) return JsonValue(nullptr);
        if (eat_word("true")) return JsonValue(true);
        if (eat_word("false")) return JsonValue(false);
        return read_number();
    }

    std::optional<JsonValue> read_object() {
        ++pos_;
        JsonObject object;
        if (eat('}')) return JsonValue(std::move(object));
        do {
            auto key = read_string();
            if (!key || !eat(':')) return std::nullopt;
            auto value = read();
            if (!value) return std::nullopt;
            object.insert_or_assign(std::move(*key), std::move(*value));
        } while (eat(','));
        if (!eat('}')) return std::nullopt;
        return JsonValue(std::move(object));
    }

    std::optional<JsonValue> read_array() {
        ++pos_;
        JsonArray array;
        if (eat(']')) return JsonValue(std::move(array));
        do {
            auto value = read();
            if (!value) return std::nullopt;
            array.push_back(std::move(*value));
        } while (eat(','));
        if (!eat(']')) return std::nullopt;
        return JsonValue(std::move(array));
    }

    // Short escapes only: the writers under test never emit \u escapes above 0x1f.
    std::optional<std::string> read_string() {
        if (!eat('"')) return std::nullopt;
        std::string out;
        while (pos_ < text_.size() && text_[pos_] != '"') {
            char c = text_[pos_++];
            if (c == '\\') {
                if (pos_ >= text_.size()) return std::nullopt;
                const char e = text_[pos_++];
                switch (e) {
                    case 'n': c = '\n'; break;
                    case 't': c = '\t'; break;
                    case 'r': c = '\r'; break;
                    case 'b': c = '\b'; break;
                    case 'f': c = '\f'; break;
                    case 'u': {
                        unsigned code = 0;
                        auto res = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, code, 16);
                        if (res.ec != std::errc()) return std::nullopt;
                        pos_ += 4;
                        c = static_cast<char>(code);
                        break;
                    }
                    default: c = e; break;
                }
            }
            out += c;
        }
        if (!eat('"')) return std::nullopt;
        return out;
    }

    std::optional<JsonValue> read_number() {
        const std::size_t start = pos_;
        while (pos_ < text_.size() && std::string_view("+-0123456789.eE").find(text_[pos_]) != std::string_view::npos)
            ++pos_;
        const std::string_view number = text_.substr(start, pos_ - start);
        if (number.empty()) return std::nullopt;
        const char* first = number.data();
        const char* last = first + number.size();
        if (number.find_first_of(".eE") != std::string_view::npos) {
            double x = 0;
            if (std::from_chars(first, last, x).ptr != last) return std::nullopt;
            return JsonValue(x);
        }
        if (number.front() == '-') {
            std::int64_t n = 0;
            if (std::from_chars(first, last, n).ptr != last) return std::nullopt;
            return JsonValue(n);
        }
        std::uint64_t n = 0;
        if (std::from_chars(first, last, n).ptr != last) return std::nullopt;
        return JsonValue(n);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

inline std::optional<JsonValue> read_json(std::string_view text) { return JsonReader(text).read_document(); }

// The text read back and written out again with sorted keys: equal to `json_text` of the value
// form when both hold the same document (integers compare by value, whatever their sign kind).
inline std::string reread(std::string_view text) {
    auto value = read_json(text);
    return value ? json_text(*value) : "<malformed: " + std::string(text) + ">";
}

}  // namespace zorv::plan::test_support
