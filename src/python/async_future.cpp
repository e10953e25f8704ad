#include "python/async_future.h"

#include "python/shutdown_gate.h"

namespace zorv::python {
namespace {

// Runs on the loop's thread: the future may have been cancelled since the outcome was sent.
PyObject* complete_future(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 3) {
        PyErr_SetString(PyExc_TypeError, "_complete_future takes 3 arguments");
        return nullptr;
    }
    PyObject* future = args[0];
    PyRef done = PyRef::steal(PyObject_CallMethod(future, "done", nullptr));
    if (!done) return nullptr;
    const int finished = PyObject_IsTrue(done.get());
    if (finished < 0) return nullptr;
    if (finished != 0) return Py_NewRef(Py_None);
    const char* setter = args[1] == Py_True ? "set_exception" : "set_result";
    return PyObject_CallMethod(future, setter, "O", args[2]);
}

PyMethodDef complete_future_def = {"_complete_future",
                                   reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(complete_future)),
                                   METH_FASTCALL, nullptr};

// Made once under the GIL, kept for the process.
PyObject* completer() {
    static PyObject* fn = PyCFunction_New(&complete_future_def, nullptr);
    return fn;
}

// The raised exception as an object, with no error left set.
PyRef take_raised_exception() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value != nullptr && traceback != nullptr) PyException_SetTraceback(value, traceback);
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    return PyRef::steal(value);
}

}  // namespace

std::shared_ptr<AsyncTarget> AsyncTarget::create() {
    if (completer() == nullptr) return nullptr;
    PyRef asyncio = PyRef::steal(PyImport_ImportModule("asyncio"));
    if (!asyncio) return nullptr;
    PyRef loop = PyRef::steal(PyObject_CallMethod(asyncio.get(), "get_running_loop", nullptr));
    if (!loop) return nullptr;
    PyRef contextvars = PyRef::steal(PyImport_ImportModule("contextvars"));
    if (!contextvars) return nullptr;
    PyRef context = PyRef::steal(PyObject_CallMethod(contextvars.get(), "copy_context", nullptr));
    if (!context) return nullptr;
    PyRef future = PyRef::steal(PyObject_CallMethod(loop.get(), "create_future", nullptr));
    if (!future) return nullptr;
    auto target = std::make_shared<AsyncTarget>();
    target->loop_ = loop.release();
    target->future_ = future.release();
    target->context_ = context.release();
    return target;
}

void AsyncTarget::complete(const std::function<PyObject*()>& build) {
    GateEntry gate;
    if (!gate.entered()) return;
    GilEnsure gil;
    PyRef value = PyRef::steal(build());
    const bool is_error = !value;
    if (is_error) value = take_raised_exception();
    PyRef call_soon = PyRef::steal(PyObject_GetAttrString(loop_, "call_soon_threadsafe"));
    PyRef args = PyRef::steal(
        PyTuple_Pack(4, completer(), future_, is_error ? Py_True : Py_False, value ? value.get() : Py_None));
    PyRef kwargs = PyRef::steal(Py_BuildValue("{sO}", "context", context_));
    PyRef scheduled;
    if (call_soon && args && kwargs) scheduled = PyRef::steal(PyObject_Call(call_soon.get(), args.get(), kwargs.get()));
    if (!scheduled) PyErr_WriteUnraisable(loop_);
    Py_CLEAR(context_);
    Py_CLEAR(future_);
    Py_CLEAR(loop_);
}

}  // namespace zorv::python
