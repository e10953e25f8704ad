// The executor's deadline: a run raced against a timer of settings.timeout_secs (none when the
// settings are absent or 0, or when the deadline lies past what the clock can hold). The run is
// started first, so one that completes in the same wake-up as the timer wins; when the timer wins
// the run is cancelled, which abandons its in-flight requests, and the call fails with ZORV-TIMEOUT.
#pragma once

#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>
#include <variant>

#include "core/error.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// now + seconds on the steady clock; none when the sum does not fit (such a deadline is never).
std::optional<std::chrono::steady_clock::time_point> deadline_after(std::uint64_t seconds);

// ZORV-TIMEOUT "operation timed out after {seconds}s".
core::ZorvError timeout_error(std::uint64_t seconds);

namespace detail {

// The race needs default-constructible results; a Result of a type without a default is not.
template <class T>
boost::asio::awaitable<std::optional<core::Result<T>>> optional_result(AsyncResult<T> run) {
    co_return co_await std::move(run);
}

}  // namespace detail

template <class T>
AsyncResult<T> with_deadline(const Executor& executor, AsyncResult<T> run) {
    const std::uint64_t seconds = executor.settings ? executor.settings->timeout_secs : 0;
    const auto deadline = seconds == 0 ? std::nullopt : deadline_after(seconds);
    if (!deadline) co_return co_await std::move(run);
    using namespace boost::asio::experimental::awaitable_operators;
    boost::asio::steady_timer timer(co_await boost::asio::this_coro::executor, *deadline);
    auto raced = co_await (detail::optional_result(std::move(run)) || timer.async_wait(boost::asio::use_awaitable));
    if (raced.index() == 0 && std::get<0>(raced)) co_return std::move(*std::get<0>(raced));
    co_return std::unexpected(timeout_error(seconds));
}

}  // namespace zorv::runtime
