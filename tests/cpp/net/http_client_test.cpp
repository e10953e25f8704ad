#include "net/http_client.h"

#include <gtest/gtest.h>

#include <boost/asio/awaitable.hpp>
#include <boost/asio/experimental/awaitable_operators.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/this_coro.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

#include "net/loopback_server.h"
#include "net/run_awaitable.h"

namespace zorv::net {
namespace {

using namespace std::chrono_literals;
using test_support::CannedReply;
using test_support::LoopbackServer;
using test_support::run_awaitable;

std::shared_ptr<HttpClient> make_client(HttpClientOptions options = {}) {
    auto client = HttpClient::create(options);
    EXPECT_TRUE(client) << client.error();
    return *client;
}

HttpOutcome send_one(const std::shared_ptr<HttpClient>& client, HttpRequest request) {
    return run_awaitable(client->send(std::move(request))).value_or(std::unexpected(HttpError{}));
}

TEST(HttpClient, SendsMethodHeadersAndBodyAndReadsTheReply) {
    LoopbackServer server(CannedReply{201, R"({"ok":true})"});
    auto client = make_client();
    auto outcome = send_one(client, {"PUT", server.url("/a/b?x=1"), {{"X-Thing", "v"}}, "payload"});
    ASSERT_TRUE(outcome) << outcome.error().message;
    EXPECT_EQ(outcome->status, 201);
    EXPECT_EQ(outcome->body, R"({"ok":true})");
    EXPECT_EQ(outcome->headers.front(), (std::pair<std::string, std::string>{"Content-Type", "application/json"}));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].method, "PUT");
    EXPECT_EQ(requests[0].target, "/a/b?x=1");
    EXPECT_EQ(requests[0].headers["x-thing"], "v");
    EXPECT_EQ(requests[0].body, "payload");
    EXPECT_FALSE(requests[0].headers.contains("expect"));
}

TEST(HttpClient, LargeBodiesGoOutWithoutWaitingForContinue) {
    LoopbackServer server(CannedReply{200, "{}"});
    auto client = make_client({.connect_timeout = 1s, .total_timeout = 800ms});
    auto outcome = send_one(client, {"POST", server.url(), {}, std::string(2 << 20, 'x')});
    ASSERT_TRUE(outcome) << outcome.error().message;
    EXPECT_EQ(server.requests().at(0).body.size(), std::size_t{2} << 20);
}

TEST(HttpClient, ConcurrentRequestsAllComplete) {
    LoopbackServer server([](const test_support::RecordedRequest& r) { return CannedReply{200, r.body}; });
    auto client = make_client({.max_in_flight = 2});
    auto many = [](std::shared_ptr<HttpClient> c, std::string url) -> boost::asio::awaitable<int> {
        std::vector<boost::asio::awaitable<HttpOutcome>> calls;
        calls.reserve(6);
        int matched = 0;
        for (int i = 0; i < 6; ++i) calls.push_back(c->send({"POST", url, {}, std::to_string(i)}));
        for (int i = 0; i < 6; ++i) {
            auto outcome = co_await std::move(calls[i]);
            if (outcome && outcome->body == std::to_string(i)) ++matched;
        }
        co_return matched;
    };
    EXPECT_EQ(run_awaitable(many(client, server.url())), 6);
}

TEST(HttpClient, ConnectFailuresAreToldApartFromOthers) {
    test_support::ClosedPort closed;
    test_support::FullBacklogListener full;
    LoopbackServer slow(CannedReply{200, "{}", 2s});
    auto client = make_client({.connect_timeout = 300ms, .total_timeout = 600ms});
    struct Case {
        std::string url;
        HttpErrorKind kind;
    };
    for (const Case& c :
         {Case{closed.url(), HttpErrorKind::Connect}, Case{full.url(), HttpErrorKind::Connect},
          Case{"http://name.invalid/embed", HttpErrorKind::Connect}, Case{slow.url(), HttpErrorKind::Other},
          Case{"http://127.0.0.1:99999/embed", HttpErrorKind::Other}}) {
        auto outcome = send_one(client, {"POST", c.url, {}, "{}"});
        ASSERT_FALSE(outcome) << c.url;
        EXPECT_EQ(outcome.error().kind, c.kind) << c.url << ": " << outcome.error().message;
        EXPECT_FALSE(outcome.error().message.empty());
    }
}

TEST(HttpClient, HeaderValueWithControlCharacterIsRefusedBeforeConnecting) {
    LoopbackServer server(CannedReply{200, "{}"});
    auto client = make_client();
    auto outcome = send_one(client, {"POST", server.url(), {{"Authorization", "Bearer a\nX-Evil: 1"}}, "{}"});
    ASSERT_FALSE(outcome);
    EXPECT_EQ(outcome.error().kind, HttpErrorKind::Other);
    EXPECT_EQ(server.connections(), 0);
    EXPECT_TRUE(is_valid_header_value("Bearer a\tb"));
    EXPECT_FALSE(is_valid_header_value("a\rb"));
    EXPECT_FALSE(is_valid_header_value(std::string("a\0b", 3)));
    EXPECT_FALSE(is_valid_header_value("a\x7f"));
}

TEST(HttpClient, FailuresAfterTheHeadAreReadFailures) {
    CannedReply truncated{200, std::string(100, 'x')};
    truncated.send_only = 10;
    CannedReply reset_head{200, "{}"};
    reset_head.reset_before_head = true;
    CannedReply trickled{200, std::string(40, 'x')};
    trickled.trickle_bytes = 4;
    trickled.trickle_every = 100ms;
    struct Case {
        std::string name;
        CannedReply reply;
        HttpErrorKind kind;
        std::size_t cap = 0;
    };
    const Case cases[] = {
        {"truncated", truncated, HttpErrorKind::Read},
        {"reset before head", reset_head, HttpErrorKind::Other},
        {"slow head", CannedReply{200, "{}", 1s}, HttpErrorKind::Other},
        {"trickled past the limit", trickled, HttpErrorKind::Read},
        {"past the cap", CannedReply{200, std::string(1001, 'x')}, HttpErrorKind::TooLarge, 1000},
    };
    auto client = make_client({.connect_timeout = 1s, .total_timeout = 5s});
    for (const Case& c : cases) {
        LoopbackServer server(c.reply);
        HttpRequest request{"GET", server.url(), {}, ""};
        request.timeout = 500ms;
        request.max_body_bytes = c.cap;
        auto outcome = send_one(client, request);
        ASSERT_FALSE(outcome) << c.name;
        EXPECT_EQ(outcome.error().kind, c.kind) << c.name << ": " << outcome.error().message;
    }
    LoopbackServer exact(CannedReply{200, std::string(1000, 'x')});
    HttpRequest request{"GET", exact.url(), {}, ""};
    request.max_body_bytes = 1000;
    EXPECT_TRUE(send_one(client, request));
}

TEST(HttpClient, WaitingForAFreeSlotDoesNotCountAgainstTheTimeout) {
    LoopbackServer server(CannedReply{200, "{}", 400ms});
    auto client = make_client({.connect_timeout = 1s, .total_timeout = 700ms, .max_in_flight = 1});
    auto three = [](std::shared_ptr<HttpClient> c, std::string url) -> boost::asio::awaitable<int> {
        using namespace boost::asio::experimental::awaitable_operators;
        HttpRequest request{"GET", url, {}, ""};
        auto [a, b, d] = co_await (c->send(request) && c->send(request) && c->send(request));
        co_return static_cast<int>(a.has_value()) + static_cast<int>(b.has_value()) + static_cast<int>(d.has_value());
    };
    // One at a time, 1.2 s in all: the last would have failed had its wait counted.
    EXPECT_EQ(run_awaitable(three(client, server.url())), 3);
}

TEST(HttpClient, CancellingTheAwaiterEndsTheTransfer) {
    LoopbackServer server([](const test_support::RecordedRequest& r) {
        return r.target == "/slow" ? CannedReply{200, "{}", 3s} : CannedReply{200, "fast"};
    });
    auto client = make_client({.connect_timeout = 1s, .total_timeout = 10s, .max_in_flight = 1});
    auto race = [](std::shared_ptr<HttpClient> c, std::string slow, std::string fast) -> boost::asio::awaitable<int> {
        using namespace boost::asio::experimental::awaitable_operators;
        boost::asio::steady_timer timer(co_await boost::asio::this_coro::executor, 100ms);
        HttpRequest slow_request{"GET", slow, {}, ""};
        HttpRequest fast_request{"GET", fast, {}, ""};
        // With one slot, the second slow send waits in the queue: the deadline must free both.
        auto raced =
            co_await ((c->send(slow_request) && c->send(slow_request)) || timer.async_wait(boost::asio::use_awaitable));
        auto after = co_await c->send(fast_request);
        co_return static_cast<int>(raced.index() == 1) + static_cast<int>(after.has_value() && after->body == "fast");
    };
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(run_awaitable(race(client, server.url("/slow"), server.url("/fast"))), 2);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2500ms);
}

// Every client shares the process's transfer thread; destroying one mid-flight ends its own
// requests only.
boost::asio::awaitable<HttpOutcome> close_then_send(std::shared_ptr<HttpClient>* closing,
                                                    std::shared_ptr<HttpClient> other, std::string url) {
    boost::asio::steady_timer timer(co_await boost::asio::this_coro::executor, 200ms);
    co_await timer.async_wait(boost::asio::use_awaitable);
    closing->reset();
    HttpRequest request{"GET", std::move(url), {}, ""};
    co_return co_await other->send(std::move(request));
}

boost::asio::awaitable<std::tuple<HttpOutcome, HttpOutcome>> close_one_mid_flight(std::shared_ptr<HttpClient> a,
                                                                                  std::shared_ptr<HttpClient> b,
                                                                                  std::string slow, std::string fast) {
    using namespace boost::asio::experimental::awaitable_operators;
    HttpRequest request{"GET", std::move(slow), {}, ""};
    auto pending = a->send(std::move(request));
    auto after = close_then_send(&a, std::move(b), std::move(fast));
    co_return co_await (std::move(pending) && std::move(after));
}

TEST(HttpClient, DestroyingOneClientMidFlightLeavesTheOthersWorking) {
    LoopbackServer server([](const test_support::RecordedRequest& r) {
        return r.target == "/slow" ? CannedReply{200, "{}", 3s} : CannedReply{200, "fast"};
    });
    auto started = std::chrono::steady_clock::now();
    auto outcome =
        run_awaitable(close_one_mid_flight(make_client(), make_client(), server.url("/slow"), server.url("/fast")));
    ASSERT_TRUE(outcome);
    auto& [closed, fine] = *outcome;
    ASSERT_FALSE(closed);
    EXPECT_EQ(closed.error().kind, HttpErrorKind::Other);
    EXPECT_EQ(closed.error().message, "HTTP client closed");
    ASSERT_TRUE(fine) << fine.error().message;
    EXPECT_EQ(fine->body, "fast");
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2500ms);
}

// The cap on requests in flight is each client's own: one client's full slots never hold back
// another's request.
TEST(HttpClient, EachClientHasItsOwnCapOnRequestsInFlight) {
    std::mutex mutex;
    std::condition_variable arrived;
    int seen = 0;
    LoopbackServer server([&](const test_support::RecordedRequest&) {
        std::unique_lock lock(mutex);
        ++seen;
        arrived.notify_all();
        const bool together = arrived.wait_for(lock, 3s, [&] { return seen >= 2; });
        return CannedReply{200, together ? "together" : "alone"};
    });
    auto a = make_client({.max_in_flight = 1});
    auto b = make_client({.max_in_flight = 1});
    auto both = [](std::shared_ptr<HttpClient> a, std::shared_ptr<HttpClient> b,
                   std::string url) -> boost::asio::awaitable<std::string> {
        using namespace boost::asio::experimental::awaitable_operators;
        HttpRequest request{"GET", url, {}, ""};
        auto [x, y] = co_await (a->send(request) && b->send(request));
        co_return (x ? x->body : "failed") + " " + (y ? y->body : "failed");
    };
    EXPECT_EQ(run_awaitable(both(a, b, server.url())), "together together");
}

TEST(HttpClient, StatusTextUsesTheStandardPhrase) {
    EXPECT_EQ(status_text(401), "401 Unauthorized");
    EXPECT_EQ(status_text(503), "503 Service Unavailable");
    EXPECT_EQ(status_text(200), "200 OK");
    EXPECT_EQ(status_text(599), "599 <unknown status code>");
}

}  // namespace
}  // namespace zorv::net
