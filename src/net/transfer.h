// One HTTP exchange on its way through libcurl: the request, the reply as it arrives, the easy
// handle and everything libcurl points into. Internal to the HTTP client and its driver.
#pragma once

#include <curl/curl.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "net/http_client.h"

namespace zorv::net::detail {

struct ClientQueue;

using Completion = std::move_only_function<void(HttpOutcome)>;

struct Transfer {
    HttpRequest request;
    HttpResponse response;
    Completion complete;
    // The client that sent it: its cap on requests in flight holds this transfer's slot.
    std::shared_ptr<ClientQueue> client;
    std::chrono::milliseconds connect_timeout{0};
    std::chrono::milliseconds total_timeout{0};
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
    ~Transfer();
};

// Sets up `easy` (fresh or reset) for the transfer, which owns it from here on; false when
// libcurl refuses.
bool prepare(Transfer& t, CURL* easy);

// Completes the transfer with libcurl's result.
void finish(Transfer& t, CURLcode code);

}  // namespace zorv::net::detail
