// Plain requests to the live Qdrant server named by ZORV_TEST_QDRANT_URL, for tests that check
// decoders against what the server really sends.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/diagnostics.h"
#include "core/parser/parser.h"
#include "net/http_client.h"
#include "net/run_awaitable.h"
#include "plan/planner.h"
#include "runtime/rest/reply_json.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"
#include "runtime/rest/transport.h"

namespace zorv::test_support {

inline constexpr std::string_view no_qdrant_reason =
    "no Qdrant server: set ZORV_TEST_QDRANT_URL to a running server's URL (scripts/test starts one)";

class LiveQdrant {
public:
    // Nothing when the variable is unset or empty.
    static std::optional<LiveQdrant> from_env() {
        const char* url = std::getenv("ZORV_TEST_QDRANT_URL");
        if (url == nullptr || *url == '\0') return std::nullopt;
        auto client = net::HttpClient::create({std::chrono::seconds(5), std::chrono::seconds(30), 4});
        if (!client) return std::nullopt;
        std::string base(url);
        while (!base.empty() && base.back() == '/') base.pop_back();
        return LiveQdrant(std::move(base), std::move(*client));
    }

    // A non-2xx status or an unanswered request fails with the status and body in the message.
    core::Result<runtime::rest::JsonDocument> send(std::string method, const std::string& path,
                                                   std::string body = {}) const {
        net::HttpRequest request{std::move(method), url_ + path, {}, std::move(body)};
        if (!request.body.empty()) request.headers.emplace_back("content-type", "application/json");
        auto outcome = run_awaitable(client_->send(std::move(request)), std::chrono::seconds(40));
        if (!outcome || !*outcome) return core::fail(core::Diag::BackendJson, "request to " + path + " failed");
        const net::HttpResponse& reply = **outcome;
        if (reply.status < 200 || reply.status > 299)
            return core::fail(core::Diag::BackendJson, net::status_text(reply.status) + ": " + reply.body);
        return runtime::rest::parse_reply_json(reply.body, url_ + path, "test");
    }

    // Plans one Zorv statement and sends its single REST request the way the backend does, so
    // the reply has passed the envelope check and is left for the test to decode.
    core::Result<runtime::rest::JsonDocument> execute(std::string_view statement) const {
        auto parsed = ZORV_TRY(core::parse_statement(statement));
        auto op = ZORV_TRY(plan::plan_statement(parsed));
        return runtime::rest::test::run(runtime::rest::send_plan(backend_, op), std::chrono::seconds(40));
    }

    // A REST backend on this server, sharing its HTTP client.
    std::unique_ptr<runtime::Backend> make_backend() const { return runtime::rest::make_rest_backend(backend_); }

private:
    LiveQdrant(std::string url, std::shared_ptr<net::HttpClient> client)
        : url_(std::move(url)),
          client_(std::move(client)),
          backend_(runtime::rest::build_rest_backend(url_, std::nullopt, client_)) {}

    std::string url_;
    std::shared_ptr<net::HttpClient> client_;
    runtime::rest::RestBackend backend_;
};

}  // namespace zorv::test_support
