#include "python/blocking_wait.h"

#include <cxxabi.h>

#include <thread>

#include "python/py_ref.h"

namespace zorv::python {
namespace {

bool interpreter_finalizing() {
#if PY_VERSION_HEX >= 0x030D0000
    return Py_IsFinalizing() != 0;
#else
    return _Py_IsFinalizing() != 0;
#endif
}

[[noreturn]] void park_forever() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

// Takes the GIL back. A daemon thread that does so while the interpreter finalises is ended with
// pthread_exit, and that forced unwind aborts the process at the first noexcept C++ frame it
// meets. Such a thread stays here instead (inside the handler, so the unwind is never resumed)
// until the process is gone.
void restore_thread(PyThreadState* state) {
    if (interpreter_finalizing()) park_forever();
    try {
        PyEval_RestoreThread(state);
    } catch (abi::__forced_unwind&) {
        park_forever();
    }
}

}  // namespace

bool wait_interruptibly(const std::function<bool(std::chrono::milliseconds)>& ready) {
    constexpr std::chrono::milliseconds kSignalTick{50};
    for (;;) {
        PyThreadState* state = PyEval_SaveThread();
        const bool done = ready(kSignalTick);
        restore_thread(state);
        if (done) return true;
        if (PyErr_CheckSignals() < 0) return false;
    }
}

}  // namespace zorv::python
