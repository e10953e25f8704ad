// A mutex that a coroutine waits for without blocking its thread, for critical sections that
// suspend (closing the backend). Lock with `co_await m.lock()` and release with unlock(), or
// hand the held lock to std::unique_lock(m, std::adopt_lock).
#pragma once

#include <boost/asio/awaitable.hpp>
#include <deque>
#include <functional>
#include <mutex>

namespace zorv::runtime {

class AsyncMutex {
public:
    AsyncMutex() = default;
    AsyncMutex(const AsyncMutex&) = delete;
    AsyncMutex& operator=(const AsyncMutex&) = delete;

    // Resumes on the awaiting coroutine's executor once the lock is held; waiters are served in
    // arrival order.
    boost::asio::awaitable<void> lock();
    void unlock();

private:
    // A waiter resumes its coroutine on that coroutine's own executor.
    using Waiter = std::move_only_function<void()>;
    void enqueue(Waiter waiter);

    std::mutex mutex_;
    bool locked_ = false;
    std::deque<Waiter> waiters_;
};

}  // namespace zorv::runtime
