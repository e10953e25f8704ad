#include "python/blocking_wait.h"

#include "python/py_ref.h"

namespace zorv::python {

bool wait_interruptibly(const std::function<bool(std::chrono::milliseconds)>& ready) {
    constexpr std::chrono::milliseconds kSignalTick{50};
    for (;;) {
        bool done = false;
        {
            GilRelease release;
            done = ready(kSignalTick);
        }
        if (done) return true;
        if (PyErr_CheckSignals() < 0) return false;
    }
}

}  // namespace zorv::python
