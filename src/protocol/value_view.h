// One read-only view over a JSON-like value, so that the settings readers are written once and
// read both server JSON and Python objects. An adaptor is a small copyable handle offering:
//   kind()                                   which of the ValueKind shapes the value has
//   as_bool(), as_uint(), as_int(),          the scalar, valid only for the matching kind
//   as_float(), as_string()
//   array_size()                             element count of an Array
//   for_each_member(f)                       f(std::string_view key, View value) -> bool, for the
//                                            members of an Object in their order; f returning
//                                            false stops; the call returns false when it stopped
//                                            early or the adaptor could not list a member
//   for_each_element(f)                      f(View value) -> bool, the same over an Array
#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace zorv::protocol {

enum class ValueKind : std::uint8_t {
    Null,
    Bool,
    UInt,   // an integer from 0 to 2^64-1
    Int,    // a negative integer from -2^63
    Float,  // a number written with a fraction or exponent
    String,
    Array,
    Object,
    Other,  // anything without a JSON form (an integer out of range, a foreign object)
};

namespace detail {
struct MemberSink {
    template <class V>
    bool operator()(std::string_view /*key*/, const V& /*value*/) const {
        return true;
    }
};
struct ElementSink {
    template <class V>
    bool operator()(const V& /*value*/) const {
        return true;
    }
};
}  // namespace detail

template <class V>
concept ValueView = std::copyable<V> && requires(const V& v) {
    { v.kind() } -> std::same_as<ValueKind>;
    { v.as_bool() } -> std::same_as<bool>;
    { v.as_uint() } -> std::same_as<std::uint64_t>;
    { v.as_int() } -> std::same_as<std::int64_t>;
    { v.as_float() } -> std::same_as<double>;
    { v.as_string() } -> std::same_as<std::string_view>;
    { v.array_size() } -> std::same_as<std::size_t>;
    { v.for_each_member(detail::MemberSink{}) } -> std::same_as<bool>;
    { v.for_each_element(detail::ElementSink{}) } -> std::same_as<bool>;
};

// A reader's failure: the detail text alone. Where the failure surfaces (the Python readers) it
// becomes part of the caller's own message; the server-JSON readers drop it.
template <class T>
using ReadResult = std::expected<T, std::string>;

inline std::unexpected<std::string> read_failure(std::string text) { return std::unexpected(std::move(text)); }

// Shortest round-trip text, with ".0" added to a whole number: "16.0", "0.99", "1e+300".
inline std::string float_text(double value) {
    char buffer[32];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, ec == std::errc() ? end : buffer);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    return text;
}

// The found value as failure texts name it: "boolean `true`", "integer `-1`", "string \"x\"".
template <ValueView V>
std::string describe_value(const V& value) {
    switch (value.kind()) {
        case ValueKind::Null: return "null";
        case ValueKind::Bool: return value.as_bool() ? "boolean `true`" : "boolean `false`";
        case ValueKind::UInt: return "integer `" + std::to_string(value.as_uint()) + "`";
        case ValueKind::Int: return "integer `" + std::to_string(value.as_int()) + "`";
        case ValueKind::Float: return "floating point `" + float_text(value.as_float()) + "`";
        case ValueKind::String: return "string \"" + std::string(value.as_string()) + "\"";
        case ValueKind::Array: return "sequence";
        case ValueKind::Object: return "map";
        case ValueKind::Other: break;
    }
    return "a value without a JSON form";
}

template <ValueView V>
std::unexpected<std::string> invalid_type(const V& value, std::string_view expected) {
    return read_failure("invalid type: " + describe_value(value) + ", expected " + std::string(expected));
}

}  // namespace zorv::protocol
