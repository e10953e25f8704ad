// ZorvError to Python exception.
#pragma once

#include <string_view>

#include "core/error.h"
#include "python/py_ref.h"

namespace zorv::python {

inline constexpr const char* kSyntaxErrorClass = "ZorvSyntaxError";
inline constexpr const char* kValidationErrorClass = "ZorvValidationError";
inline constexpr const char* kExecutionErrorClass = "ZorvExecutionError";
inline constexpr const char* kTransportErrorClass = "ZorvTransportError";
inline constexpr const char* kBackendErrorClass = "ZorvBackendError";

const char* error_class_for_kind(core::ErrorKind kind);

// Records the package the exception classes are imported from; the first name set stays.
void set_exception_module(const char* name);

// Builds the exception of `class_name` for `error` and sets it as the current Python error.
// Falls back to SyntaxError / ValueError / RuntimeError carrying the same attributes when the
// package or the class cannot be had. Callable with or without the GIL. Always returns nullptr.
PyObject* raise_zorv_error(core::ZorvError error, const char* class_name);

}  // namespace zorv::python
