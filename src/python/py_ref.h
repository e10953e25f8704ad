// A small RAII layer over the CPython C API: owned references and GIL guards.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>
#include <utility>

namespace zorv::python {

// An owned (strong) reference; releases it on destruction.
class PyRef {
public:
    PyRef() = default;
    // Takes over a new reference (may be null after a failed call).
    static PyRef steal(PyObject* obj) { return PyRef(obj); }
    static PyRef borrow(PyObject* obj) {
        Py_XINCREF(obj);
        return PyRef(obj);
    }
    PyRef(const PyRef&) = delete;
    PyRef& operator=(const PyRef&) = delete;
    PyRef(PyRef&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    PyRef& operator=(PyRef&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(obj_);
            obj_ = std::exchange(other.obj_, nullptr);
        }
        return *this;
    }
    ~PyRef() { Py_XDECREF(obj_); }

    PyObject* get() const { return obj_; }
    PyObject* release() { return std::exchange(obj_, nullptr); }
    explicit operator bool() const { return obj_ != nullptr; }

private:
    explicit PyRef(PyObject* obj) : obj_(obj) {}
    PyObject* obj_ = nullptr;
};

// Holds the GIL for the scope, whether or not the thread held it already.
class GilEnsure {
public:
    GilEnsure() : state_(PyGILState_Ensure()) {}
    GilEnsure(const GilEnsure&) = delete;
    GilEnsure& operator=(const GilEnsure&) = delete;
    ~GilEnsure() { PyGILState_Release(state_); }

private:
    PyGILState_STATE state_;
};

// Releases the GIL for the scope; the thread must hold it on entry.
class GilRelease {
public:
    GilRelease() : state_(PyEval_SaveThread()) {}
    GilRelease(const GilRelease&) = delete;
    GilRelease& operator=(const GilRelease&) = delete;
    ~GilRelease() { PyEval_RestoreThread(state_); }

private:
    PyThreadState* state_;
};

inline PyRef py_str(std::string_view text) {
    return PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

}  // namespace zorv::python
