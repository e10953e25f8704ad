// execute_async's bridge to asyncio: a future on the caller's running loop, completed from a pool
// thread through the loop's call_soon_threadsafe.
#pragma once

#include <functional>
#include <memory>

#include "python/py_ref.h"

namespace zorv::python {

// The loop, the future and the caller's context. Its references are released only under the GIL
// and through the shutdown gate, so it has no destructor of its own: one that is never completed
// leaks them.
class AsyncTarget {
public:
    // On the caller's thread with the GIL: the running loop (the host's RuntimeError without one),
    // a copy of the current context and a new future. Null with the Python error set.
    static std::shared_ptr<AsyncTarget> create();

    // A new reference to the future.
    PyObject* future() const { return Py_NewRef(future_); }

    // On any thread, without the GIL. Through the gate, with the GIL: `build` makes the outcome
    // object (null with the error set makes that error the outcome), and the loop is asked to set
    // it on the future unless the future was cancelled meanwhile; a loop that refuses (closed) is
    // reported as unraisable. Once the interpreter shuts down, nothing is built and nothing released.
    void complete(const std::function<PyObject*()>& build);

private:
    PyObject* loop_ = nullptr;
    PyObject* future_ = nullptr;
    PyObject* context_ = nullptr;
};

}  // namespace zorv::python
