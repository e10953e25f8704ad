#include "python/serialize_error.h"

#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "python/errors.h"

namespace zorv::python {
namespace {

PyObject* raise_serialize(std::string message) {
    return raise_zorv_error(core::make_error(core::Diag::Serialize, std::move(message)), kExecutionErrorClass);
}

}  // namespace

PyObject* serialize_error_to_py() {
    std::string message = "value could not be converted to Python objects";
    PyObject* type = nullptr;
    PyObject* raised = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &raised, &traceback);
    PyErr_NormalizeException(&type, &raised, &traceback);
    PyRef owned_type = PyRef::steal(type);
    PyRef owned_value = PyRef::steal(raised);
    PyRef owned_traceback = PyRef::steal(traceback);
    if (owned_value) {
        PyRef text = PyRef::steal(PyObject_Str(owned_value.get()));
        const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
        if (utf8 != nullptr) message = utf8;
        PyErr_Clear();
    }
    return raise_serialize(std::move(message));
}

PyObject* json_error_to_py(std::string_view description, std::uint64_t line, std::uint64_t column) {
    std::string message(description);
    if (line != 0) message += " at line " + std::to_string(line) + " column " + std::to_string(column);
    return raise_serialize(std::move(message));
}

}  // namespace zorv::python
