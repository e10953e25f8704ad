// The executor's deadline: no timer without one, the run's own outcome when it finishes in time,
// ZORV-TIMEOUT when it does not, and the run's in-flight request abandoned on the way.
#include "runtime/executor/deadline.h"

#include <gtest/gtest.h>

#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>

#include "core/diagnostics.h"
#include "net/http_client.h"
#include "net/loopback_server.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime {
namespace {

namespace asio = boost::asio;
using clock = std::chrono::steady_clock;
using rest::test::run;

// The deadline reads nothing of the executor but its settings.
std::shared_ptr<Executor> executor_with_timeout(std::optional<std::uint64_t> seconds) {
    std::optional<ExecutorSettings> settings;
    if (seconds) settings = ExecutorSettings{.timeout_secs = *seconds};
    return build_executor(nullptr, settings, nullptr);
}

AsyncResult<int> answer_after(std::chrono::milliseconds delay, int value) {
    asio::steady_timer timer(co_await asio::this_coro::executor, delay);
    co_await timer.async_wait(asio::use_awaitable);
    co_return value;
}

AsyncResult<long> http_status(std::shared_ptr<net::HttpClient> client, std::string url) {
    net::HttpRequest request{.method = "GET", .url = std::move(url)};
    auto outcome = co_await client->send(std::move(request));
    if (!outcome) co_return core::fail(core::Diag::BackendHttp, outcome.error().message);
    co_return outcome->status;
}

TEST(Deadline, RunInTimeOrWithoutDeadlineKeepsItsOutcome) {
    struct Case {
        std::optional<std::uint64_t> seconds;
        std::chrono::milliseconds run_takes;
    };
    // A timer of 0 s would strike before a run of 50 ms ends.
    for (const Case& c : {Case{std::nullopt, std::chrono::milliseconds(50)}, Case{0, std::chrono::milliseconds(50)},
                          Case{1, std::chrono::milliseconds(50)},
                          Case{std::numeric_limits<std::uint64_t>::max(), std::chrono::milliseconds(50)}}) {
        auto executor = executor_with_timeout(c.seconds);
        const auto start = clock::now();
        auto out = run(with_deadline(*executor, answer_after(c.run_takes, 7)), std::chrono::seconds(10));
        ASSERT_TRUE(out) << core::format_error(out.error());
        EXPECT_EQ(*out, 7);
        // The timer is cancelled with the run's completion, not waited for.
        EXPECT_LT(clock::now() - start, c.run_takes + std::chrono::milliseconds(700));
    }
    auto failing = executor_with_timeout(5);
    auto error = run(with_deadline(*failing, []() -> AsyncResult<int> {
        co_return core::fail(core::Diag::BackendHttp, "refused");
    }()));
    ASSERT_FALSE(error);
    EXPECT_EQ(error.error().message, "refused");
}

TEST(Deadline, UnansweredRequestIsAbandonedAtTheDeadline) {
    test_support::CannedReply never;
    never.delay = std::chrono::seconds(30);
    test_support::LoopbackServer server(never);
    auto client = net::HttpClient::create();
    ASSERT_TRUE(client);
    auto executor = executor_with_timeout(1);

    const auto start = clock::now();
    auto out = run(with_deadline(*executor, http_status(*client, server.url("/hang"))), std::chrono::seconds(10));
    const auto took = clock::now() - start;

    ASSERT_FALSE(out);
    EXPECT_EQ(core::format_error(out.error()), "[ZORV-TIMEOUT] operation timed out after 1s");
    EXPECT_EQ(out.error().kind, core::ErrorKind::Transport);
    // The race completes only once the request has gone: it was cancelled, not waited out.
    EXPECT_GE(took, std::chrono::milliseconds(950));
    EXPECT_LT(took, std::chrono::milliseconds(2500));
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(Deadline, DeadlinePastTheClockIsNever) {
    EXPECT_FALSE(deadline_after(std::numeric_limits<std::uint64_t>::max()));
    EXPECT_FALSE(deadline_after(std::uint64_t{1} << 62));
    const auto before = clock::now();
    auto one = deadline_after(1);
    ASSERT_TRUE(one);
    EXPECT_GE(*one - before, std::chrono::seconds(1));
    EXPECT_LT(*one - before, std::chrono::seconds(2));
}

}  // namespace
}  // namespace zorv::runtime
