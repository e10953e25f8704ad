#include "python/blocking_wait.h"

#include <cxxabi.h>
#include <unistd.h>

#include <thread>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>

#include "python/py_ref.h"

namespace zorv::python {
namespace {

constexpr std::chrono::milliseconds kSignalTick{50};

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

// Leaks what another process made, or what a thread leaves mid-run (a daemon thread ended by the
// interpreter's exit): transfers still in flight complete into it later.
void abandon(std::shared_ptr<boost::asio::io_context> context) {
    new std::shared_ptr<boost::asio::io_context>(std::move(context));  // NOLINT: leaked on purpose
}

struct CallerContext {
    std::shared_ptr<boost::asio::io_context> context;
    pid_t pid = 0;

    CallerContext() = default;
    CallerContext(std::shared_ptr<boost::asio::io_context> made, pid_t made_in)
        : context(std::move(made)), pid(made_in) {}
    CallerContext(const CallerContext&) = delete;
    CallerContext& operator=(const CallerContext&) = delete;
    CallerContext(CallerContext&&) = default;
    CallerContext& operator=(CallerContext&&) = default;
    ~CallerContext() {
        if (context && (pid != getpid() || !context->stopped())) abandon(std::move(context));
    }
};

thread_local CallerContext caller;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables)

}  // namespace

std::shared_ptr<boost::asio::io_context> caller_context() {
    const pid_t pid = getpid();
    // Inherited across fork: destroying it would deregister descriptors the parent still uses.
    if (caller.context && caller.pid != pid) abandon(std::move(caller.context));
    if (!caller.context) caller = CallerContext(std::make_shared<boost::asio::io_context>(), pid);
    caller.context->restart();
    return caller.context;
}

bool run_interruptibly(const std::shared_ptr<boost::asio::io_context>& context, boost::asio::thread_pool& pool) {
    for (;;) {
        PyThreadState* state = PyEval_SaveThread();
        context->run_for(kSignalTick);
        restore_thread(state);
        if (context->stopped()) return true;
        if (PyErr_CheckSignals() < 0) {
            if (caller.context == context) caller.context.reset();
            boost::asio::post(pool, [context] { context->run(); });
            return false;
        }
    }
}

bool wait_interruptibly(const std::function<bool(std::chrono::milliseconds)>& ready) {
    for (;;) {
        PyThreadState* state = PyEval_SaveThread();
        const bool done = ready(kSignalTick);
        restore_thread(state);
        if (done) return true;
        if (PyErr_CheckSignals() < 0) return false;
    }
}

}  // namespace zorv::python
