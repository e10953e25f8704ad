#include "net/transfer.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace zorv::net::detail {

namespace {

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

}  // namespace

Transfer::~Transfer() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    if (header_list != nullptr) curl_slist_free_all(header_list);
}

bool prepare(Transfer& t, CURL* easy) {
    t.easy = easy;
    if (t.easy == nullptr) return false;
    CURL* e = t.easy;
    const HttpRequest& r = t.request;
    bool ok = curl_easy_setopt(e, CURLOPT_URL, r.url.c_str()) == CURLE_OK;
    curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.error_text.data());
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(t.connect_timeout.count()));
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS,
                     static_cast<long>(std::clamp<std::int64_t>(t.total_timeout.count(), 1, LONG_MAX)));
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

void finish(Transfer& t, CURLcode code) {
    if (code != CURLE_OK) {
        t.complete(std::unexpected(classify(t, code)));
        return;
    }
    long status = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    t.response.status = status;
    t.complete(std::move(t.response));
}

}  // namespace zorv::net::detail
