#include "net/async_pool.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <dirent.h>
#include <boost/asio/post.hpp>
#include <boost/asio/thread_pool.hpp>
#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <string>
#include <thread>

#include "net/http_client.h"
#include "net/loopback_server.h"
#include "net/run_awaitable.h"

namespace zorv::net {
namespace {

using namespace std::chrono_literals;

bool runs_work(boost::asio::thread_pool& pool) {
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> ran = done->get_future();
    boost::asio::post(pool, [done] { done->set_value(); });
    return ran.wait_for(10s) == std::future_status::ready;
}

std::size_t thread_count() {
    std::size_t count = 0;
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) return 0;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(dir);
    return count;
}

TEST(AsyncPool, OnePoolForEveryCaller) {
    auto first = shared_pool();
    ASSERT_TRUE(first) << first.error();
    auto second = shared_pool();
    ASSERT_TRUE(second) << second.error();
    EXPECT_EQ(*first, *second);
    EXPECT_TRUE(runs_work(**first));
    EXPECT_GE(available_cpus(), 1U);
}

// Forks from a process of its own, so that no thread of an earlier test holds a lock at the fork.
// True once every thread of the pool has started and run a task: a fork while a thread is still
// starting would leave the sanitizers' thread registry locked in the child.
bool all_threads_started(boost::asio::thread_pool& pool) {
    const auto threads = static_cast<std::ptrdiff_t>(available_cpus());
    auto started = std::make_shared<std::latch>(threads);
    for (std::ptrdiff_t i = 0; i < threads; ++i) boost::asio::post(pool, [started] { started->arrive_and_wait(); });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!started->try_wait()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    std::this_thread::sleep_for(50ms);  // back to waiting for work
    return true;
}

void fork_and_check_pools() {
    auto parent = shared_pool();
    if (!parent || !all_threads_started(**parent)) _exit(2);
    const pid_t pid = fork();
    if (pid < 0) _exit(3);
    if (pid == 0) {
        auto child = shared_pool();
        const bool ok = child && *child != *parent && runs_work(**child) && *shared_pool() == *child;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) _exit(4);
    if (WEXITSTATUS(status) != 0) _exit(5);
    _exit(runs_work(**parent) ? 0 : 6);
}

TEST(AsyncPoolDeathTest, ForkedChildMakesItsOwnPool) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(fork_and_check_pools(), ::testing::ExitedWithCode(0), "");
}

HttpOutcome get(const std::shared_ptr<HttpClient>& client, const std::string& url) {
    return test_support::run_awaitable(client->send(HttpRequest{"GET", url, {}, ""}), 10s)
        .value_or(std::unexpected(HttpError{}));
}

// Runs in a process of its own, so that no earlier test has started the transfer thread.
void count_transfer_threads() {
    test_support::LoopbackServer server(test_support::CannedReply{200, "{}"});
    const std::string url = server.url("/");
    // The server serves each open connection on a thread of its own.
    const auto threads = [&server] { return thread_count() - static_cast<std::size_t>(server.connections()); };
    const std::size_t before = threads();
    auto first = HttpClient::create();
    auto second = HttpClient::create();
    if (!first || !second) _exit(2);
    if (threads() != before) _exit(3);  // a client that nobody uses costs no thread
    if (!get(*first, url)) _exit(4);
    if (threads() != before + 1) _exit(5);  // the first request starts the one transfer thread
    auto third = HttpClient::create();
    if (!third || !get(*second, url) || !get(*third, url) || !get(*first, url)) _exit(6);
    _exit(threads() == before + 1 ? 0 : 7);  // more clients, more requests: no more threads
}

TEST(HttpClientThreadDeathTest, OneTransferThreadForEveryClient) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(count_transfer_threads(), ::testing::ExitedWithCode(0), "");
}

// A client inherited by a forked child works there, on a connection of the child's own: the
// parent's kept-alive connection is never written to, and the parent goes on using it.
void fork_with_a_used_client() {
    test_support::LoopbackServer server(test_support::CannedReply{200, "{}"});
    const std::string url = server.url("/");
    auto client = HttpClient::create();
    if (!client || !get(*client, url)) _exit(2);
    const pid_t pid = fork();
    if (pid < 0) _exit(3);
    if (pid == 0) {
        auto fresh = HttpClient::create();
        const bool ok = fresh && get(*client, url) && get(*fresh, url);
        client->reset();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) _exit(4);
    if (WEXITSTATUS(status) != 0) _exit(10 + WEXITSTATUS(status));
    if (!get(*client, url)) _exit(5);
    auto requests = server.requests();
    if (requests.size() != 4) _exit(6);
    // The parent's first and last requests share its connection; the child's two came on others.
    const bool parent_kept = requests.front().connection == requests.back().connection;
    const bool child_own = requests[1].connection != requests.front().connection &&
                           requests[2].connection != requests.front().connection;
    _exit(parent_kept && child_own ? 0 : 7);
}

TEST(HttpClientThreadDeathTest, InheritedClientWorksInAForkedChild) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(fork_with_a_used_client(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace zorv::net
