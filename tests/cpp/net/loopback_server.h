// A small HTTP/1.1 service on 127.0.0.1 for the client tests: canned replies, a record of every
// request and connection, keep-alive, and every wait bounded so a broken client cannot hang a test.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zorv::test_support {

struct RecordedRequest {
    std::string method;
    std::string target;
    std::map<std::string, std::string> headers;                    // names in lower case
    std::vector<std::pair<std::string, std::string>> header_list;  // as sent, in order
    std::string body;
    int connection = 0;  // 1 for the first accepted connection, and so on
};

// A reply and the faults to play with it.
struct CannedReply {
    int status = 200;
    std::string body;
    std::chrono::milliseconds delay{0};                        // before the head
    std::vector<std::pair<std::string, std::string>> headers;  // after Content-Type and Content-Length
    // Send the body in pieces of this many bytes, `trickle_every` apart (0: all at once).
    std::size_t trickle_bytes = 0;
    std::chrono::milliseconds trickle_every{0};
    // Send only this much of the body (Content-Length still says all of it), then close.
    std::size_t send_only = std::string::npos;
    // Close with a reset (no FIN) where the reply stops; before the head when `reset_before_head`.
    bool reset = false;
    bool reset_before_head = false;
};

class LoopbackServer {
public:
    using Handler = std::function<CannedReply(const RecordedRequest&)>;

    // Every request gets `reply`.
    explicit LoopbackServer(const CannedReply& reply)
        : LoopbackServer([reply](const RecordedRequest&) { return reply; }) {}

    explicit LoopbackServer(Handler handler) : handler_(std::move(handler)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = loopback(0);
        static_cast<void>(::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
        ::listen(listener_, 16);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] { accept_loop(); });
    }

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    ~LoopbackServer() {
        stop_ = true;
        acceptor_.join();
        for (auto& t : workers_) t.join();
        ::close(listener_);
    }

    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path = "/embed") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

    std::vector<RecordedRequest> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    int connections() const { return connections_.load(); }

    static sockaddr_in loopback(std::uint16_t port) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return addr;
    }

private:
    static constexpr int poll_ms = 20;
    static constexpr auto idle_limit = std::chrono::seconds(10);

    void accept_loop() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, poll_ms) <= 0) continue;
            int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0) continue;
            int id = ++connections_;
            workers_.emplace_back([this, fd, id] { serve(fd, id); });
        }
    }

    // Reads until `pred` holds on the buffer, the peer closes, the server stops or it idles too long.
    bool read_until(int fd, std::string& buffer, const std::function<bool()>& pred) {
        auto deadline = std::chrono::steady_clock::now() + idle_limit;
        while (!pred()) {
            if (stop_ || std::chrono::steady_clock::now() > deadline) return false;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, poll_ms) <= 0) continue;
            char chunk[4096];
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) return false;
            buffer.append(chunk, static_cast<std::size_t>(n));
        }
        return true;
    }

    void serve(int fd, int id) {
        std::string buffer;
        while (!stop_) {
            std::size_t end = std::string::npos;
            if (!read_until(fd, buffer, [&] { return (end = buffer.find("\r\n\r\n")) != std::string::npos; })) break;
            RecordedRequest request = parse_head(buffer.substr(0, end));
            request.connection = id;
            buffer.erase(0, end + 4);
            std::size_t length = 0;
            if (auto it = request.headers.find("content-length"); it != request.headers.end()) {
                length = std::stoul(it->second);
            }
            if (!read_until(fd, buffer, [&] { return buffer.size() >= length; })) break;
            request.body = buffer.substr(0, length);
            buffer.erase(0, length);
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            CannedReply reply = handler_(request);
            if (!play(fd, reply)) {
                if (reply.reset || reply.reset_before_head) reset_on_close(fd);
                break;
            }
        }
        ::close(fd);
    }

    // Sleeps in short steps so a stopping server never waits long.
    void pause(std::chrono::milliseconds span) {
        for (auto waited = std::chrono::milliseconds(0); waited < span && !stop_;
             waited += std::chrono::milliseconds(poll_ms)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
        }
    }

    static bool send_all(int fd, std::string_view data) {
        while (!data.empty()) {
            ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            data.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }

    static void reset_on_close(int fd) {
        linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }

    // Writes the reply with its faults; false when the connection must end here.
    bool play(int fd, const CannedReply& reply) {
        pause(reply.delay);
        if (reply.reset_before_head) return false;
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) +
                           " Canned\r\nContent-Type: application/json\r\nContent-Length: " +
                           std::to_string(reply.body.size()) + "\r\n";
        for (const auto& [name, value] : reply.headers) head.append(name).append(": ").append(value).append("\r\n");
        head += "\r\n";
        if (!send_all(fd, head)) return false;
        std::string_view body(reply.body);
        const bool cut = reply.send_only < body.size();
        if (cut) body = body.substr(0, reply.send_only);
        const std::size_t piece = reply.trickle_bytes == 0 ? body.size() : reply.trickle_bytes;
        for (std::size_t at = 0; at < body.size(); at += piece) {
            if (at > 0) pause(reply.trickle_every);
            if (stop_ || !send_all(fd, body.substr(at, piece))) return false;
        }
        return !cut && !reply.reset;
    }

    static RecordedRequest parse_head(const std::string& head) {
        RecordedRequest request;
        std::size_t line_end = head.find("\r\n");
        std::string first = head.substr(0, line_end);
        std::size_t sp1 = first.find(' ');
        std::size_t sp2 = first.find(' ', sp1 + 1);
        request.method = first.substr(0, sp1);
        request.target = first.substr(sp1 + 1, sp2 - sp1 - 1);
        std::size_t at = line_end == std::string::npos ? head.size() : line_end + 2;
        while (at < head.size()) {
            std::size_t next = head.find("\r\n", at);
            if (next == std::string::npos) next = head.size();
            std::string line = head.substr(at, next - at);
            std::size_t colon = line.find(':');
            if (colon != std::string::npos) {
                std::string name = line.substr(0, colon);
                std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
                std::size_t v = line.find_first_not_of(' ', colon + 1);
                std::string value = v == std::string::npos ? "" : line.substr(v);
                request.header_list.emplace_back(line.substr(0, colon), value);
                request.headers[name] = value;
            }
            at = next + 2;
        }
        return request;
    }

    Handler handler_;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::vector<RecordedRequest> requests_;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
};

// A port with nothing listening: bound, never listened on, so connects are refused.
class ClosedPort {
public:
    ClosedPort() {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = LoopbackServer::loopback(0);
        static_cast<void>(::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~ClosedPort() { ::close(fd_); }
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/embed"; }

private:
    int fd_ = -1;
    std::uint16_t port_ = 0;
};

// A listener that never accepts, its backlog filled by connections of its own: the kernel drops
// further SYNs, so a client's connect can only time out.
class FullBacklogListener {
public:
    FullBacklogListener() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr = LoopbackServer::loopback(0);
        static_cast<void>(::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
        ::listen(listener_, 0);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        for (int i = 0; i < 4; ++i) {
            int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
            // Non-blocking: the handshake completes in the kernel, never accepted.
            static_cast<void>(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr));
            fillers_.push_back(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~FullBacklogListener() {
        for (int fd : fillers_) ::close(fd);
        ::close(listener_);
    }
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/embed"; }

private:
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::vector<int> fillers_;
};

}  // namespace zorv::test_support
