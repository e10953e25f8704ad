#include "python/py_value_view.h"

#include "python/record_reader.h"

namespace zorv::python {
namespace {

bool utf8_bytes(PyObject* obj) {
    PyRef decoded = PyRef::steal(PyUnicode_DecodeUTF8(PyBytes_AS_STRING(obj), PyBytes_GET_SIZE(obj), "strict"));
    if (decoded) return true;
    PyErr_Clear();
    return false;
}

}  // namespace

protocol::ValueKind PyValueView::kind() const {
    using protocol::ValueKind;
    if (obj_ == Py_None) return ValueKind::Null;
    if (PyBool_Check(obj_)) return ValueKind::Bool;
    if (PyLong_Check(obj_)) {
        int overflow = 0;
        const long long n = PyLong_AsLongLongAndOverflow(obj_, &overflow);
        if (overflow == 0 && !(n == -1 && PyErr_Occurred())) return n < 0 ? ValueKind::Int : ValueKind::UInt;
        PyErr_Clear();
        if (overflow > 0) {
            PyLong_AsUnsignedLongLong(obj_);
            if (!PyErr_Occurred()) return ValueKind::UInt;
            PyErr_Clear();
        }
        return ValueKind::Other;
    }
    if (PyFloat_Check(obj_)) return ValueKind::Float;
    if (PyUnicode_Check(obj_))
        return PyUnicode_AsUTF8AndSize(obj_, nullptr) != nullptr ? ValueKind::String : [] {
            PyErr_Clear();
            return ValueKind::Other;
        }();
    if (PyBytes_Check(obj_)) return utf8_bytes(obj_) ? ValueKind::String : ValueKind::Other;
    if (PyList_Check(obj_) || PyTuple_Check(obj_) || PyAnySet_Check(obj_)) return ValueKind::Array;
    const int mapping = is_mapping(obj_);
    if (mapping < 0) PyErr_Clear();
    return mapping > 0 ? ValueKind::Object : ValueKind::Other;
}

std::uint64_t PyValueView::as_uint() const {
    const unsigned long long n = PyLong_AsUnsignedLongLong(obj_);
    if (PyErr_Occurred()) PyErr_Clear();
    return n;
}

std::int64_t PyValueView::as_int() const {
    const long long n = PyLong_AsLongLong(obj_);
    if (PyErr_Occurred()) PyErr_Clear();
    return n;
}

std::string_view PyValueView::as_string() const {
    if (PyBytes_Check(obj_)) {
        return {PyBytes_AS_STRING(obj_), static_cast<std::size_t>(PyBytes_GET_SIZE(obj_))};
    }
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(obj_, &size);
    if (data == nullptr) {
        PyErr_Clear();
        return {};
    }
    return {data, static_cast<std::size_t>(size)};
}

std::size_t PyValueView::array_size() const {
    const Py_ssize_t size = PyObject_Size(obj_);
    if (size < 0) {
        PyErr_Clear();
        return 0;
    }
    return static_cast<std::size_t>(size);
}

PyRef PyValueView::member_items() const {
    PyRef items = PyRef::steal(PyDict_Check(obj_) ? PyDict_Items(obj_) : PyMapping_Items(obj_));
    if (!items) PyErr_Clear();
    return items;
}

bool PyValueView::key_text(PyObject* key, std::string_view& text) {
    if (!PyUnicode_Check(key)) return false;
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(key, &size);
    if (data == nullptr) {
        PyErr_Clear();
        return false;
    }
    text = std::string_view(data, static_cast<std::size_t>(size));
    return true;
}

}  // namespace zorv::python
