#include "python/values.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace zorv::python {
namespace {

constexpr const char* kUnsupported =
    "unsupported value type for parameter binding or filter values (expected bool, int, float, str, list, dict, "
    "or an array-like like a numpy array)";

std::nullopt_t value_error(const char* message) {
    PyErr_SetString(PyExc_ValueError, message);
    return std::nullopt;
}

std::nullopt_t non_finite_error(double value) {
    const std::string message = "cannot bind non-finite float value '" + float_display(value) + "'";
    PyErr_SetString(PyExc_ValueError, message.c_str());
    return std::nullopt;
}

std::nullopt_t too_deep() { return value_error("parameter value nests deeper than 128 levels"); }

bool is_numpy_bool(PyObject* obj) {
    const char* name = Py_TYPE(obj)->tp_name;
    return std::strcmp(name, "numpy.bool_") == 0 || std::strcmp(name, "numpy.bool") == 0;
}

std::optional<core::Literal> int_value(PyObject* obj) {
    const unsigned long long unsigned_value = PyLong_AsUnsignedLongLong(obj);
    if (!(unsigned_value == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
        return core::Literal::uint64(unsigned_value);
    }
    PyErr_Clear();
    const long long signed_value = PyLong_AsLongLong(obj);
    if (!(signed_value == -1 && PyErr_Occurred())) return core::Literal::int64(signed_value);
    PyErr_Clear();
    PyErr_SetString(PyExc_OverflowError, "integer parameter out of range: ZORV binds integers that fit in i64 or u64");
    return std::nullopt;
}

std::optional<core::Literal> list_value(PyObject* list, int depth) {
    bool failed = false;
    if (auto vector = float_list_from_py(list, failed)) return vector;
    if (failed) return std::nullopt;
    const Py_ssize_t start_size = PyList_GET_SIZE(list);
    core::LiteralList items;
    items.reserve(static_cast<std::size_t>(start_size));
    for (Py_ssize_t i = 0; i < start_size && i < PyList_GET_SIZE(list); ++i) {
        PyRef item = PyRef::borrow(PyList_GET_ITEM(list, i));
        std::optional<core::Literal> value = py_to_bind_value(item.get(), depth);
        if (!value) return std::nullopt;
        items.push_back(std::move(*value));
    }
    return core::Literal::list(std::move(items));
}

std::optional<core::Literal> dict_value(PyObject* dict, int depth) {
    const Py_ssize_t start_size = PyDict_GET_SIZE(dict);
    core::LiteralDict entries;
    entries.reserve(static_cast<std::size_t>(start_size));
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    while (PyDict_Next(dict, &pos, &key, &item)) {
        PyRef key_ref = PyRef::borrow(key);
        PyRef item_ref = PyRef::borrow(item);
        Py_ssize_t size = 0;
        const char* text = PyUnicode_Check(key) ? PyUnicode_AsUTF8AndSize(key, &size) : nullptr;
        if (text == nullptr) {
            PyErr_Clear();
            return value_error("dict keys must be strings");
        }
        std::string name(text, static_cast<std::size_t>(size));
        std::optional<core::Literal> value = py_to_bind_value(item_ref.get(), depth);
        if (!value) return std::nullopt;
        // Converting a value may run Python code (tolist) that changes the dict under the walk.
        if (PyDict_GET_SIZE(dict) != start_size) {
            PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
            return std::nullopt;
        }
        entries.emplace_back(std::move(name), std::move(*value));
    }
    return core::Literal::dict(std::move(entries));
}

}  // namespace

std::string float_display(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    // Shortest digits first, then written out without an exponent: 1e39 is a 1 and 39 zeros.
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    if (ec != std::errc()) return "0";
    const std::string_view text(buf, static_cast<std::size_t>(end - buf));
    const std::size_t e = text.find('e');
    std::string out;
    std::size_t i = 0;
    if (text[0] == '-') {
        out += '-';
        i = 1;
    }
    std::string digits;
    for (; i < e; ++i) {
        if (text[i] != '.') digits += text[i];
    }
    int exponent = 0;
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
    if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
        return out;
    }
    const auto whole = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= whole) {
        out += digits;
        out.append(whole - digits.size(), '0');
        return out;
    }
    out += digits.substr(0, whole);
    out += '.';
    out += digits.substr(whole);
    return out;
}

PyRef call_py_method(PyObject* obj, const char* method) {
    return PyRef::steal(PyObject_CallMethod(obj, method, nullptr));
}

std::optional<core::Literal> float_list_from_py(PyObject* list, bool& failed) {
    failed = false;
    const Py_ssize_t size = PyList_GET_SIZE(list);
    if (size < 32) return std::nullopt;
    std::vector<double> wide;
    wide.reserve(static_cast<std::size_t>(size));
    for (Py_ssize_t i = 0; i < size && i < PyList_GET_SIZE(list); ++i) {
        PyObject* item = PyList_GET_ITEM(list, i);
        if (!PyFloat_Check(item)) return std::nullopt;
        wide.push_back(PyFloat_AS_DOUBLE(item));
    }
    core::F32Array narrow;
    narrow.reserve(wide.size());
    for (double value : wide) {
        const auto item = static_cast<float>(value);
        if (!std::isfinite(value) || !std::isfinite(item)) {
            failed = true;
            return non_finite_error(value);
        }
        narrow.push_back(item);
    }
    return core::Literal::f32_array(std::move(narrow));
}

std::optional<core::Literal> py_buffer_to_vector(PyObject* obj, bool& failed) {
    failed = false;
    if (!PyObject_CheckBuffer(obj)) return std::nullopt;
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_RECORDS_RO) < 0) {
        PyErr_Clear();
        return std::nullopt;
    }
    struct Release {
        Py_buffer* view;
        ~Release() { PyBuffer_Release(view); }
    } release{&view};
    const char* format = view.format != nullptr ? view.format : "B";
    const bool single = std::strcmp(format, "f") == 0;
    const bool dbl = std::strcmp(format, "d") == 0;
    if ((!single && !dbl) || view.ndim != 1 || view.shape == nullptr) return std::nullopt;
    const Py_ssize_t count = view.shape[0];
    const Py_ssize_t item_size = single ? 4 : 8;
    if (view.itemsize != item_size) return std::nullopt;
    const Py_ssize_t stride = view.strides != nullptr ? view.strides[0] : item_size;
    const auto* base = static_cast<const char*>(view.buf);
    core::F32Array out(static_cast<std::size_t>(count));
    for (Py_ssize_t i = 0; i < count; ++i) {
        const char* at = base + i * stride;
        if (single) {
            std::memcpy(&out[static_cast<std::size_t>(i)], at, sizeof(float));
            continue;
        }
        double value = 0;
        std::memcpy(&value, at, sizeof(double));
        if (!std::isfinite(value)) {
            failed = true;
            return non_finite_error(value);
        }
        out[static_cast<std::size_t>(i)] = static_cast<float>(value);
    }
    return core::Literal::f32_array(std::move(out));
}

std::optional<core::Literal> py_to_bind_value(PyObject* obj, int depth) {
    if (obj == Py_None) return core::Literal::null();
    if (PyBool_Check(obj) || is_numpy_bool(obj)) {
        const int truth = PyObject_IsTrue(obj);
        if (truth < 0) return std::nullopt;
        return core::Literal::boolean(truth != 0);
    }
    if (PyLong_Check(obj)) return int_value(obj);
    const double number = PyFloat_AsDouble(obj);
    if (!(number == -1.0 && PyErr_Occurred())) {
        if (!std::isfinite(number)) return non_finite_error(number);
        return core::Literal::f64(number);
    }
    PyErr_Clear();
    if (PyUnicode_Check(obj)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(obj, &size);
        if (text != nullptr) return core::Literal::str(std::string(text, static_cast<std::size_t>(size)));
        PyErr_Clear();
    }
    if (PyList_Check(obj) || PyDict_Check(obj)) {
        if (depth >= kMaxValueDepth) return too_deep();
        return PyList_Check(obj) ? list_value(obj, depth + 1) : dict_value(obj, depth + 1);
    }
    bool failed = false;
    if (auto vector = py_buffer_to_vector(obj, failed)) return vector;
    if (failed) return std::nullopt;
    PyRef converted = call_py_method(obj, "tolist");
    if (!converted) {
        PyErr_Clear();
        return value_error(kUnsupported);
    }
    // `tolist()` may hand back the object itself, or something that does so again.
    if (depth >= kMaxValueDepth) return too_deep();
    return py_to_bind_value(converted.get(), depth + 1);
}

namespace {

std::optional<plan::JsonValue> filter_int_value(PyObject* obj) {
    const unsigned long long unsigned_value = PyLong_AsUnsignedLongLong(obj);
    if (!(unsigned_value == static_cast<unsigned long long>(-1) && PyErr_Occurred())) {
        return plan::JsonValue(static_cast<std::uint64_t>(unsigned_value));
    }
    PyErr_Clear();
    const long long signed_value = PyLong_AsLongLong(obj);
    if (!(signed_value == -1 && PyErr_Occurred())) return plan::JsonValue(static_cast<std::int64_t>(signed_value));
    PyErr_Clear();
    PyErr_SetString(PyExc_OverflowError, "integer parameter out of range: ZORV binds integers that fit in i64 or u64");
    return std::nullopt;
}

std::optional<plan::JsonValue> filter_list_value(PyObject* list, int depth) {
    const Py_ssize_t start_size = PyList_GET_SIZE(list);
    plan::JsonArray items;
    items.reserve(static_cast<std::size_t>(start_size));
    for (Py_ssize_t i = 0; i < start_size && i < PyList_GET_SIZE(list); ++i) {
        PyRef item = PyRef::borrow(PyList_GET_ITEM(list, i));
        std::optional<plan::JsonValue> value = py_to_filter_value(item.get(), depth);
        if (!value) return std::nullopt;
        items.push_back(std::move(*value));
    }
    return plan::JsonValue(std::move(items));
}

std::optional<plan::JsonValue> filter_dict_value(PyObject* dict, int depth) {
    const Py_ssize_t start_size = PyDict_GET_SIZE(dict);
    plan::JsonObject entries;
    Py_ssize_t pos = 0;
    PyObject* key = nullptr;
    PyObject* item = nullptr;
    while (PyDict_Next(dict, &pos, &key, &item)) {
        PyRef key_ref = PyRef::borrow(key);
        PyRef item_ref = PyRef::borrow(item);
        Py_ssize_t size = 0;
        const char* text = PyUnicode_Check(key) ? PyUnicode_AsUTF8AndSize(key, &size) : nullptr;
        if (text == nullptr) {
            PyErr_Clear();
            return value_error("dict keys must be strings");
        }
        std::string name(text, static_cast<std::size_t>(size));
        std::optional<plan::JsonValue> value = py_to_filter_value(item_ref.get(), depth);
        if (!value) return std::nullopt;
        // Converting a value may run Python code (tolist) that changes the dict under the walk.
        if (PyDict_GET_SIZE(dict) != start_size) {
            PyErr_SetString(PyExc_RuntimeError, "dictionary changed size during iteration");
            return std::nullopt;
        }
        entries.insert_or_assign(std::move(name), std::move(*value));
    }
    return plan::JsonValue(std::move(entries));
}

}  // namespace

std::optional<plan::JsonValue> py_to_filter_value(PyObject* obj, int depth) {
    if (obj == Py_None) return plan::JsonValue(nullptr);
    if (PyBool_Check(obj) || is_numpy_bool(obj)) {
        const int truth = PyObject_IsTrue(obj);
        if (truth < 0) return std::nullopt;
        return plan::JsonValue(truth != 0);
    }
    if (PyLong_Check(obj)) return filter_int_value(obj);
    const double number = PyFloat_AsDouble(obj);
    if (!(number == -1.0 && PyErr_Occurred())) {
        if (!std::isfinite(number)) return non_finite_error(number);
        return plan::JsonValue(number);
    }
    PyErr_Clear();
    if (PyUnicode_Check(obj)) {
        Py_ssize_t size = 0;
        const char* text = PyUnicode_AsUTF8AndSize(obj, &size);
        if (text != nullptr) return plan::JsonValue(std::string(text, static_cast<std::size_t>(size)));
        PyErr_Clear();
    }
    if (PyList_Check(obj) || PyDict_Check(obj)) {
        if (depth >= kMaxValueDepth) return too_deep();
        return PyList_Check(obj) ? filter_list_value(obj, depth + 1) : filter_dict_value(obj, depth + 1);
    }
    PyRef converted = call_py_method(obj, "tolist");
    if (!converted) {
        PyErr_Clear();
        return value_error(kUnsupported);
    }
    // `tolist()` may hand back the object itself, or something that does so again.
    if (depth >= kMaxValueDepth) return too_deep();
    return py_to_filter_value(converted.get(), depth + 1);
}

}  // namespace zorv::python
