// Module initialisation: multi-phase init with one execution slot.
#include "python/client.h"
#include "python/errors.h"
#include "python/execution_report.h"
#include "python/functions.h"
#include "python/http_embedder.h"
#include "python/py_ref.h"
#include "python/shutdown_gate.h"
#include "python/stmt.h"

namespace zorv::python {
namespace {

#ifndef ZORV_VERSION
#error "ZORV_VERSION comes from pyproject.toml through the build"
#endif
constexpr const char* kVersion = ZORV_VERSION;

// Appends `name` to the module's __all__ (created on first use), then sets the attribute.
int add_name(PyObject* module, const char* name, PyObject* value) {
    PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        PyErr_Clear();
        all = PyRef::steal(PyList_New(0));
        if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) return -1;
    }
    PyRef name_obj = PyRef::steal(PyUnicode_FromString(name));
    if (!name_obj || PyList_Append(all.get(), name_obj.get()) < 0) return -1;
    return PyModule_AddObjectRef(module, name, value);
}

int add_functions(PyObject* module) {
    PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
    if (!module_name) return -1;
    for (PyMethodDef* def = module_functions; def->ml_name != nullptr; ++def) {
        PyRef fn = PyRef::steal(PyCFunction_NewEx(def, module, module_name.get()));
        if (!fn || add_name(module, def->ml_name, fn.get()) < 0) return -1;
    }
    return 0;
}

// Classes come before the functions, each from its once-filled class-object cell.
int add_classes(PyObject* module) {
    if (register_result_classes(module, add_name) < 0) return -1;
    PyObject* stmt = stmt_type_object();
    if (stmt == nullptr || add_name(module, "Stmt", stmt) < 0) return -1;
    PyObject* embedder = http_embedder_type_object();
    if (embedder == nullptr || add_name(module, "HttpEmbedder", embedder) < 0) return -1;
    PyObject* client = client_type_object();
    if (client == nullptr || add_name(module, "Client", client) < 0) return -1;
    return 0;
}

int set_module_version(PyObject* module) {
    PyRef version = PyRef::steal(PyUnicode_FromString(kVersion));
    if (!version) return -1;
    return add_name(module, "__version__", version.get());
}

int pyzorv_module_exec(PyObject* module) {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "object cannot be converted to a module");
        return -1;
    }
    set_exception_module("pyzorv");
    if (register_shutdown_gate() < 0) return -1;
    if (add_classes(module) < 0) return -1;
    if (add_functions(module) < 0) return -1;
    return set_module_version(module);
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(pyzorv_module_exec)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "pyzorv", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace
}  // namespace zorv::python

PyMODINIT_FUNC PyInit_pyzorv(void) { return PyModuleDef_Init(&zorv::python::module_def); }
