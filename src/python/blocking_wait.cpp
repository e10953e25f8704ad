#include "python/blocking_wait.h"

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

// A daemon thread that takes the GIL back while the interpreter finalises is ended with
// pthread_exit, and that forced unwind aborts the process when it meets a noexcept C++ frame (the
// GIL guard's destructor). Such a thread waits here instead until the process is gone.
void park_while_finalizing() {
    while (interpreter_finalizing()) std::this_thread::sleep_for(std::chrono::seconds(1));
}

}  // namespace

bool wait_interruptibly(const std::function<bool(std::chrono::milliseconds)>& ready) {
    constexpr std::chrono::milliseconds kSignalTick{50};
    for (;;) {
        bool done = false;
        {
            GilRelease release;
            done = ready(kSignalTick);
            park_while_finalizing();
        }
        if (done) return true;
        if (PyErr_CheckSignals() < 0) return false;
    }
}

}  // namespace zorv::python
