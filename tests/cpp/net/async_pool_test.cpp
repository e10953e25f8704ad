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

// A client that nobody uses costs no thread; its transfer thread comes with the first request.
TEST(HttpClientThread, StartsWithTheFirstRequest) {
    test_support::LoopbackServer server(test_support::CannedReply{200, "{}"});
    const std::size_t before = thread_count();
    auto client = HttpClient::create();
    ASSERT_TRUE(client) << client.error();
    EXPECT_EQ(thread_count(), before);
    HttpRequest request{"GET", "http://127.0.0.1:" + std::to_string(server.port()) + "/", {}, ""};
    auto outcome = test_support::run_awaitable((*client)->send(std::move(request)));
    ASSERT_TRUE(outcome && *outcome);
    // libcurl may add a resolver thread of its own beside the transfer thread.
    EXPECT_GT(thread_count(), before);
}

// A forked child must not wait on the parent's transfer thread nor write to its connections: its
// first request sets up the child's own, and the client can be dropped there.
TEST(HttpClientThread, InheritedClientWorksInAForkedChild) {
    test_support::LoopbackServer server(test_support::CannedReply{200, "{}"});
    auto client = HttpClient::create();
    ASSERT_TRUE(client) << client.error();
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/";
    auto warm = test_support::run_awaitable((*client)->send(HttpRequest{"GET", url, {}, ""}));
    ASSERT_TRUE(warm && *warm);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        auto outcome = test_support::run_awaitable((*client)->send(HttpRequest{"GET", url, {}, ""}), 5s);
        const bool answered = outcome && *outcome && (*outcome)->status == 200;
        client->reset();
        _exit(answered ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

}  // namespace
}  // namespace zorv::net
