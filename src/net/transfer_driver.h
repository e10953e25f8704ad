// The process's one libcurl multi handle and the one thread that drives it. Every HttpClient hands
// its transfers here, so a client costs no thread of its own and idle connections are pooled for
// the whole process. Internal to the HTTP client.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <expected>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "net/transfer.h"

namespace zorv::net::detail {

// What the driver keeps of one client: its cap on requests handed to libcurl and the requests
// waiting for a slot. Fields past the cap are guarded by the mutex of the driver of process `owner`.
struct ClientQueue {
    explicit ClientQueue(std::size_t cap) : max_in_flight(cap == 0 ? 1 : cap) {}
    const std::size_t max_in_flight;
    pid_t owner = 0;  // the process whose driver last took a request of this client; 0 before
    std::deque<std::unique_ptr<Transfer>> waiting;
    std::size_t active = 0;  // with libcurl now
    bool listed = false;     // on the driver's list of clients with waiting requests
};

class TransferDriver {
public:
    // This process's driver, made with its thread by the first caller. A child forked after the
    // driver started gets a fresh one: the parent's thread does not exist there and the parent's
    // connections must not be written to. A replaced driver is abandoned, never destroyed. The
    // error is the text of the failed start.
    static std::expected<TransferDriver*, std::string> current();

    // Fails every request of the client, waiting or with libcurl; other clients are untouched.
    // Safe to call in any process, with or without a driver.
    static void close(const std::shared_ptr<ClientQueue>& client);

    std::uint64_t next_id() { return next_id_.fetch_add(1, std::memory_order_relaxed); }

    // Queues the transfer under its client's cap.
    void submit(std::unique_ptr<Transfer> t);

    // A waiting transfer completes here and now; one with libcurl is removed by the driver thread.
    // An id that has finished meanwhile is ignored.
    void cancel(const std::shared_ptr<ClientQueue>& client, std::uint64_t id);

    TransferDriver(const TransferDriver&) = delete;
    TransferDriver& operator=(const TransferDriver&) = delete;

private:
    TransferDriver() = default;
    ~TransferDriver() = default;

    // Everything the thread takes from the other threads in one visit to the lock.
    struct Work {
        std::vector<std::unique_ptr<Transfer>> starting;
        std::vector<std::uint64_t> cancelled;
        std::vector<std::shared_ptr<ClientQueue>> closing;
    };

    void run();
    void wake();                      // with mutex_ held
    void adopt(ClientQueue& client);  // with mutex_ held
    Work take_work();                 // the driver thread only, from here on
    void start(std::vector<std::unique_ptr<Transfer>>& starting);
    void end_in_flight(std::uint64_t id, const HttpError& error);
    void end_client(const std::shared_ptr<ClientQueue>& client);
    void reap();
    void ended(const Transfer& t);
    CURL* take_easy();
    void recycle(Transfer& t);

    pid_t pid_ = 0;
    CURLM* multi_ = nullptr;
    TransferDriver* previous_ = nullptr;  // the abandoned driver of the parent process, kept reachable
    std::atomic<std::uint64_t> next_id_{1};

    std::mutex mutex_;
    std::vector<std::shared_ptr<ClientQueue>> ready_;    // guarded by mutex_
    std::vector<std::uint64_t> cancelled_;               // guarded by mutex_
    std::vector<std::shared_ptr<ClientQueue>> closing_;  // guarded by mutex_
    bool woken_ = false;                                 // guarded by mutex_

    // The driver thread only.
    std::unordered_map<std::uint64_t, std::unique_ptr<Transfer>> in_flight_;
    std::vector<std::shared_ptr<ClientQueue>> freed_;  // one entry per slot given back since take_work
    // Easy handles of finished transfers, reset for reuse: making one allocates its buffers anew.
    std::vector<CURL*> spare_easy_;
};

}  // namespace zorv::net::detail
