// The transport against a scripted loopback service: the faults a real server cannot be made to
// produce on demand, each with its exact error.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "net/loopback_server.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rest {
namespace {

using namespace std::chrono_literals;
using test::get;
using test::make_backend;
using test::post;
using test::run;
using test_support::CannedReply;
using test_support::LoopbackServer;

std::string base_of(const LoopbackServer& server) { return "http://127.0.0.1:" + std::to_string(server.port()); }

// The id the server saw: what an error names when the server sends none of its own.
std::string sent_id(const LoopbackServer& server) {
    auto requests = server.requests();
    return requests.empty() ? std::string("<none>") : requests.back().headers["x-request-id"];
}

TEST(RestTransportFaults, NonSuccessRepliesAreClassifiedWithTheirExcerpt) {
    struct Case {
        int status;
        std::string body;
        std::string code;
        std::string status_text;
    };
    const Case cases[] = {
        {502, "", "ZORV-BACKEND-HTTP", "502 Bad Gateway"},
        {404, R"({"status":{"error":"Not found: Collection `c` doesn't exist!"},"time":0.0})",
         "ZORV-BACKEND-COLLECTION-NOT-FOUND", "404 Not Found"},
        {401, "Must provide an API key or an Authorization bearer token", "ZORV-BACKEND-AUTH", "401 Unauthorized"},
        {403, "Forbidden: strict mode", "ZORV-BACKEND-STRICT-MODE", "403 Forbidden"},
        {422, "Wrong input: Vector dimension error: expected dim: 4, got 3", "ZORV-BACKEND-DIMENSION-MISMATCH",
         "422 Unprocessable Entity"},
        {503, "busy", "ZORV-BACKEND-HTTP", "503 Service Unavailable"},
        {599, "odd", "ZORV-BACKEND-HTTP", "599 <unknown status code>"},
    };
    for (const Case& c : cases) {
        LoopbackServer server(CannedReply{c.status, c.body});
        auto backend = make_backend(base_of(server));
        auto reply = run(send_request(backend, get("/collections/c")));
        ASSERT_FALSE(reply) << c.status;
        const std::string id = sent_id(server);
        std::string expected = "[" + c.code;
        expected.append("] Qdrant returned ").append(c.status_text).append(": ").append(c.body);
        expected.append(" (request id: ").append(id).append(") {status_code: ").append(std::to_string(c.status));
        expected.append(", url: ")
            .append(base_of(server))
            .append("/collections/c, request_id: ")
            .append(id)
            .append("}");
        EXPECT_EQ(core::format_error(reply.error()), expected);
        EXPECT_EQ(reply.error().kind, core::ErrorKind::Backend);
    }
}

TEST(RestTransportFaults, LongErrorBodiesAreQuotedUpToACharacterBoundary) {
    // "€" takes bytes 4094..4096: the excerpt stops before it, and classification sees no more.
    std::string body = std::string(4094, 'x') + "\xE2\x82\xAC" + " vector dimension";
    LoopbackServer server(CannedReply{500, body});
    auto backend = make_backend(base_of(server));
    auto reply = run(send_request(backend, get("/p")));
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().code, "ZORV-BACKEND-HTTP");
    EXPECT_EQ(reply.error().message, "Qdrant returned 500 Internal Server Error: " + std::string(4094, 'x') +
                                         " (request id: " + sent_id(server) + ")");
}

TEST(RestTransportFaults, InvalidUtf8IsReplacedBeforeQuoting) {
    LoopbackServer server(CannedReply{400, "bad \xFF byte"});
    auto backend = make_backend(base_of(server));
    auto reply = run(send_request(backend, get("/p")));
    ASSERT_FALSE(reply);
    EXPECT_NE(reply.error().message.find("bad \xEF\xBF\xBD byte"), std::string::npos);
}

TEST(RestTransportFaults, TheServersRequestIdIsNamedWhenItSendsOne) {
    CannedReply failed{500, "boom"};
    failed.headers = {{"x-request-id", "srv-1"}};
    CannedReply not_json{200, "not json"};
    not_json.headers = {{"X-Request-Id", "srv-1"}};
    CannedReply unusable{500, "boom"};
    unusable.headers = {{"x-request-id", "caf\xC3\xA9"}};
    {
        LoopbackServer server(failed);
        auto backend = make_backend(base_of(server));
        auto reply = run(send_request(backend, get("/p")));
        ASSERT_FALSE(reply);
        EXPECT_EQ(core::format_error(reply.error()),
                  "[ZORV-BACKEND-HTTP] Qdrant returned 500 Internal Server Error: boom (request id: srv-1) "
                  "{status_code: 500, url: " +
                      base_of(server) + "/p, request_id: srv-1}");
    }
    {
        LoopbackServer server(not_json);
        auto backend = make_backend(base_of(server));
        auto reply = run(send_json(backend, get("/p")));
        ASSERT_FALSE(reply);
        EXPECT_EQ(reply.error().code, "ZORV-BACKEND-JSON");
        EXPECT_TRUE(reply.error().message.ends_with("(request id: srv-1)")) << reply.error().message;
    }
    {
        LoopbackServer server(unusable);
        auto backend = make_backend(base_of(server));
        auto reply = run(send_request(backend, get("/p")));
        ASSERT_FALSE(reply);
        EXPECT_EQ(reply.error().fields.back().second, sent_id(server));
    }
}

TEST(RestTransportFaults, EnvelopeFaultsOfPlainReplies) {
    struct Case {
        std::string body;
        std::string error;
    };
    const Case cases[] = {
        {R"({"status":"ok"})", "[ZORV-BACKEND-ENVELOPE] /p response is missing the result field"},
        {R"({"result":1,"status":"OK"})", "[ZORV-BACKEND-ENVELOPE] /p response is missing status=ok"},
        {R"([1])", "[ZORV-BACKEND-ENVELOPE] /p returned a non-object JSON response"},
        {"", ""},  // empty text is not JSON
    };
    for (const Case& c : cases) {
        LoopbackServer server(CannedReply{200, c.body});
        auto backend = make_backend(base_of(server));
        auto reply = run(send_json(backend, get("/p")));
        ASSERT_FALSE(reply) << c.body;
        if (c.error.empty()) {
            EXPECT_EQ(reply.error().code, "ZORV-BACKEND-JSON");
            EXPECT_EQ(reply.error().fields, (decltype(reply.error().fields){{"url", base_of(server) + "/p"}}));
        } else {
            EXPECT_EQ(core::format_error(reply.error()), c.error);
        }
    }
    LoopbackServer empty(CannedReply{204, ""});
    auto backend = make_backend(base_of(empty));
    auto plain = run(send_request(backend, get("/p")));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->body, "");
}

TEST(RestTransportFaults, EnvelopedRepliesFallBackToTheEnvelopeCheck) {
    struct Case {
        std::string body;
        std::string code;
        std::string message;  // after the request id is filled in
    };
    const Case cases[] = {
        {R"({"status":{"error":"boom"},"time":0.1})", "ZORV-BACKEND-ENVELOPE",
         "/p response is missing the result field"},
        {"<html>", "ZORV-BACKEND-JSON", ""},
        {R"({"result":1,"status":"bad","status":"ok"})", "ZORV-BACKEND-JSON",
         "failed to parse Qdrant response: duplicate field `status` (request id: {})"},
        {R"({"result":1,"status":"accepted"})", "ZORV-BACKEND-ENVELOPE", "/p response is missing status=ok"},
    };
    for (const Case& c : cases) {
        LoopbackServer server(CannedReply{200, c.body});
        auto backend = make_backend(base_of(server));
        auto reply = run(send_enveloped(backend, post("/p", "{}"), parse_status_envelope));
        ASSERT_FALSE(reply) << c.body;
        EXPECT_EQ(reply.error().code, c.code) << c.body;
        std::string expected = c.message;
        if (auto at = expected.find("{}"); at != std::string::npos) expected.replace(at, 2, sent_id(server));
        if (!expected.empty()) {
            EXPECT_EQ(reply.error().message, expected);
        }
    }
    LoopbackServer server(CannedReply{200, R"({"time":0.5,"result":[{"status":"completed"}],"status":"ok"})"});
    auto backend = make_backend(base_of(server));
    auto reply = run(send_enveloped(backend, post("/p", "{}"), parse_batch_envelope));
    ASSERT_TRUE(reply) << reply.error().message;
    EXPECT_EQ(std::string(reply->result.at(0)["status"].get_string().value()), "completed");
}

TEST(RestTransportFaults, DeepReplyJsonFailsCleanly) {
    for (std::size_t depth : {std::size_t{129}, std::size_t{100'000}}) {
        std::string body = std::string(depth, '[') + std::string(depth, ']');
        LoopbackServer server(CannedReply{200, body});
        auto backend = make_backend(base_of(server));
        auto reply = run(send_json(backend, get("/p")));
        ASSERT_FALSE(reply);
        EXPECT_EQ(core::format_error(reply.error()),
                  "[ZORV-BACKEND-JSON] failed to parse Qdrant response: JSON nests deeper than 128 levels "
                  "(request id: " +
                      sent_id(server) + ") {url: " + base_of(server) + "/p}");
    }
}

TEST(RestTransportFaults, RepliesPastTheCapFailToRead) {
    LoopbackServer server(CannedReply{200, std::string(max_reply_bytes + 1, ' ')});
    auto backend = make_backend(base_of(server));
    auto reply = run(send_request(backend, get("/p")));
    ASSERT_FALSE(reply);
    EXPECT_EQ(core::format_error(reply.error()),
              "[ZORV-BACKEND-READ] failed to read response body: reply is larger than 64 MiB; ask for fewer points "
              "or leave vectors out {url: " +
                  base_of(server) + "/p}");
}

TEST(RestTransportFaults, BrokenExchangesFailWhereTheyBreak) {
    CannedReply truncated{200, R"({"result":[1,2,3],"status":"ok"})"};
    truncated.send_only = 10;
    CannedReply reset_head{200, "{}"};
    reset_head.reset_before_head = true;
    CannedReply reset_body{200, std::string(1000, ' ')};
    reset_body.send_only = 100;
    reset_body.reset = true;
    CannedReply slow_head{200, R"({"result":1,"status":"ok"})", 1500ms};
    CannedReply trickled{200, R"({"result":1,"status":"ok"}          )"};
    trickled.trickle_bytes = 4;
    trickled.trickle_every = 150ms;  // about 1.5 s in all
    struct Case {
        std::string name;
        CannedReply reply;
        std::string code;
    };
    const Case cases[] = {
        {"truncated", truncated, "ZORV-BACKEND-READ"},      {"reset before head", reset_head, "ZORV-TRANSPORT-REQUEST"},
        {"reset in body", reset_body, "ZORV-BACKEND-READ"}, {"slow head", slow_head, "ZORV-TRANSPORT-REQUEST"},
        {"trickled body", trickled, "ZORV-BACKEND-READ"},
    };
    for (const Case& c : cases) {
        LoopbackServer server(c.reply);
        auto backend = make_backend(base_of(server));
        backend.request_timeout = 1s;
        auto reply = run(send_request(backend, get("/p")));
        ASSERT_FALSE(reply) << c.name;
        EXPECT_EQ(reply.error().code, c.code) << c.name << ": " << reply.error().message;
        const std::string url = base_of(server) + "/p";
        if (c.code == "ZORV-BACKEND-READ") {
            EXPECT_EQ(reply.error().fields, (decltype(reply.error().fields){{"url", url}})) << c.name;
        } else {
            const std::string id = sent_id(server);
            EXPECT_EQ(reply.error().fields, (decltype(reply.error().fields){{"url", url}, {"request_id", id}}));
            EXPECT_TRUE(reply.error().message.ends_with(" (request id: " + id + ")")) << reply.error().message;
        }
        // A request that asks the server for 2 s gets 7 s, and outlives both slow replies.
        if (c.name == "slow head" || c.name == "trickled body") {
            RestCall call = get("/p");
            call.query = {{"timeout", "2"}};
            auto patient = run(send_json(backend, std::move(call)));
            EXPECT_TRUE(patient) << c.name << ": " << patient.error().message;
        }
    }
}

TEST(RestTransportFaults, RequestLimitGrowsWithTheServerTimeout) {
    struct Case {
        plan::QueryParams query;
        std::chrono::milliseconds limit;
    };
    const auto big = std::chrono::milliseconds::max();
    const Case cases[] = {
        {{}, 30s},
        {{{"timeout", "2"}}, 30s},
        {{{"consistency", "all"}, {"timeout", "100"}}, 105s},
        {{{"timeout", "18446744073709551615"}}, big},
        {{{"timeout", "9223372036854775"}}, big},
        {{{"timeout", "abc"}}, 30s},
    };
    for (const Case& c : cases) EXPECT_EQ(request_limit(30s, c.query), c.limit);
}

TEST(RestTransportFaults, SendsHeadersQueryAndBodyAsGiven) {
    LoopbackServer server(CannedReply{200, R"({"result":1,"status":"ok"})"});
    auto backend = make_backend(base_of(server) + "/mount///", "k\xC3\xA9y");
    backend.route_affinity = "r1";
    backend.route_affinity_header = optional_header_value(backend.route_affinity);
    ASSERT_TRUE(run(send_json(backend, post("/collections/c", "{\"a\":1}", {{"wait", "true"}, {"x", "a b&c/é"}}))));
    ASSERT_TRUE(run(send_json(backend, get("/collections"))));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2U);
    EXPECT_EQ(requests[0].target, "/mount/collections/c?wait=true&x=a+b%26c%2F%C3%A9");
    EXPECT_EQ(requests[0].body, "{\"a\":1}");
    std::vector<std::string> ours;
    for (const auto& [name, value] : requests[0].header_list) {
        if (name == "api-key" || name == "X-Qdrant-Route-Affinity" || name == "x-request-id" || name == "content-type")
            ours.push_back(name);
    }
    EXPECT_EQ(ours, (std::vector<std::string>{"api-key", "X-Qdrant-Route-Affinity", "x-request-id", "content-type"}));
    EXPECT_EQ(requests[0].headers["api-key"], "k\xC3\xA9y");
    EXPECT_FALSE(requests[1].headers.contains("content-type"));
    EXPECT_FALSE(requests[1].headers.contains("expect"));
    EXPECT_EQ(requests[1].target, "/mount/collections");
}

TEST(RestTransportFaults, EmptyKeyIsSentEmpty) {
    LoopbackServer server(CannedReply{200, R"({"result":1,"status":"ok"})"});
    auto backend = make_backend(base_of(server), "");
    ASSERT_TRUE(run(send_json(backend, get("/p"))));
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 1U);
    ASSERT_TRUE(requests[0].headers.contains("api-key"));
    EXPECT_EQ(requests[0].headers["api-key"], "");
}

TEST(RestTransportFaults, ControlBytesInKeyOrAffinityFailEveryRequestUnsent) {
    LoopbackServer server(CannedReply{200, R"({"result":1,"status":"ok"})"});
    auto with_key = make_backend(base_of(server), "a\nb");
    auto with_affinity = make_backend(base_of(server));
    with_affinity.route_affinity = "zone\x01";
    with_affinity.route_affinity_header = optional_header_value(with_affinity.route_affinity);
    EXPECT_EQ(with_key.api_key, "a\nb");
    EXPECT_FALSE(with_key.api_key_header);
    EXPECT_FALSE(with_affinity.route_affinity_header);
    for (const RestBackend* backend : {&with_key, &with_affinity}) {
        for (int attempt = 0; attempt < 2; ++attempt) {
            auto reply = run(send_json(*backend, get("/collections")));
            ASSERT_FALSE(reply);
            EXPECT_EQ(reply.error().code, "ZORV-TRANSPORT-REQUEST");
            EXPECT_EQ(reply.error().kind, core::ErrorKind::Transport);
            std::string shown = core::format_error(reply.error());
            EXPECT_EQ(shown.find("a\nb"), std::string::npos) << shown;
            EXPECT_EQ(shown.find("zone"), std::string::npos) << shown;
            ASSERT_EQ(reply.error().fields.size(), 2U);
            EXPECT_EQ(reply.error().fields[0],
                      (std::pair<std::string, std::string>{"url", base_of(server) + "/collections"}));
            EXPECT_EQ(reply.error().fields[1].first, "request_id");
        }
    }
    EXPECT_EQ(server.connections(), 0);
}

TEST(RestTransportFaults, CredentialsInTheBaseUrlAreNeverShown) {
    LoopbackServer server(CannedReply{404, "nope"});
    const std::string shown_base = base_of(server);
    auto backend = make_backend("http://user:s3cret@" + shown_base.substr(7) + "/");
    EXPECT_EQ(backend.shown_base_url, shown_base);
    auto reply = run(send_request(backend, get("/collections/x")));
    ASSERT_FALSE(reply);
    std::string text = core::format_error(reply.error());
    EXPECT_EQ(text.find("s3cret"), std::string::npos) << text;
    EXPECT_NE(text.find("url: " + shown_base + "/collections/x"), std::string::npos) << text;
    // libcurl still sends them, as basic auth.
    EXPECT_TRUE(server.requests().at(0).headers.contains("authorization"));
    test_support::ClosedPort closed;
    std::string dead = closed.url().substr(0, closed.url().rfind('/'));
    auto dead_backend = make_backend("http://user:s3cret@" + dead.substr(7));
    auto failed = run(send_request(dead_backend, get("/p")));
    ASSERT_FALSE(failed);
    text = core::format_error(failed.error());
    EXPECT_EQ(failed.error().code, "ZORV-TRANSPORT-REQUEST");
    EXPECT_EQ(text.find("s3cret"), std::string::npos) << text;
    EXPECT_EQ(strip_userinfo("https://a@b@h:1/p?q=x@y"), "https://h:1/p?q=x@y");
    EXPECT_EQ(strip_userinfo("http://h:1/p@x"), "http://h:1/p@x");
}

TEST(RestTransportFaults, BaseUrlsLoseTheirTrailingSlashes) {
    auto backend = make_backend("///");
    EXPECT_EQ(backend.base_url, "");
    auto reply = run(send_request(backend, get("/collections")));
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().code, "ZORV-TRANSPORT-REQUEST");
    EXPECT_EQ(reply.error().fields.at(0).second, "/collections");
    EXPECT_EQ(make_backend("http://h:6333///").base_url, "http://h:6333");
}

}  // namespace
}  // namespace zorv::runtime::rest
