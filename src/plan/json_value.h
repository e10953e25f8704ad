// The JSON value tree that request bodies are built as before they are written out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace zorv::plan {

class JsonValue;
using JsonArray = std::vector<JsonValue>;
// Keys stay in ascending byte order whatever the order of insertion, which is the order sent to
// the server and shown to Python; a second insertion under the same key replaces the first.
using JsonObject = std::map<std::string, JsonValue, std::less<>>;

class JsonValue {
public:
    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t { Null, Bool, UInt, Int, Float, String, Array, Object };
    using Value =
        std::variant<std::nullptr_t, bool, std::uint64_t, std::int64_t, double, std::string, JsonArray, JsonObject>;

    // One constructor per kind and none from `int`, so a literal never picks a kind by accident.
    JsonValue() = default;
    JsonValue(std::nullptr_t) {}                                                // NOLINT: implicit on purpose
    JsonValue(bool b) : value_(std::in_place_index<1>, b) {}                    // NOLINT
    JsonValue(std::uint64_t n) : value_(std::in_place_index<2>, n) {}           // NOLINT
    JsonValue(std::int64_t n) : value_(std::in_place_index<3>, n) {}            // NOLINT
    JsonValue(double x) : value_(std::in_place_index<4>, x) {}                  // NOLINT
    JsonValue(std::string s) : value_(std::in_place_index<5>, std::move(s)) {}  // NOLINT
    JsonValue(const char* s) : value_(std::in_place_index<5>, s) {}             // NOLINT
    JsonValue(JsonArray a) : value_(std::in_place_index<6>, std::move(a)) {}    // NOLINT
    JsonValue(JsonObject o) : value_(std::in_place_index<7>, std::move(o)) {}   // NOLINT

    Kind kind() const { return static_cast<Kind>(value_.index()); }
    bool is(Kind k) const { return kind() == k; }
    const Value& value() const { return value_; }

    bool as_bool() const { return std::get<1>(value_); }
    std::uint64_t as_uint() const { return std::get<2>(value_); }
    std::int64_t as_int() const { return std::get<3>(value_); }
    double as_float() const { return std::get<4>(value_); }
    const std::string& as_string() const { return std::get<5>(value_); }
    const JsonArray& as_array() const { return std::get<6>(value_); }
    JsonArray& as_array() { return std::get<6>(value_); }
    const JsonObject& as_object() const { return std::get<7>(value_); }
    JsonObject& as_object() { return std::get<7>(value_); }

    friend bool operator==(const JsonValue&, const JsonValue&) = default;

private:
    Value value_;
};

}  // namespace zorv::plan
