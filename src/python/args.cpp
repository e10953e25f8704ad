#include "python/args.h"

#include <cstring>

namespace zorv::python {

bool extract_args(const char* function, const ArgSpec* specs, std::size_t count, PyObject* const* args,
                  Py_ssize_t nargs, PyObject* kwnames, PyObject** out) {
    for (std::size_t i = 0; i < count; ++i) out[i] = nullptr;
    std::size_t positional_max = 0;
    while (positional_max < count && !specs[positional_max].keyword_only) ++positional_max;
    if (static_cast<std::size_t>(nargs) > positional_max) {
        PyErr_Format(PyExc_TypeError, "%s() takes at most %zu positional arguments (%zd given)", function,
                     positional_max, nargs);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) out[i] = args[i];
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        const char* key_text = PyUnicode_AsUTF8(key);
        if (key_text == nullptr) return false;
        std::size_t slot = count;
        for (std::size_t i = 0; i < count; ++i) {
            if (std::strcmp(specs[i].name, key_text) == 0) {
                slot = i;
                break;
            }
        }
        if (slot == count) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%s'", function, key_text);
            return false;
        }
        if (out[slot] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", function, key_text);
            return false;
        }
        out[slot] = args[nargs + k];
    }
    for (std::size_t i = 0; i < count; ++i) {
        if (specs[i].required && out[i] == nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s'", function, specs[i].name);
            return false;
        }
    }
    return true;
}

std::optional<std::string_view> str_arg(const char* function, const char* name, PyObject* obj) {
    if (!PyUnicode_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s() argument '%s' must be str, not %.200s", function, name,
                     Py_TYPE(obj)->tp_name);
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
    if (data == nullptr) return std::nullopt;
    return std::string_view(data, static_cast<std::size_t>(size));
}

}  // namespace zorv::python
