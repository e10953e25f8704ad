#include "python/shutdown_gate.h"

#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "net/async_pool.h"
#include "python/py_ref.h"

namespace zorv::python {
namespace {

struct Gate {
    std::mutex mutex;
    std::condition_variable left;
    bool closed = false;  // guarded by mutex
    long inside = 0;      // guarded by mutex
};

// Never destroyed: pool threads may still knock after the interpreter is gone.
Gate* gate = new Gate();

// A completion may stall on a loop that is itself shutting down; the exit waits only so long.
constexpr std::chrono::seconds kExitWait{10};

// The parent's threads inside the gate do not exist in a forked child, and the lock may have been
// copied while held.
void reset_gate_in_child() { gate = new Gate(); }

// Runs among the C exit handlers, before the static objects of everything loaded earlier are
// destroyed: runs still in flight must not reach them from the pool's threads.
void stop_pool_at_exit() { net::stop_shared_pool(kExitWait); }

PyObject* close_gate(PyObject*, PyObject*) {
    {
        GilRelease release;  // threads inside need the GIL to finish
        std::unique_lock lock(gate->mutex);
        gate->closed = true;
        gate->left.wait_for(lock, kExitWait, [] { return gate->inside == 0; });
    }
    // Registered now, so that it runs before the destructors of statics made on first use.
    if (std::atexit(stop_pool_at_exit) != 0) {
        PyErr_SetString(PyExc_RuntimeError, "cannot register the exit handler of the async pool");
        return nullptr;
    }
    return Py_NewRef(Py_None);
}

PyMethodDef close_gate_def = {"_close_shutdown_gate", close_gate, METH_NOARGS, nullptr};

}  // namespace

GateEntry::GateEntry() {
    std::lock_guard lock(gate->mutex);
    entered_ = !gate->closed;
    if (entered_) ++gate->inside;
}

GateEntry::~GateEntry() {
    if (!entered_) return;
    std::lock_guard lock(gate->mutex);
    if (--gate->inside == 0) gate->left.notify_all();
}

int register_shutdown_gate() {
    static bool registered = false;  // the GIL serialises module executions
    if (registered) return 0;
    static std::once_flag atfork_once;
    std::call_once(atfork_once, [] { pthread_atfork(nullptr, nullptr, reset_gate_in_child); });
    PyRef hook = PyRef::steal(PyCFunction_New(&close_gate_def, nullptr));
    if (!hook) return -1;
    PyRef atexit = PyRef::steal(PyImport_ImportModule("atexit"));
    if (!atexit) return -1;
    PyRef done = PyRef::steal(PyObject_CallMethod(atexit.get(), "register", "O", hook.get()));
    if (!done) return -1;
    registered = true;
    return 0;
}

}  // namespace zorv::python
