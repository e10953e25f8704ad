#include "net/http_client.h"

#include <curl/curl.h>

#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/cancellation_type.hpp>
#include <boost/asio/execution/outstanding_work.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/prefer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <memory>
#include <string>
#include <utility>

#include "net/transfer.h"
#include "net/transfer_driver.h"

namespace zorv::net {

namespace asio = boost::asio;

namespace {

bool init_curl_once() {
    static const bool ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ready;
}

}  // namespace

std::expected<std::shared_ptr<HttpClient>, std::string> HttpClient::create(const HttpClientOptions& options) {
    if (!init_curl_once()) return std::unexpected("curl_global_init failed");
    return std::shared_ptr<HttpClient>(new HttpClient(options));
}

HttpClient::HttpClient(const HttpClientOptions& options)
    : options_(options), queue_(std::make_shared<detail::ClientQueue>(options.max_in_flight)) {}

HttpClient::~HttpClient() { detail::TransferDriver::close(queue_); }

asio::awaitable<HttpOutcome> HttpClient::send(HttpRequest request) {
    for (const auto& [name, value] : request.headers) {
        // Names the header, never its value: the value may be a secret.
        if (!is_valid_header_value(value)) {
            co_return std::unexpected(
                HttpError{HttpErrorKind::Other, "header '" + name + "' has a value with a control character"});
        }
    }
    auto driver = detail::TransferDriver::current();
    if (!driver) {
        co_return std::unexpected(
            HttpError{HttpErrorKind::Other, "could not start the transfer thread: " + driver.error()});
    }
    auto transfer = std::make_unique<detail::Transfer>();
    transfer->request = std::move(request);
    transfer->client = queue_;
    transfer->connect_timeout = options_.connect_timeout;
    transfer->total_timeout = transfer->request.timeout.value_or(options_.total_timeout);
    transfer->id = (*driver)->next_id();
    // Nothing captured: g++ 12 mis-destroys a smart pointer captured by an initiation lambda
    // inside a co_await expression, so everything travels as an argument.
    auto initiate = [](auto handler, std::unique_ptr<detail::Transfer> t, detail::TransferDriver* driver) {
        // Tracked, so the awaiting context does not run out of work while the transfer runs.
        auto executor = asio::prefer(asio::get_associated_executor(handler), asio::execution::outstanding_work.tracked);
        auto slot = asio::get_associated_cancellation_slot(handler);
        // The tracked executor rides inside the posted handler, so the work count drops on the
        // awaiting context's own thread: dropped here, on the transfer thread, it could reach
        // zero and stop a context that its owner is already destroying.
        t->complete = [handler = std::move(handler), executor](HttpOutcome outcome) mutable {
            auto target = asio::prefer(executor, asio::execution::outstanding_work.untracked);
            asio::post(target, [handler = std::move(handler), work = std::move(executor),
                                outcome = std::move(outcome)]() mutable {
                auto done_slot = asio::get_associated_cancellation_slot(handler);
                if (done_slot.is_connected()) done_slot.clear();
                std::move(handler)(std::move(outcome));
            });
        };
        if (slot.is_connected()) {
            slot.assign(
                [driver, client = std::weak_ptr<detail::ClientQueue>(t->client), id = t->id](asio::cancellation_type) {
                    if (auto c = client.lock()) driver->cancel(c, id);
                });
        }
        driver->submit(std::move(t));
    };
    detail::TransferDriver* target = *driver;
    HttpOutcome outcome =
        co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(HttpOutcome)>(initiate, asio::use_awaitable,
                                                                                         std::move(transfer), target);
    co_return outcome;
}

bool is_valid_header_value(std::string_view value) {
    for (char c : value) {
        auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7f) return false;
    }
    return true;
}

std::string_view reason_phrase(long status) {
    switch (status) {
        case 100: return "Continue";
        case 101: return "Switching Protocols";
        case 102: return "Processing";
        case 200: return "OK";
        case 201: return "Created";
        case 202: return "Accepted";
        case 203: return "Non-Authoritative Information";
        case 204: return "No Content";
        case 205: return "Reset Content";
        case 206: return "Partial Content";
        case 207: return "Multi-Status";
        case 208: return "Already Reported";
        case 226: return "IM Used";
        case 300: return "Multiple Choices";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 304: return "Not Modified";
        case 305: return "Use Proxy";
        case 307: return "Temporary Redirect";
        case 308: return "Permanent Redirect";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 402: return "Payment Required";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 406: return "Not Acceptable";
        case 407: return "Proxy Authentication Required";
        case 408: return "Request Timeout";
        case 409: return "Conflict";
        case 410: return "Gone";
        case 411: return "Length Required";
        case 412: return "Precondition Failed";
        case 413: return "Payload Too Large";
        case 414: return "URI Too Long";
        case 415: return "Unsupported Media Type";
        case 416: return "Range Not Satisfiable";
        case 417: return "Expectation Failed";
        case 418: return "I'm a teapot";
        case 421: return "Misdirected Request";
        case 422: return "Unprocessable Entity";
        case 423: return "Locked";
        case 424: return "Failed Dependency";
        case 426: return "Upgrade Required";
        case 428: return "Precondition Required";
        case 429: return "Too Many Requests";
        case 431: return "Request Header Fields Too Large";
        case 451: return "Unavailable For Legal Reasons";
        case 500: return "Internal Server Error";
        case 501: return "Not Implemented";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
        case 505: return "HTTP Version Not Supported";
        case 506: return "Variant Also Negotiates";
        case 507: return "Insufficient Storage";
        case 508: return "Loop Detected";
        case 510: return "Not Extended";
        case 511: return "Network Authentication Required";
        default: return {};
    }
}

std::string status_text(long status) {
    std::string_view phrase = reason_phrase(status);
    return std::to_string(status) + " " + (phrase.empty() ? std::string("<unknown status code>") : std::string(phrase));
}

}  // namespace zorv::net
