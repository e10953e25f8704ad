#include "python/py_read.h"

#include <cmath>
#include <cstring>

#include "python/values.h"

namespace zorv::python {

bool raise_value_error(std::string_view label, const std::string& reason) {
    std::string message = "invalid ";
    message += label;
    message += ": ";
    message += reason;
    PyErr_SetString(PyExc_TypeError, message.c_str());
    return false;
}

std::string take_python_error_text() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    PyRef owned_type = PyRef::steal(type);
    PyRef owned_value = PyRef::steal(value);
    PyRef owned_traceback = PyRef::steal(traceback);
    std::string text = type != nullptr ? reinterpret_cast<PyTypeObject*>(type)->tp_name : "Exception";
    if (const char* dot = std::strrchr(text.c_str(), '.')) text = dot + 1;
    if (owned_value) {
        PyRef message = PyRef::steal(PyObject_Str(owned_value.get()));
        const char* utf8 = message ? PyUnicode_AsUTF8(message.get()) : nullptr;
        if (utf8 != nullptr) {
            text += ": ";
            text += utf8;
        }
    }
    PyErr_Clear();
    return text;
}

std::string type_phrase(PyObject* obj) { return std::string("'") + Py_TYPE(obj)->tp_name + "' object"; }

std::optional<std::string> text_of(PyObject* obj) {
    if (PyUnicode_Check(obj)) {
        Py_ssize_t size = 0;
        const char* data = PyUnicode_AsUTF8AndSize(obj, &size);
        if (data == nullptr) {
            PyErr_Clear();
            return std::nullopt;
        }
        return std::string(data, static_cast<std::size_t>(size));
    }
    if (PyBytes_Check(obj)) {
        PyRef decoded = PyRef::steal(PyUnicode_DecodeUTF8(PyBytes_AS_STRING(obj), PyBytes_GET_SIZE(obj), "strict"));
        if (!decoded) {
            PyErr_Clear();
            return std::nullopt;
        }
        return std::string(PyBytes_AS_STRING(obj), static_cast<std::size_t>(PyBytes_GET_SIZE(obj)));
    }
    return std::nullopt;
}

std::optional<std::uint64_t> exact_u64(PyObject* obj) {
    if (!PyLong_Check(obj) || PyBool_Check(obj)) return std::nullopt;
    const unsigned long long n = PyLong_AsUnsignedLongLong(obj);
    if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
        PyErr_Clear();
        return std::nullopt;
    }
    return n;
}

std::optional<std::int64_t> exact_i64(PyObject* obj) {
    if (!PyLong_Check(obj) || PyBool_Check(obj)) return std::nullopt;
    int overflow = 0;
    const long long n = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (overflow != 0 || (n == -1 && PyErr_Occurred())) {
        PyErr_Clear();
        return std::nullopt;
    }
    return n;
}

PyRead<std::uint64_t> read_count(PyObject* obj) {
    PyRef index = PyRef::steal(PyNumber_Index(obj));
    if (!index) return read_failure(take_python_error_text());
    const unsigned long long n = PyLong_AsUnsignedLongLong(index.get());
    if (n == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return read_failure(take_python_error_text());
    return n;
}

namespace {

PyRead<plan::JsonValue> json_int(PyObject* obj) {
    if (auto n = exact_u64(obj)) return plan::JsonValue(*n);
    if (auto n = exact_i64(obj)) return plan::JsonValue(*n);
    return read_failure("JSON number out of range");
}

PyRead<plan::JsonValue> json_array(PyObject* obj, int depth) {
    // A tuple copy holds every item while the walk may run Python code (a list subclass's __iter__).
    PyRef items = PyRef::steal(PySequence_Tuple(obj));
    if (!items) return read_failure(take_python_error_text());
    const Py_ssize_t size = PyTuple_GET_SIZE(items.get());
    plan::JsonArray out;
    out.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        auto item = json_value_from_py(PyTuple_GET_ITEM(items.get(), i), depth + 1);
        if (!item) return std::unexpected(std::move(item).error());
        out.push_back(std::move(*item));
    }
    return plan::JsonValue(std::move(out));
}

}  // namespace

PyRead<plan::JsonObject> json_object_from_py(PyObject* obj, int depth) {
    if (!PyDict_Check(obj))
        return read_failure("unexpected type: " + type_phrase(obj) + " cannot be converted to 'dict'");
    if (depth >= kMaxValueDepth) return read_failure("value nests deeper than 128 levels");
    plan::JsonObject out;
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(obj, &pos, &key, &value)) {
        if (!PyUnicode_Check(key)) {
            return read_failure("unexpected type: " + type_phrase(key) + " cannot be converted to 'str'");
        }
        PyRef held = PyRef::borrow(value);
        auto name = text_of(key);
        if (!name) return read_failure("unexpected type: " + type_phrase(key) + " cannot be converted to 'str'");
        auto item = json_value_from_py(held.get(), depth + 1);
        if (!item) return std::unexpected(std::move(item).error());
        out.insert_or_assign(std::move(*name), std::move(*item));
    }
    return out;
}

PyRead<plan::JsonValue> json_value_from_py(PyObject* obj, int depth) {
    if (obj == Py_None) return plan::JsonValue(nullptr);
    if (PyBool_Check(obj)) return plan::JsonValue(obj == Py_True);
    if (PyLong_Check(obj)) return json_int(obj);
    if (PyFloat_Check(obj)) {
        const double x = PyFloat_AS_DOUBLE(obj);
        return std::isfinite(x) ? plan::JsonValue(x) : plan::JsonValue(nullptr);
    }
    if (PyUnicode_Check(obj)) {
        auto text = text_of(obj);
        if (!text) return read_failure("unsupported type str");
        return plan::JsonValue(std::move(*text));
    }
    if (PyList_Check(obj) || PyTuple_Check(obj) || PyAnySet_Check(obj)) {
        if (depth >= kMaxValueDepth) return read_failure("value nests deeper than 128 levels");
        return json_array(obj, depth);
    }
    if (PyDict_Check(obj)) {
        auto object = json_object_from_py(obj, depth);
        if (!object) return std::unexpected(std::move(object).error());
        return plan::JsonValue(std::move(*object));
    }
    return read_failure(std::string("unsupported type ") + Py_TYPE(obj)->tp_name);
}

}  // namespace zorv::python
