#include "python/blocking_wait.h"

#include <unistd.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>

#include "python/py_ref.h"

namespace zorv::python {
namespace {

constexpr std::chrono::milliseconds kSignalTick{50};

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
        {
            GilRelease release;
            context->run_for(kSignalTick);
        }
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
