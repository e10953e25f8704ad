// The settings readers' value view over a Python object: None, bool, int, float, str (or UTF-8
// bytes), list, tuple, set and mappings take the places of JSON null, booleans, numbers, strings,
// arrays and objects. Every walk holds the items it hands out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocol/value_view.h"
#include "python/py_ref.h"

namespace zorv::python {

class PyValueView {
public:
    // `obj` is borrowed: the caller keeps it alive while the view is used.
    explicit PyValueView(PyObject* obj) : obj_(obj) {}

    protocol::ValueKind kind() const;
    bool as_bool() const { return obj_ == Py_True; }
    std::uint64_t as_uint() const;
    std::int64_t as_int() const;
    double as_float() const { return PyFloat_AsDouble(obj_); }
    std::string_view as_string() const;
    std::size_t array_size() const;

    template <class F>
    bool for_each_member(F&& visit) const {
        PyRef items = member_items();
        if (!items) return false;
        for (Py_ssize_t i = 0; i < PyList_GET_SIZE(items.get()); ++i) {
            PyObject* pair = PyList_GET_ITEM(items.get(), i);
            if (!PyTuple_Check(pair) || PyTuple_GET_SIZE(pair) != 2) return false;
            std::string_view key;
            if (!key_text(PyTuple_GET_ITEM(pair, 0), key)) return false;
            if (!visit(key, PyValueView(PyTuple_GET_ITEM(pair, 1)))) return false;
        }
        return true;
    }

    template <class F>
    bool for_each_element(F&& visit) const {
        PyRef items = PyRef::steal(PySequence_Tuple(obj_));
        if (!items) {
            PyErr_Clear();
            return false;
        }
        for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(items.get()); ++i) {
            if (!visit(PyValueView(PyTuple_GET_ITEM(items.get(), i)))) return false;
        }
        return true;
    }

private:
    // The (key, value) pairs as a new list, or null (error cleared) when they cannot be had.
    PyRef member_items() const;
    // A str key's text; false for any other key.
    static bool key_text(PyObject* key, std::string_view& text);

    PyObject* obj_;
};

static_assert(protocol::ValueView<PyValueView>);

}  // namespace zorv::python
