// Runs one awaitable to completion on a private io_context, for at most `limit`.
#pragma once

#include <gtest/gtest.h>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/io_context.hpp>
#include <chrono>
#include <exception>
#include <optional>

namespace zorv::test_support {

template <class T>
std::optional<T> run_awaitable(boost::asio::awaitable<T> work,
                               std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    boost::asio::io_context context;
    std::optional<T> out;
    boost::asio::co_spawn(context, std::move(work), [&out](const std::exception_ptr& error, T value) {
        if (!error) out = std::move(value);
    });
    context.run_for(limit);
    EXPECT_TRUE(out.has_value()) << "the awaitable did not finish in time";
    return out;
}

}  // namespace zorv::test_support
