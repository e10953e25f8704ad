// The executor's deadline over a whole run, against a loopback server that keeps the first request
// waiting: the run fails after the deadline and its transfer is given up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "core/error.h"
#include "net/loopback_server.h"
#include "runtime/executor.h"
#include "runtime/executor/runs.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime {
namespace {

using test_support::CannedReply;
using test_support::LoopbackServer;
using test_support::RecordedRequest;

TEST(RunsDeadline, RunPastItsDeadlineFailsAndFreesItsTransfer) {
    // The first request is answered only after 10 s; later ones at once.
    auto seen = std::make_shared<std::atomic<int>>(0);
    LoopbackServer server([seen](const RecordedRequest&) {
        CannedReply reply{200, R"({"result":{"count":0},"status":"ok","time":0.001})"};
        if ((*seen)++ == 0) reply.delay = std::chrono::seconds(10);
        return reply;
    });
    net::HttpClientOptions options = rest::rest_client_options();
    options.max_in_flight = 1;  // a transfer left behind would hold the only slot
    auto client = net::HttpClient::create(options);
    ASSERT_TRUE(client);
    auto executor =
        build_executor(rest::make_rest_backend(rest::build_rest_backend(server.url(""), std::nullopt, *client)),
                       ExecutorSettings{.timeout_secs = 1}, nullptr);

    const auto start = std::chrono::steady_clock::now();
    auto timed_out = rest::test::run(execute_script(*executor, "COUNT FROM c", false), std::chrono::seconds(5));
    const auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(timed_out);
    EXPECT_EQ(core::format_error(timed_out.error()), "[ZORV-TIMEOUT] operation timed out after 1s");
    EXPECT_EQ(timed_out.error().kind, core::ErrorKind::Transport);
    EXPECT_GE(waited, std::chrono::milliseconds(900));
    EXPECT_LT(waited, std::chrono::seconds(3));

    // The next run gets the slot at once and completes within its own deadline.
    auto next = rest::test::run(execute_script(*executor, "COUNT FROM c", false), std::chrono::seconds(5));
    ASSERT_TRUE(next) << core::format_error(next.error());
    EXPECT_EQ(next->results.at(0).message, "Count: 0");
    EXPECT_EQ(server.requests().size(), 2u);
}

}  // namespace
}  // namespace zorv::runtime
