#include "net/transfer_driver.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

namespace zorv::net::detail {

namespace {

std::mutex driver_mutex;                     // serialises the making of a driver
std::atomic<TransferDriver*> driver_cell{};  // the driver of the process that made it

HttpError cancelled_error() { return HttpError{HttpErrorKind::Cancelled, "request cancelled"}; }
HttpError closed_error() { return HttpError{HttpErrorKind::Other, "HTTP client closed"}; }

// Requests inherited from another process belong to coroutines that do not exist here: dropping
// them would run their handlers' destructors against the parent's executors, so they are leaked.
void abandon(std::deque<std::unique_ptr<Transfer>>& waiting) {
    for (auto& t : waiting) static_cast<void>(t.release());
    waiting.clear();
}

}  // namespace

std::expected<TransferDriver*, std::string> TransferDriver::current() {
    const pid_t pid = getpid();
    TransferDriver* driver = driver_cell.load(std::memory_order_acquire);
    if (driver != nullptr && driver->pid_ == pid) return driver;
    std::lock_guard lock(driver_mutex);
    driver = driver_cell.load(std::memory_order_acquire);
    if (driver != nullptr && driver->pid_ == pid) return driver;
    // Deliberately leaked: its thread runs until the process ends, and a forked child's copy has
    // no thread at all.
    auto* made = new TransferDriver();
    made->pid_ = pid;
    made->previous_ = driver;
    made->multi_ = curl_multi_init();
    if (made->multi_ == nullptr) {
        delete made;
        return std::unexpected("curl_multi_init failed");
    }
    try {
        std::thread([made] { made->run(); }).detach();
    } catch (const std::exception& e) {
        curl_multi_cleanup(made->multi_);
        delete made;
        return std::unexpected(std::string(e.what()));
    }
    driver_cell.store(made, std::memory_order_release);
    return made;
}

void TransferDriver::close(const std::shared_ptr<ClientQueue>& client) {
    const pid_t pid = getpid();
    TransferDriver* driver = driver_cell.load(std::memory_order_acquire);
    if (driver == nullptr || driver->pid_ != pid) {
        // No driver here: whatever the client holds came from another process.
        if (client->owner != 0) abandon(client->waiting);
        return;
    }
    std::deque<std::unique_ptr<Transfer>> waiting;
    {
        std::lock_guard lock(driver->mutex_);
        if (client->owner != pid) {
            if (client->owner != 0) abandon(client->waiting);
            return;
        }
        waiting.swap(client->waiting);
        driver->closing_.push_back(client);
        driver->wake();
    }
    for (auto& t : waiting) t->complete(std::unexpected(closed_error()));
}

void TransferDriver::wake() {
    if (woken_) return;
    woken_ = true;
    curl_multi_wakeup(multi_);
}

void TransferDriver::adopt(ClientQueue& client) {
    abandon(client.waiting);
    client.active = 0;
    client.listed = false;
    client.owner = pid_;
}

void TransferDriver::submit(std::unique_ptr<Transfer> t) {
    std::shared_ptr<ClientQueue> client = t->client;
    std::lock_guard lock(mutex_);
    if (client->owner != pid_) adopt(*client);
    client->waiting.push_back(std::move(t));
    if (!client->listed) {
        client->listed = true;
        ready_.push_back(std::move(client));
    }
    wake();
}

void TransferDriver::cancel(const std::shared_ptr<ClientQueue>& client, std::uint64_t id) {
    std::unique_ptr<Transfer> waiting;
    {
        std::lock_guard lock(mutex_);
        if (client->owner != pid_) return;
        auto& queue = client->waiting;
        auto it = std::find_if(queue.begin(), queue.end(), [id](const auto& t) { return t->id == id; });
        if (it != queue.end()) {
            waiting = std::move(*it);
            queue.erase(it);
        } else {
            cancelled_.push_back(id);
            wake();
        }
    }
    if (waiting) waiting->complete(std::unexpected(cancelled_error()));
}

TransferDriver::Work TransferDriver::take_work() {
    Work work;
    std::lock_guard lock(mutex_);
    woken_ = false;
    for (const auto& client : freed_) --client->active;
    freed_.clear();
    work.cancelled.swap(cancelled_);
    work.closing.swap(closing_);
    auto still_waiting = [&work](const std::shared_ptr<ClientQueue>& client) {
        auto& c = *client;
        while (!c.waiting.empty() && c.active < c.max_in_flight) {
            work.starting.push_back(std::move(c.waiting.front()));
            c.waiting.pop_front();
            ++c.active;
        }
        c.listed = !c.waiting.empty();
        return c.listed;
    };
    std::erase_if(ready_, [&](const auto& client) { return !still_waiting(client); });
    return work;
}

void TransferDriver::ended(const Transfer& t) { freed_.push_back(t.client); }

CURL* TransferDriver::take_easy() {
    if (spare_easy_.empty()) return curl_easy_init();
    CURL* easy = spare_easy_.back();
    spare_easy_.pop_back();
    return easy;
}

void TransferDriver::recycle(Transfer& t) {
    constexpr std::size_t kMaxSpare = 64;
    CURL* easy = std::exchange(t.easy, nullptr);
    if (easy == nullptr) return;
    if (spare_easy_.size() >= kMaxSpare) {
        curl_easy_cleanup(easy);
        return;
    }
    curl_easy_reset(easy);
    spare_easy_.push_back(easy);
}

void TransferDriver::start(std::vector<std::unique_ptr<Transfer>>& starting) {
    for (auto& t : starting) {
        const char* failure = nullptr;
        if (!prepare(*t, take_easy())) {
            failure = "could not set up the request";
        } else if (curl_multi_add_handle(multi_, t->easy) != CURLM_OK) {
            failure = "could not start the request";
        }
        if (failure != nullptr) {
            ended(*t);
            t->complete(std::unexpected(HttpError{HttpErrorKind::Other, failure}));
            continue;
        }
        const std::uint64_t id = t->id;
        in_flight_.emplace(id, std::move(t));
    }
}

void TransferDriver::end_in_flight(std::uint64_t id, const HttpError& error) {
    auto it = in_flight_.find(id);
    if (it == in_flight_.end()) return;
    std::unique_ptr<Transfer> t = std::move(it->second);
    in_flight_.erase(it);
    curl_multi_remove_handle(multi_, t->easy);
    ended(*t);
    recycle(*t);
    t->complete(std::unexpected(error));
}

void TransferDriver::end_client(const std::shared_ptr<ClientQueue>& client) {
    std::vector<std::uint64_t> ids;
    for (const auto& [id, t] : in_flight_) {
        if (t->client == client) ids.push_back(id);
    }
    const HttpError closed = closed_error();
    for (std::uint64_t id : ids) end_in_flight(id, closed);
}

void TransferDriver::reap() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi_, &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        const CURLcode code = msg->data.result;
        void* owner = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &owner);
        curl_multi_remove_handle(multi_, msg->easy_handle);
        auto it = in_flight_.find(static_cast<Transfer*>(owner)->id);
        std::unique_ptr<Transfer> t = std::move(it->second);
        in_flight_.erase(it);
        ended(*t);
        finish(*t, code);
        recycle(*t);
    }
}

void TransferDriver::run() {
    for (;;) {
        Work work = take_work();
        start(work.starting);
        for (std::uint64_t id : work.cancelled) end_in_flight(id, cancelled_error());
        // After start: a closing client's requests taken this round are with libcurl by now.
        for (const auto& client : work.closing) end_client(client);
        int running = 0;
        curl_multi_perform(multi_, &running);
        reap();
        // A slot given back may let a waiting request start: go round again without sleeping.
        if (!freed_.empty()) continue;
        curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
    }
}

}  // namespace zorv::net::detail
