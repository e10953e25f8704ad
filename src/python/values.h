// Python objects as statement values: one order of type tests and one set of messages for
// parameters and rows, with a fast path for float vectors (long float lists, float buffers).
#pragma once

#include <optional>
#include <string>

#include "core/ast/literal.h"
#include "plan/json_value.h"
#include "python/py_ref.h"

namespace zorv::python {

// Python values may nest this deep (the container counts as a level); deeper ones, and values
// that hold themselves, are refused instead of overflowing the stack.
inline constexpr int kMaxValueDepth = 128;

// The Literal of `obj`, or nullopt with the Python error set: OverflowError for integers beyond
// 64 bits, ValueError for non-finite floats, non-str keys, unsupported types and too deep values.
// `depth` is the number of containers `obj` sits in.
std::optional<core::Literal> py_to_bind_value(PyObject* obj, int depth = 0);

// The JSON value of an injected filter value, or nullopt with the Python error set: the types and
// messages of `py_to_bind_value`, without the vector fast paths; dict keys come out in ascending order.
std::optional<plan::JsonValue> py_to_filter_value(PyObject* obj, int depth = 0);

// A list of 32 or more floats as one F32Array; nullopt without an error when it is no such list.
std::optional<core::Literal> float_list_from_py(PyObject* list, bool& failed);

// A one-dimensional buffer of "f" or "d" items as one F32Array; nullopt without an error when
// `obj` has no such buffer.
std::optional<core::Literal> py_buffer_to_vector(PyObject* obj, bool& failed);

// `obj.method()`, or null with the Python error set.
PyRef call_py_method(PyObject* obj, const char* method);

// A 64-bit float as the messages show it: "NaN", "inf", "-inf", or its shortest decimal digits
// without exponent.
std::string float_display(double value);

}  // namespace zorv::python
