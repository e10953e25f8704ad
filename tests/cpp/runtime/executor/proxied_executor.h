// An executor on the REST backend, talking to the live Qdrant server through a recording proxy so
// tests can see what went over the wire; a collection per test, dropped at the end.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "net/recording_proxy.h"
#include "runtime/executor.h"
#include "runtime/rest/live_qdrant.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::test {

// The REST backend over `url` (the proxy's).
inline std::unique_ptr<Backend> rest_backend_at(const std::string& url) {
    return rest::make_rest_backend(rest::test::make_backend(url));
}

// A simdjson count of the points the server holds, exact.
inline std::optional<std::uint64_t> point_count(const test_support::LiveQdrant& live, const std::string& collection) {
    auto reply = live.send("POST", "/collections/" + collection + "/points/count", R"({"exact":true})");
    if (!reply) return std::nullopt;
    std::uint64_t count = 0;
    if (reply->root()["result"]["count"].get(count) != simdjson::SUCCESS) return std::nullopt;
    return count;
}

// Upserts sent with wait=false are applied a little later: poll, bounded.
inline std::optional<std::uint64_t> settled_count(const test_support::LiveQdrant& live, const std::string& collection,
                                                  std::uint64_t expected) {
    std::optional<std::uint64_t> count;
    for (int attempt = 0; attempt < 100; ++attempt) {
        count = point_count(live, collection);
        if (count == expected) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return count;
}

class ProxiedExecutorTest : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = test_support::LiveQdrant::from_env();
        if (!live_) GTEST_SKIP() << test_support::no_qdrant_reason;
        const char* url = std::getenv("ZORV_TEST_QDRANT_URL");
        proxy_ = std::make_unique<test_support::RecordingProxy>(url);
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        collection_ = std::string("zorv_") + info->test_suite_name() + "_" + info->name();
        for (char& c : collection_) {
            if (c == '/') c = '_';
        }
        drop_collection();
    }

    void TearDown() override {
        if (live_) drop_collection();
    }

    void drop_collection() const { static_cast<void>(live_->send("DELETE", "/collections/" + collection_)); }

    // A collection with one unnamed dense vector of size 2.
    void create_collection() const {
        auto created = live_->send("PUT", "/collections/" + collection_, R"({"vectors":{"size":2,"distance":"Dot"}})");
        ASSERT_TRUE(created) << core::format_error(created.error());
    }

    std::shared_ptr<Executor> executor(std::optional<ExecutorSettings> settings = ExecutorSettings{}) const {
        return build_executor(rest_backend_at(proxy_->url()), std::move(settings), nullptr);
    }

    // The requests that went over the wire with this method, in order.
    std::vector<test_support::RecordedRequest> requests(const std::string& method) const {
        std::vector<test_support::RecordedRequest> out;
        for (auto& request : proxy_->requests()) {
            if (request.method == method) out.push_back(std::move(request));
        }
        return out;
    }

    std::optional<test_support::LiveQdrant> live_;
    std::unique_ptr<test_support::RecordingProxy> proxy_;
    std::string collection_;
};

}  // namespace zorv::runtime::test
