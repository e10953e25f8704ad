#include "net/async_pool.h"

#include <sched.h>
#include <unistd.h>

#include <boost/asio/thread_pool.hpp>
#include <exception>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace zorv::net {
namespace {

struct PoolCell {
    boost::asio::thread_pool* pool = nullptr;
    pid_t creator = 0;
};

std::mutex pool_mutex;
PoolCell pool_cell;  // guarded by pool_mutex

}  // namespace

std::size_t available_cpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) != 0) return 1;
    const int count = CPU_COUNT(&set);
    return count > 0 ? static_cast<std::size_t>(count) : 1;
}

std::expected<boost::asio::thread_pool*, std::string> shared_pool() {
    const pid_t pid = getpid();
    std::lock_guard lock(pool_mutex);
    if (pool_cell.pool != nullptr && pool_cell.creator == pid) return pool_cell.pool;
    try {
        // Deliberately leaked: destroying a pool joins its threads, and a forked child's copy has none.
        auto* pool = new boost::asio::thread_pool(available_cpus());
        pool_cell = PoolCell{pool, pid};
        return pool;
    } catch (const std::exception& e) {
        return std::unexpected(std::string(e.what()));
    }
}

void stop_shared_pool(std::chrono::milliseconds limit) {
    boost::asio::thread_pool* pool = nullptr;
    {
        std::lock_guard lock(pool_mutex);
        if (pool_cell.pool == nullptr || pool_cell.creator != getpid()) return;
        pool = pool_cell.pool;
    }
    pool->stop();
    // join() has no time limit of its own: a helper joins while this thread waits at most `limit`.
    auto joined = std::make_shared<std::promise<void>>();
    std::future<void> done = joined->get_future();
    try {
        std::thread([pool, joined] {
            pool->join();
            joined->set_value();
        }).detach();
    } catch (const std::system_error&) {
        return;  // no thread to join with: leave without waiting
    }
    done.wait_for(limit);
}

}  // namespace zorv::net
