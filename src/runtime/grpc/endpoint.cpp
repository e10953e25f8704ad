#include "runtime/grpc/endpoint.h"

#include <algorithm>
#include <charconv>

#include "core/diagnostics.h"

namespace zorv::runtime::rpc {

namespace {

void strip_all(std::string_view& text, std::string_view prefix) {
    while (text.starts_with(prefix)) text.remove_prefix(prefix.size());
}

bool is_host_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~' || c == '%';
}

// RFC 3986 path characters, without percent-decoding them.
bool is_path_char(char c) {
    return is_host_char(c) || c == '/' || c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' ||
           c == '*' || c == '+' || c == ',' || c == ';' || c == '=' || c == ':' || c == '@';
}

bool valid_port(std::string_view port) {
    if (port.empty() || port.size() > 5) return false;
    unsigned value = 0;
    auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    return ec == std::errc{} && end == port.data() + port.size() && value >= 1 && value <= 65535;
}

core::ZorvError invalid_uri() { return core::make_error(core::Diag::Transport, "invalid gRPC url: invalid URI"); }

}  // namespace

core::Result<GrpcEndpoint> parse_grpc_endpoint(std::string_view url) {
    const bool tls = url.starts_with("https://");
    std::string_view rest = url;
    strip_all(rest, "grpc://");
    strip_all(rest, "https://");
    strip_all(rest, "http://");

    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    if (slash != std::string_view::npos && !std::ranges::all_of(rest.substr(slash), is_path_char)) {
        return std::unexpected(invalid_uri());
    }

    std::string_view host;
    std::string_view port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos || close == 1) return std::unexpected(invalid_uri());
        std::string_view inside = authority.substr(1, close - 1);
        if (!std::ranges::all_of(inside, [](char c) { return c == ':' || c == '.' || is_host_char(c); })) {
            return std::unexpected(invalid_uri());
        }
        host = authority.substr(0, close + 1);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return std::unexpected(invalid_uri());
            port = after.substr(1);
            if (!valid_port(port)) return std::unexpected(invalid_uri());
        }
    } else {
        const std::size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = authority.substr(colon + 1);
            if (!valid_port(port)) return std::unexpected(invalid_uri());
        }
        if (host.empty() || !std::ranges::all_of(host, is_host_char)) return std::unexpected(invalid_uri());
    }
    if (port.empty()) port = default_grpc_port;

    GrpcEndpoint endpoint;
    endpoint.target = std::string(host) + ":" + std::string(port);
    endpoint.tls = tls;
    endpoint.shown = (tls ? "https://" : "http://") + endpoint.target;
    return endpoint;
}

}  // namespace zorv::runtime::rpc
