#include "python/errors.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

namespace zorv::python {
namespace {

std::once_flag exception_module_once;
std::atomic<const char*> exception_module{nullptr};

PyObject* fallback_class(const char* class_name) {
    if (std::strcmp(class_name, kSyntaxErrorClass) == 0) return PyExc_SyntaxError;
    if (std::strcmp(class_name, kValidationErrorClass) == 0) return PyExc_ValueError;
    return PyExc_RuntimeError;
}

PyRef span_object(const core::ZorvError& error) {
    if (!error.span) return PyRef::borrow(Py_None);
    return PyRef::steal(Py_BuildValue("(KK)", static_cast<unsigned long long>(error.span->start),
                                      static_cast<unsigned long long>(error.span->end)));
}

PyRef fields_dict(const core::ZorvError& error) {
    PyRef dict = PyRef::steal(PyDict_New());
    if (!dict) return dict;
    for (const auto& [key, value] : error.fields) {
        PyRef k = py_str(key);
        PyRef v = py_str(value);
        if (!k || !v || PyDict_SetItem(dict.get(), k.get(), v.get()) < 0) PyErr_Clear();
    }
    return dict;
}

// The exception class from the recorded package, or null (no Python error left set).
PyRef lookup_class(const char* class_name) {
    const char* module_name = exception_module.load(std::memory_order_acquire);
    if (module_name == nullptr) return {};
    PyRef module = PyRef::steal(PyImport_ImportModule(module_name));
    if (!module) {
        PyErr_Clear();
        return {};
    }
    PyRef cls = PyRef::steal(PyObject_GetAttrString(module.get(), class_name));
    if (!cls) {
        PyErr_Clear();
        return {};
    }
    if (!PyType_Check(cls.get())) return {};
    return cls;
}

void set_attr_or_clear(PyObject* obj, const char* name, PyObject* value) {
    if (value == nullptr || PyObject_SetAttrString(obj, name, value) < 0) PyErr_Clear();
}

void raise_with_class(PyObject* cls, const std::string& message, const core::ZorvError& error, std::string_view kind,
                      PyRef fields) {
    if (!PyExceptionClass_Check(cls)) {
        PyErr_SetString(PyExc_TypeError, "exceptions must derive from BaseException");
        return;
    }
    PyRef msg = py_str(message);
    PyRef code = py_str(error.code);
    PyRef kind_text = py_str(kind);
    PyRef span = span_object(error);
    if (!msg || !code || !kind_text || !span) return;
    PyRef args = PyRef::steal(PyTuple_Pack(5, msg.get(), code.get(), kind_text.get(), span.get(), fields.get()));
    if (!args) return;
    PyRef instance = PyRef::steal(PyObject_Call(cls, args.get(), nullptr));
    if (!instance) return;  // the constructor's own exception stands
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(instance.get())), instance.get());
}

void raise_fallback(const char* class_name, const std::string& message, const core::ZorvError& error,
                    std::string_view kind) {
    PyRef msg = py_str(message);
    if (!msg) return;
    PyObject* base = fallback_class(class_name);
    PyRef instance = PyRef::steal(PyObject_CallOneArg(base, msg.get()));
    if (!instance) return;
    PyObject* obj = instance.get();
    set_attr_or_clear(obj, "code", py_str(error.code).get());
    set_attr_or_clear(obj, "kind", py_str(kind).get());
    set_attr_or_clear(obj, "span", span_object(error).get());
    set_attr_or_clear(obj, "fields", fields_dict(error).get());
    for (const auto& [key, value] : error.fields) {
        if (key == "request_id") {
            set_attr_or_clear(obj, "request_id", py_str(value).get());
            break;
        }
    }
    PyErr_SetObject(base, obj);
}

}  // namespace

const char* error_class_for_kind(core::ErrorKind kind) {
    switch (kind) {
        case core::ErrorKind::Lex:
        case core::ErrorKind::Parse: return kSyntaxErrorClass;
        case core::ErrorKind::Validation: return kValidationErrorClass;
        case core::ErrorKind::Execution: return kExecutionErrorClass;
        case core::ErrorKind::Transport: return kTransportErrorClass;
        case core::ErrorKind::Backend: return kBackendErrorClass;
    }
    return kExecutionErrorClass;
}

void set_exception_module(const char* name) {
    std::call_once(exception_module_once, [name] { exception_module.store(name, std::memory_order_release); });
}

PyObject* raise_zorv_error(core::ZorvError error, const char* class_name) {
    std::string message = core::format_error(error);
    std::string_view kind = core::error_kind_name(error.kind);
    GilEnsure gil;
    PyRef fields = fields_dict(error);
    if (!fields) {
        PyErr_Clear();
        fields = PyRef::steal(PyDict_New());
    }
    if (PyRef cls = lookup_class(class_name); cls && fields) {
        raise_with_class(cls.get(), message, error, kind, std::move(fields));
    } else {
        raise_fallback(class_name, message, error, kind);
    }
    return nullptr;
}

}  // namespace zorv::python
