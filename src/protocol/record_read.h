// The record rules every settings reader follows, over any ValueView: a record is an object whose
// keys name fields (unknown keys ignored, null meaning absent for an optional field) or an array
// holding exactly one element per field in declared order; anything else, and the first field of
// the wrong type, makes the whole record unreadable.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "protocol/value_view.h"

namespace zorv::protocol {

struct FieldSpec {
    std::string_view name;
    bool required = false;
};

template <ValueView V>
ReadResult<std::uint64_t> read_u64(const V& value) {
    if (value.kind() == ValueKind::UInt) return value.as_uint();
    if (value.kind() == ValueKind::Int)
        return read_failure("invalid value: " + describe_value(value) + ", expected u64");
    return invalid_type(value, "u64");
}

// Any number; integers are converted.
template <ValueView V>
ReadResult<double> read_f64(const V& value) {
    switch (value.kind()) {
        case ValueKind::UInt: return static_cast<double>(value.as_uint());
        case ValueKind::Int: return static_cast<double>(value.as_int());
        case ValueKind::Float: return value.as_float();
        default: return invalid_type(value, "f64");
    }
}

template <ValueView V>
ReadResult<bool> read_bool(const V& value) {
    if (value.kind() == ValueKind::Bool) return value.as_bool();
    return invalid_type(value, "a boolean");
}

template <ValueView V>
ReadResult<std::string> read_text(const V& value) {
    if (value.kind() == ValueKind::String) return std::string(value.as_string());
    return invalid_type(value, "a string");
}

// Moves a read value into its field, or hands the failure on.
template <class T, class U>
ReadResult<void> store(T& slot, ReadResult<U> read) {
    if (!read) return std::unexpected(std::move(read).error());
    slot = std::move(*read);
    return {};
}

namespace detail {

template <std::size_t N>
std::size_t field_index(const std::array<FieldSpec, N>& fields, std::string_view key) {
    for (std::size_t i = 0; i < N; ++i)
        if (fields[i].name == key) return i;
    return N;
}

template <class Record, ValueView V, std::size_t N, class ReadField>
ReadResult<Record> read_object_form(const V& value, std::string_view record_name,
                                    const std::array<FieldSpec, N>& fields, ReadField& read_field) {
    Record record{};
    std::array<bool, N> seen{};
    std::optional<std::string> failure;
    const bool listed = value.for_each_member([&](std::string_view key, const V& field) {
        const std::size_t i = field_index(fields, key);
        if (i == N) return true;
        if (seen[i]) {
            failure = "duplicate field `" + std::string(key) + "`";
            return false;
        }
        seen[i] = true;
        if (!fields[i].required && field.kind() == ValueKind::Null) return true;
        if (auto read = read_field(record, i, field); !read) {
            failure = std::move(read).error();
            return false;
        }
        return true;
    });
    if (failure) return read_failure(std::move(*failure));
    if (!listed) return read_failure("unreadable map, expected struct " + std::string(record_name));
    for (std::size_t i = 0; i < N; ++i)
        if (fields[i].required && !seen[i]) return read_failure("missing field `" + std::string(fields[i].name) + "`");
    return record;
}

template <class Record, ValueView V, std::size_t N, class ReadField>
ReadResult<Record> read_positional_form(const V& value, std::string_view record_name,
                                        const std::array<FieldSpec, N>& fields, ReadField& read_field) {
    const std::size_t size = value.array_size();
    if (size != N)
        return read_failure("invalid length " + std::to_string(size) + ", expected struct " + std::string(record_name) +
                            " with " + std::to_string(N) + " elements");
    Record record{};
    std::size_t i = 0;
    std::optional<std::string> failure;
    const bool listed = value.for_each_element([&](const V& field) {
        const std::size_t at = i++;
        if (at >= N) return false;
        if (!fields[at].required && field.kind() == ValueKind::Null) return true;
        if (auto read = read_field(record, at, field); !read) {
            failure = std::move(read).error();
            return false;
        }
        return true;
    });
    if (failure) return read_failure(std::move(*failure));
    if (!listed || i != N) return read_failure("unreadable sequence, expected struct " + std::string(record_name));
    return record;
}

}  // namespace detail

// Reads a record by the rules above. read_field(record, field index, value) -> ReadResult<void>
// reads one present, non-null (or required) field. Without positional_form an array is refused.
template <class Record, ValueView V, std::size_t N, class ReadField>
ReadResult<Record> read_record(const V& value, std::string_view record_name, const std::array<FieldSpec, N>& fields,
                               ReadField&& read_field, bool positional_form = true) {
    if (value.kind() == ValueKind::Object)
        return detail::read_object_form<Record>(value, record_name, fields, read_field);
    if (positional_form && value.kind() == ValueKind::Array)
        return detail::read_positional_form<Record>(value, record_name, fields, read_field);
    return invalid_type(value, "struct " + std::string(record_name));
}

}  // namespace zorv::protocol
