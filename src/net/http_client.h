// The library's HTTP client: libcurl's multi interface behind an Asio awaitable. One client is one
// connection pool (keep-alive connections are reused across requests); it knows nothing of what
// it carries, so the embedder and the REST backend share it.
#pragma once

#include <boost/asio/awaitable.hpp>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zorv::net {

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
    // Fails only when libcurl cannot be set up. The transfer thread starts with the first request.
    static std::expected<std::shared_ptr<HttpClient>, std::string> create(const HttpClientOptions& options = {});

    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;
    // Fails the requests still pending and joins the transfer thread.
    ~HttpClient();

    // Resumes on the awaiting coroutine's executor. Any number may be in flight at once. Cancelling
    // the awaiting operation (a deadline, say) removes the transfer at once and completes with
    // Cancelled. No error text carries a header value.
    boost::asio::awaitable<HttpOutcome> send(HttpRequest request);

    struct State;

private:
    explicit HttpClient(std::shared_ptr<State> state);
    // The state requests of this process go through: state_, or in a forked child whose parent
    // had started state_'s transfer thread, a fresh one of the child's own.
    std::shared_ptr<State> live_state();

    // Shared so that a cancellation arriving after the client is gone finds it stopped.
    std::shared_ptr<State> state_;
    // Taken only in a forked child, so the parent never hands it over locked.
    std::mutex child_mutex_;
    std::shared_ptr<State> child_state_;  // guarded by child_mutex_
};

// "OK", "Unauthorized", ...; empty for a status without a standard phrase.
std::string_view reason_phrase(long status);
// "401 Unauthorized"; "599 <unknown status code>" without a standard phrase.
std::string status_text(long status);

// A header value with a control character other than TAB could split the header block.
bool is_valid_header_value(std::string_view value);

}  // namespace zorv::net
