// Executors on the live Qdrant server named by ZORV_TEST_QDRANT_URL, with collection names of
// their own (dropped again at the end), a record of the backend calls, and runners for preparation
// and dispatch.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/fmt/statement.h"
#include "core/parser/parser.h"
#include "runtime/executor.h"
#include "runtime/executor/dispatch.h"
#include "runtime/executor/prepare.h"
#include "runtime/recording_backend.h"
#include "runtime/rest/live_qdrant.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::test {

class LiveExecutorTest : public ::testing::Test {
protected:
    void SetUp() override {
        qdrant_ = test_support::LiveQdrant::from_env();
        if (!qdrant_) GTEST_SKIP() << test_support::no_qdrant_reason;
        url_ = std::getenv("ZORV_TEST_QDRANT_URL");
        while (!url_.empty() && url_.back() == '/') url_.pop_back();
    }

    void TearDown() override {
        for (const std::string& name : names_) static_cast<void>(qdrant_->send("DELETE", "/collections/" + name));
    }

    // A collection name no other test process uses; dropped at the end of the test.
    std::string collection(std::string_view base) {
        std::string name = "prep_" + std::to_string(::getpid()) + "_" + std::string(base);
        static_cast<void>(qdrant_->send("DELETE", "/collections/" + name));
        names_.push_back(name);
        return name;
    }

    // The REST backend behind a recorder of its calls.
    std::shared_ptr<Executor> executor(std::shared_ptr<const embed::Embedder> embedder = nullptr,
                                       std::optional<ExecutorSettings> settings = ExecutorSettings{}) const {
        auto backend = std::make_unique<RecordingBackend>(rest::make_rest_backend(rest::test::make_backend(url_)));
        return build_executor(std::move(backend), std::move(settings), std::move(embedder));
    }

    static RecordingBackend& recorded(const Executor& executor) {
        return static_cast<RecordingBackend&>(*executor.backend);
    }

    // Set-up statements go straight to the server, past the executor under test.
    void setup(const std::string& statement) const {
        auto sent = qdrant_->execute(statement);
        ASSERT_TRUE(sent) << statement << "\n  " << sent.error().message;
    }

    static core::Result<core::Statement> prepare(Executor& executor, const std::string& text) {
        auto statement = core::parse_statement(text);
        if (!statement) return std::unexpected(std::move(statement).error());
        return rest::test::run(prepare_statement(executor, std::move(*statement)), std::chrono::seconds(30));
    }

    static core::Result<protocol::StatementResult> dispatch(Executor& executor, const std::string& text) {
        auto statement = core::parse_statement(text);
        if (!statement) return std::unexpected(std::move(statement).error());
        return rest::test::run(plan_and_dispatch(executor, std::move(*statement)), std::chrono::seconds(30));
    }

    // The collection's "result" object as the server describes it; nothing when it is missing.
    std::optional<rest::JsonDocument> info(const std::string& name) const {
        auto reply = qdrant_->send("GET", "/collections/" + name);
        if (!reply) return std::nullopt;
        return std::move(*reply);
    }

    std::uint64_t count(const std::string& name) const {
        auto reply = qdrant_->send("POST", "/collections/" + name + "/points/count", R"({"exact":true})");
        EXPECT_TRUE(reply) << (reply ? "" : reply.error().message);
        std::uint64_t out = 0;
        if (reply && reply->root()["result"]["count"].get(out) != simdjson::SUCCESS) ADD_FAILURE() << "no count";
        return out;
    }

    std::optional<test_support::LiveQdrant> qdrant_;
    std::string url_;
    std::vector<std::string> names_;
};

}  // namespace zorv::runtime::test
