// The library's HTTP client: libcurl's multi interface behind an Asio awaitable. Every client of the
// process hands its transfers to one driver thread and one pool of keep-alive connections; a client
// holds only its own settings and its cap on requests in flight. It knows nothing of what it
// carries, so the embedder and the REST backend share it.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorv::net {

namespace detail {
struct ClientQueue;
}  // namespace detail

using Headers = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "POST";
    std::string url;
    Headers headers;
    std::string body;
    // Replaces the client's total timeout for this request alone.
    std::optional<std::chrono::milliseconds> timeout;
    // A reply body past this many bytes ends the transfer (TooLarge); 0 reads any size.
    std::size_t max_body_bytes = 0;
};

struct HttpResponse {
    long status = 0;
    Headers headers;  // names as the server wrote them, in order
    std::string body;
};

enum class HttpErrorKind : std::uint8_t {
    // The connection could not be established: name resolution, refusal or the connect timeout.
    Connect,
    // Anything else before the reply head: a malformed URL or header, the total timeout, a reset.
    Other,
    // The reply head arrived, then the body broke off or the total timeout struck.
    Read,
    // The reply body grew past the request's cap.
    TooLarge,
    // The awaiting operation was cancelled; the transfer is gone.
    Cancelled,
};

struct HttpError {
    HttpErrorKind kind = HttpErrorKind::Other;
    std::string message;
};

using HttpOutcome = std::expected<HttpResponse, HttpError>;

struct HttpClientOptions {
    std::chrono::milliseconds connect_timeout{10'000};
    // Per request, from the moment it is handed to libcurl.
    std::chrono::milliseconds total_timeout{60'000};
    // Requests beyond this wait in a queue before libcurl sees them: libcurl would count the
    // wait for a free connection against the total timeout.
    std::size_t max_in_flight = 64;
};

class HttpClient {
public:
    // Fails only when libcurl cannot be set up. Starts no thread: the process's transfer thread
    // starts with the first request of any client.
    static std::expected<std::shared_ptr<HttpClient>, std::string> create(const HttpClientOptions& options = {});

    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;
    // Fails this client's requests still pending; other clients' requests go on.
    ~HttpClient();

    // Resumes on the awaiting coroutine's executor. Any number may be in flight at once. Cancelling
    // the awaiting operation (a deadline, say) removes the transfer at once and completes with
    // Cancelled. No error text carries a header value. A client inherited by a forked child works
    // there on connections of the child's own.
    boost::asio::awaitable<HttpOutcome> send(HttpRequest request);

private:
    explicit HttpClient(const HttpClientOptions& options);
    HttpClientOptions options_;
    // Shared with the transfers in flight, which hold their slot under its cap until they end.
    std::shared_ptr<detail::ClientQueue> queue_;
};

// "OK", "Unauthorized", ...; empty for a status without a standard phrase.
std::string_view reason_phrase(long status);
// "401 Unauthorized"; "599 <unknown status code>" without a standard phrase.
std::string status_text(long status);

// A header value with a control character other than TAB could split the header block.
bool is_valid_header_value(std::string_view value);

}  // namespace zorv::net
