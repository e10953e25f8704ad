#include "runtime/executor.h"

#include <gtest/gtest.h>

#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <chrono>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "core/error.h"

namespace zorv::runtime {
namespace {

namespace asio = boost::asio;

core::ZorvError unused() { return core::ZorvError("ZORV-TEST", "not used by these tests", core::ErrorKind::Execution); }

// Answers nothing these tests use; close and optimize keep the interface's defaults.
class FakeBackend : public Backend {
public:
    AsyncResult<std::vector<std::string>> list_collections() const override { co_return std::unexpected(unused()); }
    AsyncResult<bool> collection_exists(std::string) const override { co_return std::unexpected(unused()); }
    AsyncResult<protocol::CollectionSchema> collection_info(std::string) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> create_collection(std::string, plan::PlanCollectionConfig) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> update_collection(std::string, plan::PlanCollectionUpdate) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> delete_collection(std::string) const override { co_return std::unexpected(unused()); }
    AsyncResult<void> create_field_index(std::string, plan::PlanFieldIndex) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> delete_field_index(std::string, std::string) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<protocol::BackendReply> execute(plan::PlanOp) const override { co_return std::unexpected(unused()); }
    AsyncResult<std::vector<protocol::BackendReply>> query_batch(std::string, std::vector<plan::PlanQueryRequest>,
                                                                 std::optional<std::uint64_t>,
                                                                 std::optional<plan::Consistency>) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<std::vector<protocol::BackendReply>> update_batch(std::string,
                                                                  const std::vector<plan::UpdateOperation>&,
                                                                  bool) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> update_aliases(std::vector<AliasAction>) const override { co_return std::unexpected(unused()); }
};

// Counts closes; a close takes a while, so a second close can arrive while one is under way.
class SlowCloseBackend : public FakeBackend {
public:
    explicit SlowCloseBackend(std::vector<std::string>* log) : log_(log) {}

    AsyncResult<void> close() const override {
        log_->push_back("backend close begins");
        asio::steady_timer timer(co_await asio::this_coro::executor, std::chrono::milliseconds(20));
        co_await timer.async_wait(asio::use_awaitable);
        log_->push_back("backend close ends");
        co_return core::Result<void>{};
    }

private:
    std::vector<std::string>* log_;
};

std::shared_ptr<Executor> executor_with(std::unique_ptr<Backend> backend) {
    auto executor = build_executor(std::move(backend), ExecutorSettings{}, nullptr);
    executor->schema_cache.insert("c", SchemaCacheEntry{std::make_shared<protocol::CollectionSchema>(), nullptr});
    return executor;
}

asio::awaitable<void> close_and_log(std::shared_ptr<Executor> executor, std::vector<std::string>* log,
                                    std::string name) {
    auto closed = co_await close_executor(*executor);
    log->push_back(name + (closed ? " done" : " failed"));
}

TEST(CloseExecutor, ConcurrentClosesCloseTheBackendOnce) {
    std::vector<std::string> log;
    auto executor = executor_with(std::make_unique<SlowCloseBackend>(&log));
    asio::io_context context;
    auto rethrow = [](const std::exception_ptr& error) {
        if (error) std::rethrow_exception(error);
    };
    asio::co_spawn(context, close_and_log(executor, &log, "first"), rethrow);
    asio::co_spawn(context, close_and_log(executor, &log, "second"), rethrow);
    context.run_for(std::chrono::seconds(5));

    // The second close waits for the first instead of returning while the backend is closing.
    EXPECT_EQ(log,
              (std::vector<std::string>{"backend close begins", "backend close ends", "first done", "second done"}));
    EXPECT_TRUE(executor->closed.load());
    EXPECT_EQ(executor->schema_cache.size(), 0u);
}

TEST(CloseExecutor, ClosedExecutorRefusesEntryAndClosesAgainQuietly) {
    std::vector<std::string> log;
    auto executor = executor_with(std::make_unique<SlowCloseBackend>(&log));
    ASSERT_TRUE(check_open(*executor));

    asio::io_context context;
    asio::co_spawn(context, close_and_log(executor, &log, "first"), asio::detached);
    context.run_for(std::chrono::seconds(5));
    context.restart();
    asio::co_spawn(context, close_and_log(executor, &log, "again"), asio::detached);
    context.run_for(std::chrono::seconds(5));

    EXPECT_EQ(log,
              (std::vector<std::string>{"backend close begins", "backend close ends", "first done", "again done"}));
    auto checked = check_open(*executor);
    ASSERT_FALSE(checked);
    EXPECT_EQ(core::format_error(checked.error()), "[ZORV-CLIENT-CLOSED] cannot execute query on a closed executor");
    EXPECT_EQ(checked.error().kind, core::ErrorKind::Execution);
}

TEST(BackendDefaults, CloseSucceedsAndOptimizeIsRefused) {
    FakeBackend backend;
    asio::io_context context;
    std::optional<core::Result<void>> closed;
    std::optional<core::Result<void>> optimized;
    asio::co_spawn(context, backend.close(), [&](const std::exception_ptr&, core::Result<void> r) { closed = r; });
    asio::co_spawn(context, backend.optimize(),
                   [&](const std::exception_ptr&, core::Result<void> r) { optimized = r; });
    context.run_for(std::chrono::seconds(5));

    ASSERT_TRUE(closed && optimized);
    EXPECT_TRUE(*closed);
    ASSERT_FALSE(*optimized);
    EXPECT_EQ(core::format_error(optimized->error()),
              "[ZORV-BACKEND-OPTIMIZE] optimize is not supported by this backend");
    EXPECT_EQ(optimized->error().kind, core::ErrorKind::Validation);
}

}  // namespace
}  // namespace zorv::runtime
