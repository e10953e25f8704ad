// Shared pieces of the readers that take results back from Python objects: a failure is a reason
// text, which the caller places into "invalid {label}: {reason}".
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>

#include "plan/json_value.h"
#include "python/py_ref.h"

namespace zorv::python {

template <class T>
using PyRead = std::expected<T, std::string>;

inline std::unexpected<std::string> read_failure(std::string reason) { return std::unexpected(std::move(reason)); }

// Raises TypeError "invalid {label}: {reason}"; returns false.
bool raise_value_error(std::string_view label, const std::string& reason);

// The pending Python error as "{class name}: {message}", cleared.
std::string take_python_error_text();

// "'{type name}' object".
std::string type_phrase(PyObject* obj);

// A str, or bytes holding valid UTF-8, as text; nullopt (no error set) otherwise.
std::optional<std::string> text_of(PyObject* obj);

// A Python int (not bool) in the given range; nullopt (no error set) otherwise.
std::optional<std::uint64_t> exact_u64(PyObject* obj);
std::optional<std::int64_t> exact_i64(PyObject* obj);

// Anything the integer index protocol takes (bool included), from 0 to the u64 maximum; the
// interpreter's refusal as the reason.
PyRead<std::uint64_t> read_count(PyObject* obj);

// Python values as JSON values: None, bool, int (64-bit, else "JSON number out of range"),
// float (non-finite as null), str, list, tuple, set and frozenset as arrays, dict with str keys
// as objects (keys in ascending order). Other types give "unsupported type {name}".
PyRead<plan::JsonValue> json_value_from_py(PyObject* obj, int depth = 0);
PyRead<plan::JsonObject> json_object_from_py(PyObject* obj, int depth = 0);

}  // namespace zorv::python
