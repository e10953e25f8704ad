// Blocking calls wait for their run on the shared pool with the GIL released, taking it back about
// every 50 ms to run signal handlers: Ctrl-C raises KeyboardInterrupt in the caller at once while
// the detached run finishes on its own.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "python/client_runs.h"

namespace boost::asio {
class io_context;
class thread_pool;
}  // namespace boost::asio

namespace zorv::python {

// Filled once by a pool thread; waited on by the caller. Shared, so that a caller who left on a
// signal leaves the slot alive for the run.
template <class T>
class OutcomeSlot {
public:
    void fill(RunOutcome<T> outcome) {
        std::lock_guard lock(mutex_);
        outcome_ = std::move(outcome);
        done_ = true;
        ready_.notify_all();
    }
    bool wait_for(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        return ready_.wait_for(lock, timeout, [this] { return done_; });
    }
    RunOutcome<T> take() {
        std::lock_guard lock(mutex_);
        return std::move(outcome_);
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    bool done_ = false;
    RunOutcome<T> outcome_;
};

// Called with the GIL held; waits with it released. False with the signal handler's exception
// set when one raised.
bool wait_interruptibly(const std::function<bool(std::chrono::milliseconds)>& ready);

// Starts the run with a completion that fills a slot, then waits for it. nullopt with the Python
// error set when a signal handler raised meanwhile.
template <class T>
std::optional<RunOutcome<T>> run_blocking(const std::function<void(RunDone<T>)>& start) {
    auto slot = std::make_shared<OutcomeSlot<T>>();
    start([slot](RunOutcome<T> outcome) { slot->fill(std::move(outcome)); });
    if (!wait_interruptibly([&slot](std::chrono::milliseconds timeout) { return slot->wait_for(timeout); })) {
        return std::nullopt;
    }
    return slot->take();
}

// The calling thread's own context for blocking runs, made on first use and kept for the next
// (a fresh one in a forked child: the parent's shares its event descriptors).
std::shared_ptr<boost::asio::io_context> caller_context();

// Runs `context` on the calling thread with the GIL released until it runs out of work. On a
// signal the context goes on on a pool thread and leaves this thread for good; false with the
// handler's exception set.
bool run_interruptibly(const std::shared_ptr<boost::asio::io_context>& context, boost::asio::thread_pool& pool);

// Starts the run on the caller's context and runs it here: the run's own work and its
// completions need no hop to another thread. nullopt with the Python error set when a signal
// handler raised meanwhile.
template <class T>
std::optional<RunOutcome<T>> run_on_caller(boost::asio::thread_pool& pool,
                                           const std::function<void(boost::asio::io_context&, RunDone<T>)>& start) {
    std::shared_ptr<boost::asio::io_context> context = caller_context();
    auto slot = std::make_shared<OutcomeSlot<T>>();
    start(*context, [slot](RunOutcome<T> outcome) { slot->fill(std::move(outcome)); });
    if (!run_interruptibly(context, pool)) return std::nullopt;
    // Out of work means done, unless a completion went astray; then wait for it like the pool's.
    if (!wait_interruptibly([&slot](std::chrono::milliseconds timeout) { return slot->wait_for(timeout); })) {
        return std::nullopt;
    }
    return slot->take();
}

}  // namespace zorv::python
