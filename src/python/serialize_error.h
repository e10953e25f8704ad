// Failures to turn a value into Python objects or JSON text, raised as ZorvExecutionError
// "ZORV-SERIALIZE".
#pragma once

#include <cstdint>
#include <string_view>

#include "python/py_ref.h"

namespace zorv::python {

// The pending Python error, its display text as the message. Always returns nullptr.
PyObject* serialize_error_to_py();

// A JSON writer error: its description, followed by " at line {} column {}" when it has a line.
// Always returns nullptr.
PyObject* json_error_to_py(std::string_view description, std::uint64_t line, std::uint64_t column);

}  // namespace zorv::python
