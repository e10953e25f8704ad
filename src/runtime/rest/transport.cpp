#include "runtime/rest/transport.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <utility>

#include "core/diagnostics.h"
#include "plan/json_write.h"
#include "plan/rest/batch_body.h"
#include "runtime/request_id.h"
#include "runtime/rest/http_failure.h"
#include "runtime/rest/reply_text.h"

namespace zorv::runtime::rest {

namespace {

using core::Diag;
using namespace std::chrono_literals;

constexpr std::size_t initial_body_capacity = 128;

bool is_form_safe(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' || c == '-' ||
           c == '.' || c == '_';
}

// application/x-www-form-urlencoded: space as '+', every other unsafe byte as %XX.
void append_form_encoded(std::string& out, std::string_view text) {
    constexpr char hex[] = "0123456789ABCDEF";
    for (char ch : text) {
        auto c = static_cast<unsigned char>(ch);
        if (is_form_safe(c)) {
            out += ch;
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
}

std::string request_url(std::string_view base, std::string_view path, const plan::QueryParams& query) {
    std::string url;
    url.reserve(base.size() + path.size());
    url += base;
    url += path;
    char separator = '?';
    for (const auto& [name, value] : query) {
        url += separator;
        separator = '&';
        append_form_encoded(url, name);
        url += '=';
        append_form_encoded(url, value);
    }
    return url;
}

// The userinfo ("user:pass") of a URL, empty when it has none.
std::string_view userinfo_of(std::string_view url) {
    const std::size_t scheme = url.find("://");
    const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t end = url.find_first_of("/?#", start);
    std::string_view authority = url.substr(start, end == std::string_view::npos ? url.npos : end - start);
    const std::size_t at = authority.rfind('@');
    return at == std::string_view::npos ? std::string_view{} : authority.substr(0, at);
}

// Client error texts may echo the URL; its credentials never reach a message.
std::string without_credentials(std::string message, std::string_view base_url) {
    std::string_view userinfo = userinfo_of(base_url);
    if (userinfo.empty()) return message;
    for (std::size_t at = message.find(userinfo); at != std::string::npos; at = message.find(userinfo, at)) {
        message.replace(at, userinfo.size(), "***");
        at += 3;
    }
    return message;
}

bool is_visible_ascii(std::string_view value) {
    return std::all_of(value.begin(), value.end(), [](char c) { return c == '\t' || (c >= 0x20 && c <= 0x7E); });
}

std::string reply_request_id(const net::Headers& headers, std::string sent_id) {
    for (const auto& [name, value] : headers) {
        if (name.size() != 12) continue;
        bool same = std::equal(name.begin(), name.end(), "x-request-id", [](char a, char b) {
            return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
        });
        if (same && is_visible_ascii(value)) return value;
    }
    return sent_id;
}

core::ZorvError transport_error(const RestBackend& backend, const std::string& url, const std::string& id,
                                const std::string& message) {
    auto error = core::make_error(Diag::TransportRequest,
                                  "HTTP request failed: " + without_credentials(message, backend.base_url) +
                                      " (request id: " + id + ")");
    error.add_field("url", url);
    error.add_field("request_id", id);
    return error;
}

core::ZorvError read_error(const RestBackend& backend, const std::string& url, const net::HttpError& failure) {
    std::string detail = failure.kind == net::HttpErrorKind::TooLarge
                             ? std::string("reply is larger than 64 MiB; ask for fewer points or leave vectors out")
                             : without_credentials(failure.message, backend.base_url);
    auto error = core::make_error(Diag::BackendRead, "failed to read response body: " + detail);
    error.add_field("url", url);
    return error;
}

core::ZorvError status_error(long status, const std::string& body, const std::string& url, const std::string& id) {
    std::string_view quoted = excerpt(body);
    const auto code16 = static_cast<std::uint16_t>(std::clamp<long>(status, 0, 65535));
    core::ZorvError error(std::string(classify_http_error(code16, quoted)),
                          "Qdrant returned " + net::status_text(status) + ": " + std::string(quoted) +
                              " (request id: " + id + ")",
                          core::ErrorKind::Backend);
    error = add_status_code_detail(std::move(error), code16);
    error.add_field("url", url);
    error.add_field("request_id", id);
    return error;
}

void add_header(net::HttpRequest& request, std::string_view name, const std::optional<std::string>& prepared,
                const std::optional<std::string>& raw) {
    if (prepared) {
        request.headers.emplace_back(name, *prepared);
    } else if (raw) {
        request.headers.emplace_back(name, *raw);  // invalid: the client refuses the request
    }
}

}  // namespace

net::HttpClientOptions rest_client_options() {
    return net::HttpClientOptions{.connect_timeout = 10s, .total_timeout = 30s, .max_in_flight = 64};
}

RestBackend build_rest_backend(std::string_view base_url, std::optional<std::string> api_key,
                               std::shared_ptr<net::HttpClient> client) {
    while (!base_url.empty() && base_url.back() == '/') base_url.remove_suffix(1);
    RestBackend backend;
    backend.base_url = std::string(base_url);
    backend.shown_base_url = strip_userinfo(base_url);
    backend.api_key_header = optional_header_value(api_key);
    backend.api_key = std::move(api_key);
    backend.client = std::move(client);
    return backend;
}

std::optional<std::string> optional_header_value(const std::optional<std::string>& text) {
    if (!text || !net::is_valid_header_value(*text)) return std::nullopt;
    return *text;
}

std::string strip_userinfo(std::string_view url) {
    std::string_view userinfo = userinfo_of(url);
    if (userinfo.empty() && url.find('@') == std::string_view::npos) return std::string(url);
    // The userinfo ends at the authority's last '@'; everything before it goes.
    const std::size_t scheme = url.find("://");
    const std::size_t start = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t end = url.find_first_of("/?#", start);
    const std::size_t at = url.substr(0, end).rfind('@');
    if (at == std::string_view::npos || at < start) return std::string(url);
    std::string out(url.substr(0, start));
    out += url.substr(at + 1);
    return out;
}

std::chrono::milliseconds request_limit(std::chrono::milliseconds base, const plan::QueryParams& query) {
    for (const auto& [name, value] : query) {
        if (name != "timeout") continue;
        std::uint64_t seconds = 0;
        auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), seconds);
        if (ec != std::errc{} || end != value.data() + value.size()) break;
        constexpr auto max_ms = static_cast<std::uint64_t>(std::numeric_limits<std::chrono::milliseconds::rep>::max());
        // Saturate rather than wrap: a huge server timeout means a long wait, never a short one.
        std::uint64_t ms = seconds > (max_ms - 5000) / 1000 ? max_ms : seconds * 1000 + 5000;
        return std::max(base, std::chrono::milliseconds(static_cast<std::chrono::milliseconds::rep>(ms)));
    }
    return base;
}

void apply_rest_headers(const RestBackend& backend, net::HttpRequest& request, std::string_view request_id) {
    add_header(request, "api-key", backend.api_key_header, backend.api_key);
    add_header(request, "X-Qdrant-Route-Affinity", backend.route_affinity_header, backend.route_affinity);
    const bool failed = (backend.api_key && !backend.api_key_header) ||
                        (backend.route_affinity && !backend.route_affinity_header);
    if (!failed) request.headers.emplace_back("x-request-id", request_id);
}

RestCall rest_call(const plan::RestRequest& request) {
    RestCall call{.method = request.method, .path = request.path, .query = request.query, .body = std::nullopt};
    if (request.body) {
        std::string text;
        text.reserve(initial_body_capacity);
        plan::write_json(text, *request.body);
        call.body = std::move(text);
    }
    return call;
}

RestCall update_batch_call(std::string path, plan::QueryParams query,
                           const std::vector<plan::UpdateOperation>& operations) {
    std::string text;
    text.reserve(initial_body_capacity);
    plan::write_update_batch_body(text, operations);
    return RestCall{.method = plan::HttpMethod::Post,
                    .path = std::move(path),
                    .query = std::move(query),
                    .body = std::move(text)};
}

AsyncResult<RestResponse> send_request(const RestBackend& backend, RestCall call) {
    std::string url = request_url(backend.shown_base_url, call.path, {});
    std::string id = make_request_id();
    net::HttpRequest request;
    request.method = std::string(plan::http_method_name(call.method));
    request.url = request_url(backend.base_url, call.path, call.query);
    request.timeout = request_limit(backend.request_timeout, call.query);
    request.max_body_bytes = max_reply_bytes;
    apply_rest_headers(backend, request, id);
    if (call.body) {
        request.headers.emplace_back("content-type", "application/json");
        request.body = std::move(*call.body);
    }
    if (!backend.client) co_return std::unexpected(transport_error(backend, url, id, "no HTTP client"));
    auto outcome = co_await backend.client->send(std::move(request));
    if (!outcome) {
        const auto kind = outcome.error().kind;
        if (kind == net::HttpErrorKind::Read || kind == net::HttpErrorKind::TooLarge) {
            co_return std::unexpected(read_error(backend, url, outcome.error()));
        }
        co_return std::unexpected(transport_error(backend, url, id, outcome.error().message));
    }
    std::string reply_id = reply_request_id(outcome->headers, std::move(id));
    std::string body = to_valid_utf8(std::move(outcome->body));
    if (outcome->status < 200 || outcome->status > 299) {
        co_return std::unexpected(status_error(outcome->status, body, url, reply_id));
    }
    co_return RestResponse{.url = std::move(url), .request_id = std::move(reply_id), .body = std::move(body)};
}

AsyncResult<RestResponse> send_update_batch(const RestBackend& backend, std::string path, plan::QueryParams query,
                                            const std::vector<plan::UpdateOperation>& operations) {
    RestCall call = update_batch_call(std::move(path), std::move(query), operations);
    co_return co_await send_request(backend, std::move(call));
}

AsyncResult<JsonDocument> send_json(const RestBackend& backend, RestCall call) {
    std::string path = call.path;
    auto response = co_await send_request(backend, std::move(call));
    if (!response) co_return std::unexpected(std::move(response.error()));
    auto document = parse_reply_json(response->body, response->url, response->request_id);
    if (!document) co_return std::unexpected(std::move(document.error()));
    auto checked = check_rest_envelope(document->root(), path);
    if (!checked) co_return std::unexpected(std::move(checked.error()));
    co_return std::move(*document);
}

AsyncResult<JsonDocument> send_and_decode(const RestBackend& backend, std::string path) {
    RestCall call{.method = plan::HttpMethod::Get, .path = std::move(path), .query = {}, .body = std::nullopt};
    co_return co_await send_json(backend, std::move(call));
}

AsyncResult<Envelope> send_enveloped(const RestBackend& backend, RestCall call, EnvelopeReader reader) {
    std::string path = call.path;
    auto response = co_await send_request(backend, std::move(call));
    if (!response) co_return std::unexpected(std::move(response.error()));
    auto envelope = reader(response->body);
    if (!envelope) {
        if (envelope.error().data) {
            // Valid JSON of the wrong shape: the generic check names what is missing, when it can.
            if (auto value = parse_json_text(response->body)) {
                auto checked = check_rest_envelope(value->root(), path);
                if (!checked) co_return std::unexpected(std::move(checked.error()));
            }
        }
        auto error =
            core::make_error(Diag::BackendJson, "failed to parse Qdrant response: " + envelope.error().message +
                                                    " (request id: " + response->request_id + ")");
        error.add_field("url", response->url);
        co_return std::unexpected(std::move(error));
    }
    if (envelope->status != "ok") co_return core::fail(Diag::BackendEnvelope, path + " response is missing status=ok");
    co_return std::move(*envelope);
}

}  // namespace zorv::runtime::rest
