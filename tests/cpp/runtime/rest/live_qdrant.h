// The live server of the reply tests: statements are planned, compiled to their REST request and
// sent with the library's HTTP client to ZORV_TEST_QDRANT_URL; the tests skip when it is unset.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "core/diagnostics.h"
#include "core/parser/parser.h"
#include "net/http_client.h"
#include "net/run_awaitable.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/route.h"
#include "runtime/rest/reply_json.h"

namespace zorv::runtime::rest::test_support {

inline std::string live_qdrant_url() {
    const char* url = std::getenv("ZORV_TEST_QDRANT_URL");
    std::string out = url ? url : "";
    while (out.ends_with('/')) out.pop_back();
    return out;
}

inline constexpr std::string_view no_live_server =
    "ZORV_TEST_QDRANT_URL is not set; start a server with ../shared/qdrant/start and export its QDRANT_URL";

// One planned statement and the server's parsed reply to it.
struct LiveExchange {
    plan::PlanOp op;
    JsonDocument reply;
};

class LiveQdrant {
public:
    explicit LiveQdrant(std::string base_url) : base_url_(std::move(base_url)) {
        auto client = net::HttpClient::create();
        EXPECT_TRUE(client.has_value());
        if (client) client_ = std::move(*client);
    }

    // Parses, plans and sends one statement; a 2xx reply's body parsed, anything else an error
    // whose message holds the status and body.
    core::Result<LiveExchange> send(std::string_view statement) const {
        auto parsed = core::parse_statement(statement);
        if (!parsed) return std::unexpected(std::move(parsed).error());
        auto op = plan::plan_statement(*parsed);
        if (!op) return std::unexpected(std::move(op).error());
        auto route = plan::plan_to_rest_request(*op);
        if (!route) return core::fail(core::Diag::RestMultiStep, "no single REST request for this statement");
        net::HttpRequest request;
        request.method = std::string(plan::http_method_name(route->method));
        request.url = base_url_ + route->path + query_string(route->query);
        if (route->body) {
            request.headers.emplace_back("content-type", "application/json");
            request.body = plan::json_text(*route->body);
        }
        auto outcome = zorv::test_support::run_awaitable(client_->send(std::move(request)));
        if (!outcome || !*outcome) return core::fail(core::Diag::BackendJson, "request failed");
        const net::HttpResponse& response = **outcome;
        if (response.status < 200 || response.status > 299) {
            return core::fail(core::Diag::BackendJson,
                              std::to_string(response.status) + " " + response.body + " for " + std::string(statement));
        }
        auto reply = parse_reply_json(response.body, base_url_ + route->path, "test");
        if (!reply) return std::unexpected(std::move(reply).error());
        return LiveExchange{std::move(*op), std::move(*reply)};
    }

    // Sends and expects success.
    void run(std::string_view statement) const {
        auto exchange = send(statement);
        EXPECT_TRUE(exchange.has_value()) << statement << ": " << (exchange ? "" : exchange.error().message);
    }

    // Whether or not it exists.
    void drop_collection(const std::string& name) const { (void)send("DROP COLLECTION " + name); }

private:
    static std::string query_string(const plan::QueryParams& params) {
        std::string out;
        for (const auto& [key, value] : params) {
            out += out.empty() ? '?' : '&';
            out += plan::encode_path_segment(key) + "=" + plan::encode_path_segment(value);
        }
        return out;
    }

    std::string base_url_;
    std::shared_ptr<net::HttpClient> client_;
};

}  // namespace zorv::runtime::rest::test_support
