// A pass-through recorder in front of a real HTTP server on this machine: every request is kept as
// sent (header order included) and forwarded; the server's reply comes back unchanged in status,
// body and x-request-id. One request per upstream connection, every wait bounded.
#pragma once

#include <netdb.h>

#include <cctype>
#include <chrono>
#include <memory>
#include <string>

#include "net/loopback_server.h"

namespace zorv::test_support {

class RecordingProxy {
public:
    // `upstream` is "http://host:port" (a loopback address).
    explicit RecordingProxy(const std::string& upstream) {
        std::string rest = upstream.substr(upstream.find("://") + 3);
        rest = rest.substr(0, rest.find('/'));
        const std::size_t colon = rest.rfind(':');
        host_ = rest.substr(0, colon);
        port_ = colon == std::string::npos ? "80" : rest.substr(colon + 1);
        server_ = std::make_unique<LoopbackServer>([this](const RecordedRequest& r) { return forward(r); });
    }

    std::string url() const { return "http://127.0.0.1:" + std::to_string(server_->port()); }
    std::vector<RecordedRequest> requests() const { return server_->requests(); }

private:
    static constexpr auto limit = std::chrono::seconds(10);

    int connect_upstream() const {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host_.c_str(), port_.c_str(), &hints, &found) != 0) return -1;
        int fd = ::socket(found->ai_family, found->ai_socktype, 0);
        if (fd >= 0 && ::connect(fd, found->ai_addr, found->ai_addrlen) != 0) {
            ::close(fd);
            fd = -1;
        }
        ::freeaddrinfo(found);
        return fd;
    }

    CannedReply forward(const RecordedRequest& request) const {
        int fd = connect_upstream();
        if (fd < 0) return CannedReply{502, "proxy: upstream unreachable"};
        std::string out = request.method + " " + request.target + " HTTP/1.1\r\nHost: " + host_ + ":" + port_ +
                          "\r\nConnection: close\r\nContent-Length: " + std::to_string(request.body.size()) + "\r\n";
        for (const auto& [name, value] : request.header_list) {
            std::string lower = name;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower == "host" || lower == "connection" || lower == "content-length") continue;
            out.append(name).append(": ").append(value).append("\r\n");
        }
        out += "\r\n" + request.body;
        static_cast<void>(::send(fd, out.data(), out.size(), MSG_NOSIGNAL));
        std::string raw = read_to_end(fd);
        ::close(fd);
        return parse_reply(raw);
    }

    static std::string read_to_end(int fd) {
        std::string raw;
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            char chunk[8192];
            ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) break;
            raw.append(chunk, static_cast<std::size_t>(n));
        }
        return raw;
    }

    static std::string dechunk(const std::string& body) {
        std::string out;
        std::size_t at = 0;
        while (at < body.size()) {
            std::size_t eol = body.find("\r\n", at);
            if (eol == std::string::npos) break;
            std::size_t size = std::stoul(body.substr(at, eol - at), nullptr, 16);
            if (size == 0) break;
            out += body.substr(eol + 2, size);
            at = eol + 2 + size + 2;
        }
        return out;
    }

    static CannedReply parse_reply(const std::string& raw) {
        const std::size_t end = raw.find("\r\n\r\n");
        if (end == std::string::npos) return CannedReply{502, "proxy: no reply head"};
        CannedReply reply;
        reply.status = std::stoi(raw.substr(raw.find(' ') + 1, 3));
        reply.body = raw.substr(end + 4);
        bool chunked = false;
        std::size_t at = raw.find("\r\n") + 2;
        while (at < end) {
            std::size_t next = raw.find("\r\n", at);
            std::string line = raw.substr(at, next - at);
            at = next + 2;
            std::string lower = line;
            for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (lower.starts_with("transfer-encoding:") && lower.find("chunked") != std::string::npos) chunked = true;
            if (lower.starts_with("x-request-id:")) {
                std::size_t v = line.find_first_not_of(' ', 13);
                reply.headers.emplace_back("x-request-id", v == std::string::npos ? "" : line.substr(v));
            }
        }
        if (chunked) reply.body = dechunk(reply.body);
        return reply;
    }

    std::string host_;
    std::string port_;
    std::unique_ptr<LoopbackServer> server_;
};

}  // namespace zorv::test_support
