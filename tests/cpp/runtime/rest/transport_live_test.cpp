// The transport against the real server, at ZORV_TEST_QDRANT_URL; a recording proxy in front of it
// shows what went over the wire. ZORV_TEST_QDRANT_AUTH_URL, when set, is a server that requires
// the api key "secret".
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "net/loopback_server.h"
#include "net/recording_proxy.h"
#include "plan/rest/batch_body.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rest {
namespace {

using test::get;
using test::make_backend;
using test::post;
using test::run;

const std::regex id_form("^zorv-[0-9a-f]{16}[0-9a-f]{4,}$");

std::string env_or_empty(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

class RestTransportLive : public ::testing::Test {
protected:
    void SetUp() override {
        base_ = env_or_empty("ZORV_TEST_QDRANT_URL");
        while (!base_.empty() && base_.back() == '/') base_.pop_back();
        if (base_.empty()) GTEST_SKIP() << "ZORV_TEST_QDRANT_URL is not set: no Qdrant server to test against";
    }
    std::string base_;
};

TEST_F(RestTransportLive, CountCarriesTheHeadersInOrder) {
    const std::string collection = "wire_count_" + std::to_string(::getpid());
    auto direct = make_backend(base_);
    ASSERT_TRUE(run(send_json(direct, RestCall{.method = plan::HttpMethod::Put,
                                               .path = "/collections/" + collection,
                                               .query = {},
                                               .body = R"({"vectors":{"size":2,"distance":"Dot"}})"})));
    test_support::RecordingProxy proxy(base_);
    auto backend = make_backend(proxy.url(), "key-1");
    backend.route_affinity = "affinity-1";
    backend.route_affinity_header = optional_header_value(backend.route_affinity);
    auto counted = run(send_json(backend, post("/collections/" + collection + "/points/count", R"({"exact":true})")));
    ASSERT_TRUE(counted) << core::format_error(counted.error());
    EXPECT_EQ(counted->root()["result"]["count"].get_uint64().value(), 0U);
    auto listed = run(send_and_decode(backend, "/collections"));
    ASSERT_TRUE(listed) << core::format_error(listed.error());
    // Two deletes in one update batch: the body goes out as written from the records.
    std::vector<plan::UpdateOperation> operations(2);
    operations[0].value.emplace<1>(plan::PlanPointsSelector{.points = std::vector<plan::PlanPointId>{std::uint64_t{1}},
                                                            .filter = std::nullopt,
                                                            .shard_key = std::nullopt});
    operations[1].value.emplace<1>(plan::PlanPointsSelector{.points = std::vector<plan::PlanPointId>{std::string(
                                                                "5c56c793-69f3-4fbf-87e6-c4bf54c28c26")},
                                                            .filter = std::nullopt,
                                                            .shard_key = std::nullopt});
    auto batch = run(send_enveloped(backend,
                                    update_batch_call("/collections/" + collection + "/points/batch",
                                                      {{"wait", "true"}}, operations),
                                    parse_batch_envelope));
    ASSERT_TRUE(batch) << core::format_error(batch.error());
    simdjson::dom::array members;
    ASSERT_EQ(batch->result.get_array().get(members), simdjson::SUCCESS);
    EXPECT_EQ(members.size(), 2U);
    auto dropped = run(send_enveloped(backend,
                                      RestCall{.method = plan::HttpMethod::Delete,
                                               .path = "/collections/" + collection,
                                               .query = {},
                                               .body = std::nullopt},
                                      parse_status_envelope));
    EXPECT_TRUE(dropped) << core::format_error(dropped.error());

    auto requests = proxy.requests();
    ASSERT_EQ(requests.size(), 4U);
    std::string written;
    plan::write_update_batch_body(written, operations);
    EXPECT_EQ(requests[2].body, written);
    EXPECT_EQ(requests[2].target, "/collections/" + collection + "/points/batch?wait=true");
    std::vector<std::string> names;
    for (const auto& [name, value] : requests[0].header_list) {
        if (name == "api-key" || name == "X-Qdrant-Route-Affinity" || name == "x-request-id") names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"api-key", "X-Qdrant-Route-Affinity", "x-request-id"}));
    EXPECT_EQ(requests[0].headers["api-key"], "key-1");
    EXPECT_EQ(requests[0].headers["x-qdrant-route-affinity"], "affinity-1");
    EXPECT_EQ(requests[0].headers["content-type"], "application/json");
    EXPECT_EQ(requests[0].body, R"({"exact":true})");
    EXPECT_FALSE(requests[1].headers.contains("content-type"));
    for (const auto& request : requests) {
        EXPECT_TRUE(std::regex_match(request.headers.at("x-request-id"), id_form))
            << request.headers.at("x-request-id");
    }
}

TEST_F(RestTransportLive, MissingCollectionIsNotFound) {
    auto backend = make_backend(base_ + "/");
    auto reply = run(send_json(backend, get("/collections/missing")));
    ASSERT_FALSE(reply);
    const auto& fields = reply.error().fields;
    ASSERT_EQ(fields.size(), 3U);
    const std::string id = fields[2].second;
    EXPECT_TRUE(std::regex_match(id, id_form)) << id;
    const std::regex shown(
        "\\[ZORV-BACKEND-COLLECTION-NOT-FOUND\\] Qdrant returned 404 Not Found: "
        "\\{\"status\":\\{\"error\":\"Not found: Collection `missing` doesn't exist!\"\\},"
        "\"time\":[0-9.e-]+\\} \\(request id: " +
        id + "\\) \\{status_code: 404, url: " + base_ + "/collections/missing, request_id: " + id + "\\}");
    EXPECT_TRUE(std::regex_match(core::format_error(reply.error()), shown)) << core::format_error(reply.error());
}

TEST_F(RestTransportLive, ControlByteKeyNeverReachesTheServer) {
    test_support::RecordingProxy proxy(base_);
    auto backend = make_backend(proxy.url(), "a\nb");
    auto reply = run(send_json(backend, get("/collections")));
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().code, "ZORV-TRANSPORT-REQUEST");
    EXPECT_EQ(core::format_error(reply.error()).find("a\nb"), std::string::npos);
    EXPECT_TRUE(proxy.requests().empty());
}

TEST_F(RestTransportLive, DeadPortIsATransportFailure) {
    test_support::ClosedPort closed;
    const std::string dead = closed.url().substr(0, closed.url().rfind('/'));
    auto backend = make_backend(dead);
    auto reply = run(send_json(backend, get("/collections")));
    ASSERT_FALSE(reply);
    EXPECT_EQ(reply.error().code, "ZORV-TRANSPORT-REQUEST");
    EXPECT_EQ(reply.error().kind, core::ErrorKind::Transport);
    ASSERT_EQ(reply.error().fields.size(), 2U);
    EXPECT_EQ(reply.error().fields[0], (std::pair<std::string, std::string>{"url", dead + "/collections"}));
    EXPECT_EQ(reply.error().fields[1].first, "request_id");
    EXPECT_TRUE(reply.error().message.starts_with("HTTP request failed: ")) << reply.error().message;
    EXPECT_TRUE(reply.error().message.ends_with(" (request id: " + reply.error().fields[1].second + ")"));
}

TEST(RestTransportLiveAuth, MissingKeyIsRefused) {
    const std::string base = env_or_empty("ZORV_TEST_QDRANT_AUTH_URL");
    if (base.empty()) GTEST_SKIP() << "ZORV_TEST_QDRANT_AUTH_URL is not set: no Qdrant server with an api key";
    auto without = make_backend(base);
    auto refused = run(send_json(without, get("/collections")));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, "ZORV-BACKEND-AUTH");
    EXPECT_EQ(refused.error().fields.at(0), (std::pair<std::string, std::string>{"status_code", "401"}));
    auto with = make_backend(base, "secret");
    auto listed = run(send_json(with, get("/collections")));
    EXPECT_TRUE(listed) << core::format_error(listed.error());
}

}  // namespace
}  // namespace zorv::runtime::rest
