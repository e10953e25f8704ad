// Shared pieces of the REST transport tests: a backend on a fresh client, and a runner.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "core/diagnostics.h"
#include "net/run_awaitable.h"
#include "runtime/rest/transport.h"

namespace zorv::runtime::rest::test {

inline RestBackend make_backend(const std::string& base, std::optional<std::string> key = std::nullopt,
                                net::HttpClientOptions options = rest_client_options()) {
    auto client = net::HttpClient::create(options);
    EXPECT_TRUE(client);
    return build_rest_backend(base, std::move(key), client ? *client : nullptr);
}

// Optional, because the runner needs a value type with a default.
template <class T>
boost::asio::awaitable<std::optional<core::Result<T>>> optional_of(AsyncResult<T> work) {
    co_return co_await std::move(work);
}

template <class T>
core::Result<T> run(AsyncResult<T> work, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto out = test_support::run_awaitable(optional_of(std::move(work)), limit);
    if (!out || !*out) return core::fail(core::Diag::BackendHttp, "did not finish");
    return std::move(**out);
}

inline RestCall get(std::string path) {
    return RestCall{.method = plan::HttpMethod::Get, .path = std::move(path), .query = {}, .body = std::nullopt};
}

inline RestCall post(std::string path, std::string body, plan::QueryParams query = {}) {
    return RestCall{.method = plan::HttpMethod::Post,
                    .path = std::move(path),
                    .query = std::move(query),
                    .body = std::move(body)};
}

}  // namespace zorv::runtime::rest::test
