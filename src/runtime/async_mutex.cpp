#include "runtime/async_mutex.h"

#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <utility>

namespace zorv::runtime {

namespace asio = boost::asio;

boost::asio::awaitable<void> AsyncMutex::lock() {
    co_await asio::async_initiate<const asio::use_awaitable_t<>&, void()>(
        [this](auto handler) {
            auto executor = asio::get_associated_executor(handler);
            enqueue([executor, handler = std::move(handler)]() mutable { asio::post(executor, std::move(handler)); });
        },
        asio::use_awaitable);
}

void AsyncMutex::enqueue(Waiter waiter) {
    std::unique_lock guard(mutex_);
    if (locked_) {
        waiters_.push_back(std::move(waiter));
        return;
    }
    locked_ = true;
    guard.unlock();
    // The waiter posts its resumption: resuming inside the initiation would run the frame before
    // it has suspended.
    waiter();
}

void AsyncMutex::unlock() {
    std::unique_lock guard(mutex_);
    if (waiters_.empty()) {
        locked_ = false;
        return;
    }
    // The lock passes straight to the next waiter and stays held.
    auto next = std::move(waiters_.front());
    waiters_.pop_front();
    guard.unlock();
    next();
}

}  // namespace zorv::runtime
