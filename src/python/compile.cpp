#include "python/compile.h"

#include <string>
#include <utility>

#include "core/overloaded.h"
#include "plan/compile_route.h"
#include "python/errors.h"

namespace zorv::python {

namespace {

PyObject* array_to_py(const plan::JsonArray& items) {
    PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyObject* item = json_value_to_py(items[i]);
        if (item == nullptr) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

PyObject* object_to_py(const plan::JsonObject& entries) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const auto& [key, value] : entries) {
        PyRef key_obj = py_str(key);
        PyRef value_obj = PyRef::steal(json_value_to_py(value));
        if (!key_obj || !value_obj || PyDict_SetItem(dict.get(), key_obj.get(), value_obj.get()) < 0) return nullptr;
    }
    return dict.release();
}

}  // namespace

PyObject* json_value_to_py(const plan::JsonValue& value) {
    return std::visit(core::Overloaded{
                          [](std::nullptr_t) { return Py_NewRef(Py_None); },
                          [](bool b) { return PyBool_FromLong(b ? 1 : 0); },
                          [](std::uint64_t n) { return PyLong_FromUnsignedLongLong(n); },
                          [](std::int64_t n) { return PyLong_FromLongLong(n); },
                          [](double x) { return PyFloat_FromDouble(x); },
                          [](const std::string& s) { return py_str(s).release(); },
                          [](const plan::JsonArray& a) { return array_to_py(a); },
                          [](const plan::JsonObject& o) { return object_to_py(o); },
                      },
                      value.value());
}

PyObject* compiled_route_to_py(const core::Statement& statement) {
    auto route = plan::compile_route(statement);
    if (!route) return raise_zorv_error(std::move(route).error(), kSyntaxErrorClass);
    return json_value_to_py(plan::route_to_json(std::move(*route)));
}

}  // namespace zorv::python
