#include "net/http_client.h"

#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/associated_cancellation_slot.hpp>
#include <boost/asio/associated_executor.hpp>
#include <boost/asio/async_result.hpp>
#include <boost/asio/cancellation_type.hpp>
#include <boost/asio/execution/outstanding_work.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/prefer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <climits>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace zorv::net {

namespace asio = boost::asio;

namespace {

using Completion = std::move_only_function<void(HttpOutcome)>;

// One request on its way: owns the easy handle and everything libcurl points into.
struct Transfer {
    HttpRequest request;
    HttpResponse response;
    Completion complete;
    std::uint64_t id = 0;
    long head_status = 0;    // status of the last status line seen
    bool head_done = false;  // a final (non-1xx) reply head has arrived
    bool too_large = false;  // the body passed the request's cap
    CURL* easy = nullptr;
    curl_slist* header_list = nullptr;
    std::array<char, CURL_ERROR_SIZE> error_text{};

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer() {
        if (easy != nullptr) curl_easy_cleanup(easy);
        if (header_list != nullptr) curl_slist_free_all(header_list);
    }
};

std::size_t on_body(char* data, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    const std::size_t cap = t.request.max_body_bytes;
    if (cap != 0 && n > cap - std::min(cap, t.response.body.size())) {
        t.too_large = true;
        return 0;  // libcurl ends the transfer with a write error
    }
    t.response.body.append(data, n);
    return n;
}

long parse_status_line(std::string_view line) {
    // "HTTP/1.1 200 OK": the three digits after the first space.
    auto space = line.find(' ');
    if (space == std::string_view::npos || line.size() < space + 4) return 0;
    long status = 0;
    for (char c : line.substr(space + 1, 3)) {
        if (c < '0' || c > '9') return 0;
        status = status * 10 + (c - '0');
    }
    return status;
}

std::size_t on_header(char* data, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<Transfer*>(user);
    auto& response = t.response;
    std::string_view line(data, size * count);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    // A status line starts a new header block (after 100 Continue or a redirect).
    if (line.starts_with("HTTP/")) {
        response.headers.clear();
        t.head_status = parse_status_line(line);
        return size * count;
    }
    if (line.empty()) {
        if (t.head_status >= 200) t.head_done = true;
        return size * count;
    }
    auto colon = line.find(':');
    if (colon == std::string_view::npos) return size * count;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    response.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    return size * count;
}

void append_header(curl_slist*& list, const std::string& line) {
    curl_slist* grown = curl_slist_append(list, line.c_str());
    if (grown != nullptr) list = grown;
}

// Sets up the easy handle; false when libcurl refuses an option.
bool prepare(Transfer& t, const HttpClientOptions& options) {
    t.easy = curl_easy_init();
    if (t.easy == nullptr) return false;
    CURL* e = t.easy;
    const HttpRequest& r = t.request;
    bool ok = curl_easy_setopt(e, CURLOPT_URL, r.url.c_str()) == CURLE_OK;
    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.error_text.data());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.connect_timeout.count()));
    const auto total = r.timeout.value_or(options.total_timeout).count();
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, static_cast<long>(std::clamp<std::int64_t>(total, 1, LONG_MAX)));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, on_header);
    curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
    if (r.method == "GET" && r.body.empty()) {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else if (r.method == "HEAD") {
        curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    } else {
        if (r.method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, r.method.c_str());
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, r.body.data());
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(r.body.size()));
    }
    for (const auto& [name, value] : r.headers) {
        // "Name;" is libcurl's way to send a header with an empty value.
        std::string line = name;
        line += value.empty() ? ";" : ": ";
        line += value;
        append_header(t.header_list, line);
    }
    // Without this libcurl waits up to a second for a 100 Continue on large bodies.
    append_header(t.header_list, "Expect:");
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.header_list);
    return ok;
}

HttpError classify(Transfer& t, CURLcode code) {
    if (t.too_large) {
        return HttpError{HttpErrorKind::TooLarge,
                         "reply body is larger than " + std::to_string(t.request.max_body_bytes) + " bytes"};
    }
    std::string message = t.error_text[0] != '\0' ? std::string(t.error_text.data()) : curl_easy_strerror(code);
    HttpErrorKind kind = HttpErrorKind::Other;
    if (t.head_done) {
        kind = HttpErrorKind::Read;
    } else if (code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_COULDNT_RESOLVE_PROXY ||
               code == CURLE_COULDNT_CONNECT) {
        kind = HttpErrorKind::Connect;
    } else if (code == CURLE_OPERATION_TIMEDOUT) {
        // A timeout before the connection stood is a connect failure; after it, a slow reply.
        curl_off_t connected = 0;
        curl_easy_getinfo(t.easy, CURLINFO_CONNECT_TIME_T, &connected);
        if (connected == 0) kind = HttpErrorKind::Connect;
    }
    return HttpError{kind, std::move(message)};
}

void finish(std::unique_ptr<Transfer> t, CURLcode code) {
    if (code != CURLE_OK) {
        t->complete(std::unexpected(classify(*t, code)));
        return;
    }
    long status = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
    t->response.status = status;
    t->complete(std::move(t->response));
}

void init_curl_once() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

}  // namespace

// The transfer thread owns the multi handle; other threads only queue requests, ask for
// cancellations and wake it.
struct HttpClient::State {
    HttpClientOptions options;
    CURLM* multi = nullptr;
    std::mutex mutex;
    std::deque<std::unique_ptr<Transfer>> queued;            // guarded by mutex
    std::vector<std::uint64_t> cancelled;                    // guarded by mutex
    std::uint64_t next_id = 1;                               // guarded by mutex
    bool stopping = false;                                   // guarded by mutex
    std::unordered_map<std::uint64_t, Transfer*> in_flight;  // transfer thread only
    // Started by the first request, so that a client nobody uses costs no thread. Held by pointer:
    // in a forked child the thread does not exist and the handle must be dropped without a join.
    std::unique_ptr<std::thread> thread;  // guarded by mutex
    // The process that started the thread; 0 before.
    std::atomic<pid_t> thread_pid{0};

    std::uint64_t take_id() {
        std::lock_guard lock(mutex);
        return next_id++;
    }

    void enqueue(std::unique_ptr<Transfer> t) {
        std::unique_lock lock(mutex);
        if (!thread) {
            try {
                thread = std::make_unique<std::thread>([this] { run(); });
                thread_pid.store(getpid(), std::memory_order_release);
            } catch (const std::system_error& e) {
                lock.unlock();
                t->complete(std::unexpected(
                    HttpError{HttpErrorKind::Other, std::string("could not start the transfer thread: ") + e.what()}));
                return;
            }
        }
        queued.push_back(std::move(t));
        curl_multi_wakeup(multi);
    }

    // The transfer thread was started by another process: this is a forked child's copy.
    bool inherited() const {
        const pid_t started_by = thread_pid.load(std::memory_order_acquire);
        return started_by != 0 && started_by != getpid();
    }

    // A queued transfer completes here and now; one already with libcurl is removed by the
    // transfer thread. An id that has finished meanwhile is ignored there.
    void cancel(std::uint64_t id) {
        std::unique_ptr<Transfer> waiting;
        {
            std::lock_guard lock(mutex);
            if (stopping) return;
            auto it = std::find_if(queued.begin(), queued.end(), [id](const auto& t) { return t->id == id; });
            if (it != queued.end()) {
                waiting = std::move(*it);
                queued.erase(it);
            } else {
                cancelled.push_back(id);
                curl_multi_wakeup(multi);
            }
        }
        if (waiting) waiting->complete(std::unexpected(cancelled_error()));
    }

    static HttpError cancelled_error() { return HttpError{HttpErrorKind::Cancelled, "request cancelled"}; }

    // Hands queued requests to libcurl up to the in-flight cap; false once stopping.
    bool admit() {
        std::vector<std::uint64_t> to_cancel;
        {
            std::lock_guard lock(mutex);
            if (stopping) return false;
            to_cancel.swap(cancelled);
        }
        for (std::uint64_t id : to_cancel) remove_cancelled(id);
        std::lock_guard lock(mutex);
        while (!queued.empty() && in_flight.size() < options.max_in_flight) {
            std::unique_ptr<Transfer> t = std::move(queued.front());
            queued.pop_front();
            if (!prepare(*t, options)) {
                t->complete(std::unexpected(HttpError{HttpErrorKind::Other, "could not set up the request"}));
                continue;
            }
            if (curl_multi_add_handle(multi, t->easy) != CURLM_OK) {
                t->complete(std::unexpected(HttpError{HttpErrorKind::Other, "could not start the request"}));
                continue;
            }
            in_flight.emplace(t->id, t.get());
            static_cast<void>(t.release());  // owned by in_flight until done
        }
        return true;
    }

    void remove_cancelled(std::uint64_t id) {
        auto it = in_flight.find(id);
        if (it == in_flight.end()) return;
        std::unique_ptr<Transfer> t(it->second);
        in_flight.erase(it);
        curl_multi_remove_handle(multi, t->easy);
        t->complete(std::unexpected(cancelled_error()));
    }

    void reap() {
        int left = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
            if (msg->msg != CURLMSG_DONE) continue;
            CURLcode code = msg->data.result;
            void* owner = nullptr;
            curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &owner);
            curl_multi_remove_handle(multi, msg->easy_handle);
            std::unique_ptr<Transfer> t(static_cast<Transfer*>(owner));
            in_flight.erase(t->id);
            finish(std::move(t), code);
        }
    }

    void run() {
        while (admit()) {
            int running = 0;
            curl_multi_perform(multi, &running);
            reap();
            curl_multi_poll(multi, nullptr, 0, 1000, nullptr);
        }
        drain();
    }

    // Fails everything still pending once the client goes away.
    void drain() {
        const HttpError closed{HttpErrorKind::Other, "HTTP client closed"};
        for (auto& [id, t] : in_flight) {
            curl_multi_remove_handle(multi, t->easy);
            std::unique_ptr<Transfer>(t)->complete(std::unexpected(closed));
        }
        in_flight.clear();
        std::deque<std::unique_ptr<Transfer>> rest;
        {
            std::lock_guard lock(mutex);
            rest.swap(queued);
        }
        for (auto& t : rest) t->complete(std::unexpected(closed));
    }
};

namespace {

std::expected<std::shared_ptr<HttpClient::State>, std::string> make_state(const HttpClientOptions& options) {
    auto state = std::make_shared<HttpClient::State>();
    state->options = options;
    if (state->options.max_in_flight == 0) state->options.max_in_flight = 1;
    state->multi = curl_multi_init();
    if (state->multi == nullptr) return std::unexpected("curl_multi_init failed");
    return state;
}

// A forked child's copy of its parent's state: the thread is not there, the lock may have been
// copied held, queued completions belong to the parent's pool and the connections are the
// parent's. It is never touched again: not stopped, not freed, nothing written to its connections.
void abandon(std::shared_ptr<HttpClient::State> state) {
    static_cast<void>(state->thread.release());
    static_cast<void>(new std::shared_ptr<HttpClient::State>(std::move(state)));
}

// Fails what is still pending, joins the transfer thread and closes the connections.
void stop(HttpClient::State& state) {
    std::unique_ptr<std::thread> thread;
    {
        std::lock_guard lock(state.mutex);
        state.stopping = true;
        curl_multi_wakeup(state.multi);
        thread = std::move(state.thread);
    }
    if (thread) thread->join();
    curl_multi_cleanup(state.multi);
    state.multi = nullptr;
}

void release(std::shared_ptr<HttpClient::State> state) {
    if (!state) return;
    if (state->inherited()) {
        abandon(std::move(state));
    } else {
        stop(*state);
    }
}

}  // namespace

std::expected<std::shared_ptr<HttpClient>, std::string> HttpClient::create(const HttpClientOptions& options) {
    init_curl_once();
    auto state = make_state(options);
    if (!state) return std::unexpected(std::move(state).error());
    return std::shared_ptr<HttpClient>(new HttpClient(std::move(*state)));
}

HttpClient::HttpClient(std::shared_ptr<State> state) : state_(std::move(state)) {}

HttpClient::~HttpClient() {
    // No request runs any more, so child_state_ needs no lock here.
    release(std::move(child_state_));
    release(std::move(state_));
}

std::shared_ptr<HttpClient::State> HttpClient::live_state() {
    if (!state_->inherited()) return state_;
    // A forked child: the parent's connections are dropped unused and the child opens its own.
    std::lock_guard lock(child_mutex_);
    if (child_state_ && !child_state_->inherited()) return child_state_;
    if (child_state_) abandon(std::move(child_state_));  // made by a process this one forked from
    auto fresh = make_state(state_->options);
    if (!fresh) return nullptr;
    child_state_ = std::move(*fresh);
    return child_state_;
}

asio::awaitable<HttpOutcome> HttpClient::send(HttpRequest request) {
    std::weak_ptr<State> state;
    if (std::shared_ptr<State> live = live_state()) {
        state = live;
    } else {
        co_return std::unexpected(HttpError{HttpErrorKind::Other, "curl_multi_init failed"});
    }
    for (const auto& [name, value] : request.headers) {
        // Names the header, never its value: the value may be a secret.
        if (!is_valid_header_value(value)) {
            co_return std::unexpected(
                HttpError{HttpErrorKind::Other, "header '" + name + "' has a value with a control character"});
        }
    }
    auto transfer = std::make_unique<Transfer>();
    transfer->request = std::move(request);
    // Nothing captured: g++ 12 mis-destroys a smart pointer captured by an initiation lambda
    // inside a co_await expression, so the state travels as an argument.
    auto initiate = [](auto handler, std::unique_ptr<Transfer> t, std::weak_ptr<State> state) {
        auto live = state.lock();
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
        t->id = live->take_id();
        if (slot.is_connected()) {
            slot.assign([state = std::move(state), id = t->id](asio::cancellation_type) {
                if (auto s = state.lock()) s->cancel(id);
            });
        }
        live->enqueue(std::move(t));
    };
    HttpOutcome outcome =
        co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(HttpOutcome)>(initiate, asio::use_awaitable,
                                                                                         std::move(transfer),
                                                                                         std::move(state));
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
