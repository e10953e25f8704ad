// Argument extraction for METH_FASTCALL | METH_KEYWORDS functions.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "python/py_ref.h"

namespace zorv::python {

struct ArgSpec {
    const char* name;
    bool required;
    bool keyword_only;
};

// Fills `out` (one slot per ArgSpec, nullptr when absent) from a fast call. Returns false with
// a TypeError set on a missing, duplicate or unknown argument or too many positionals.
bool extract_args(const char* function, const ArgSpec* specs, std::size_t count, PyObject* const* args,
                  Py_ssize_t nargs, PyObject* kwnames, PyObject** out);

template <std::size_t N>
bool extract_args(const char* function, const std::array<ArgSpec, N>& specs, PyObject* const* args, Py_ssize_t nargs,
                  PyObject* kwnames, std::array<PyObject*, N>& out) {
    return extract_args(function, specs.data(), N, args, nargs, kwnames, out.data());
}

// The UTF-8 view of a str argument, or nullopt with TypeError "argument 'name' must be str".
std::optional<std::string_view> str_arg(const char* function, const char* name, PyObject* obj);

}  // namespace zorv::python
