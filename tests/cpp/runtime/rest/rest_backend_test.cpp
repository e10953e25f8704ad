// The REST backend against a scripted loopback service: the failures a real server will not give,
// and the names that must never reach a path.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "net/loopback_server.h"
#include "plan/plan_op.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rest {
namespace {

using test::run;
using test_support::CannedReply;
using test_support::LoopbackServer;

std::string base_of(const LoopbackServer& server) { return "http://127.0.0.1:" + std::to_string(server.port()); }

std::unique_ptr<Backend> backend_on(const std::string& base) { return make_rest_backend(test::make_backend(base)); }

struct ExistsCase {
    const char* label;
    CannedReply reply;
    std::optional<bool> exists;  // absent: fails with `code`
    const char* code;
};

void PrintTo(const ExistsCase& c, std::ostream* os) { *os << c.label; }

class CollectionExistsReplies : public testing::TestWithParam<ExistsCase> {};

// Only a real 404 is "missing"; every other failure comes back as itself.
TEST_P(CollectionExistsReplies, OnlyA404IsFalse) {
    const ExistsCase& c = GetParam();
    LoopbackServer fake(c.reply);
    auto backend = backend_on(base_of(fake));
    auto exists = run(backend->collection_exists("c"));
    if (c.exists) {
        ASSERT_TRUE(exists.has_value()) << exists.error().message;
        EXPECT_EQ(*exists, *c.exists);
    } else {
        ASSERT_FALSE(exists.has_value());
        EXPECT_EQ(exists.error().code, c.code) << exists.error().message;
    }
    const auto requests = fake.requests();
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].method, "GET");
    EXPECT_EQ(requests[0].target, "/collections/c");
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CollectionExistsReplies,
    testing::Values(ExistsCase{"found", {200, R"({"result":{"status":"green"},"status":"ok","time":0.0})"}, true, ""},
                    ExistsCase{"missing",
                               {404, R"({"status":{"error":"Not found: Collection `c` doesn't exist!"},"time":0.0})"},
                               false,
                               ""},
                    ExistsCase{"server error quoting 404",
                               {500, R"({"status":{"error":"upstream said 404"}})"},
                               std::nullopt,
                               "ZORV-BACKEND-HTTP"},
                    // Classified by its text, but a failure all the same, never "missing".
                    ExistsCase{"server error quoting 404 Not found",
                               {500, R"({"status":{"error":"404 Not found upstream"}})"},
                               std::nullopt,
                               "ZORV-BACKEND-COLLECTION-NOT-FOUND"},
                    ExistsCase{"2xx without a status",
                               {200, R"({"result":{},"status":"ok","time":0.0})"},
                               std::nullopt,
                               "ZORV-BACKEND-ENVELOPE"},
                    ExistsCase{"2xx that is not JSON", {200, "Not found"}, std::nullopt, "ZORV-BACKEND-JSON"}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& ch : name) {
            if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
        }
        return name;
    });

TEST(RestBackendFaults, DeadPortIsTheTransportError) {
    std::string base;
    {
        LoopbackServer gone(CannedReply{200, "{}"});
        base = base_of(gone);
    }
    auto exists = run(backend_on(base)->collection_exists("c"));
    ASSERT_FALSE(exists.has_value());
    EXPECT_EQ(exists.error().code, "ZORV-TRANSPORT-REQUEST") << exists.error().message;
}

TEST(RestBackendFaults, UndecodableCollectionInfoNamesTheCollection) {
    LoopbackServer fake(CannedReply{200, R"({"result":{"status":"green"},"status":"ok","time":0.0})"});
    auto info = run(backend_on(base_of(fake))->collection_info("my docs"));
    ASSERT_FALSE(info.has_value());
    EXPECT_EQ(info.error().code, "ZORV-BACKEND-ENVELOPE");
    ASSERT_FALSE(info.error().fields.empty());
    EXPECT_EQ(info.error().fields.back(), (std::pair<std::string, std::string>{"collection", "my docs"}));
    EXPECT_EQ(fake.requests().at(0).target, "/collections/my%20docs");
}

using Call = std::function<core::Result<void>(const Backend&, const std::string&)>;

template <class T>
core::Result<void> done(core::Result<T> result) {
    if (!result) return std::unexpected(std::move(result).error());
    return {};
}

struct NamedCall {
    const char* label;
    Call call;
};

const std::vector<NamedCall>& calls_taking_a_collection() {
    static const std::vector<NamedCall> calls = {
        {"collection_exists", [](const Backend& b, const std::string& n) { return done(run(b.collection_exists(n))); }},
        {"collection_info", [](const Backend& b, const std::string& n) { return done(run(b.collection_info(n))); }},
        {"delete_collection", [](const Backend& b, const std::string& n) { return run(b.delete_collection(n)); }},
        {"create_collection", [](const Backend& b, const std::string& n) { return run(b.create_collection(n, {})); }},
        {"update_collection", [](const Backend& b, const std::string& n) { return run(b.update_collection(n, {})); }},
        {"create_field_index",
         [](const Backend& b, const std::string& n) {
             plan::PlanFieldIndex index;
             index.field_name = "city";
             return run(b.create_field_index(n, index));
         }},
        {"delete_field_index",
         [](const Backend& b, const std::string& n) { return run(b.delete_field_index(n, "f")); }},
        {"query_batch",
         [](const Backend& b, const std::string& n) {
             return done(run(b.query_batch(n, {}, std::nullopt, std::nullopt)));
         }},
        {"update_batch",
         [](const Backend& b, const std::string& n) {
             const std::vector<plan::UpdateOperation> none;
             return done(run(b.update_batch(n, none, true)));
         }},
        {"execute DROP COLLECTION",
         [](const Backend& b, const std::string& n) {
             return done(run(b.execute(plan::make_op<plan::PlanOpKind::DropCollection>(plan::CollectionOp{n}))));
         }},
    };
    return calls;
}

// "", "." and ".." would name another resource once in a path: refused before anything is sent.
TEST(RestBackendNames, PathNamesThatEscapeAreRefusedUnsent) {
    LoopbackServer fake(CannedReply{200, R"({"result":true,"status":"ok","time":0.0})"});
    auto backend = backend_on(base_of(fake));
    for (const std::string name : {"", ".", ".."}) {
        for (const NamedCall& c : calls_taking_a_collection()) {
            auto outcome = c.call(*backend, name);
            ASSERT_FALSE(outcome.has_value()) << c.label << " '" << name << "'";
            EXPECT_EQ(outcome.error().code, "ZORV-PLAN-PATH-NAME") << c.label << " '" << name << "'";
        }
    }
    auto field = run(backend->delete_field_index("c", ".."));
    ASSERT_FALSE(field.has_value());
    EXPECT_EQ(field.error().message, "field name '..' cannot be a REST path segment; empty, '.' and '..' are refused");
    EXPECT_TRUE(fake.requests().empty());
}

TEST(RestBackendFaults, OptimizeFailsUnsent) {
    LoopbackServer fake(CannedReply{200, "{}"});
    auto outcome = run(backend_on(base_of(fake))->optimize());
    ASSERT_FALSE(outcome.has_value());
    EXPECT_EQ(outcome.error().code, "ZORV-BACKEND-OPTIMIZE");
    EXPECT_EQ(outcome.error().message, "optimize is not supported by this backend");
    EXPECT_EQ(outcome.error().kind, core::ErrorKind::Validation);
    EXPECT_TRUE(outcome.error().fields.empty());
    EXPECT_TRUE(fake.requests().empty());
}

// The steps run in order and stop at the first refusal; what was done stays done.
TEST(RestBackendFaults, CreationStopsAtTheFirstRefusedStep) {
    std::atomic<int> seen{0};
    LoopbackServer fake([&seen](const test_support::RecordedRequest&) {
        return ++seen == 2 ? CannedReply{400, R"({"status":{"error":"shard key refused"},"time":0.0})"}
                           : CannedReply{200, R"({"result":true,"status":"ok","time":0.0})"};
    });
    auto create = plan::make_op<plan::PlanOpKind::CreateCollection>(plan::CreateCollectionOp{"c", {}});
    create.get<plan::PlanOpKind::CreateCollection>().config.shard_keys =
        std::vector<std::variant<std::uint64_t, std::string>>{std::string("eu"), std::string("us")};
    auto reply = run(backend_on(base_of(fake))->execute(std::move(create)));
    ASSERT_FALSE(reply.has_value());
    EXPECT_EQ(reply.error().code, "ZORV-BACKEND-HTTP");
    std::vector<std::string> sent;
    for (const auto& request : fake.requests())
        sent.push_back(request.method + " " + request.target + " " + request.body);
    EXPECT_EQ(sent,
              (std::vector<std::string>{"PUT /collections/c {}", R"(PUT /collections/c/shards {"shard_key":"eu"})"}));
}

TEST(RestBackendFaults, ClientSideKindsAreRefusedUnsent) {
    LoopbackServer fake(CannedReply{200, "{}"});
    plan::CrossRerankOp rerank;
    rerank.collection = "c";
    auto reply = run(backend_on(base_of(fake))->execute(plan::make_op<plan::PlanOpKind::CrossRerank>(rerank)));
    ASSERT_FALSE(reply.has_value());
    EXPECT_EQ(reply.error().code, "ZORV-REST-CLIENT-SIDE");
    EXPECT_TRUE(fake.requests().empty());
}

TEST(RestBackendAliases, BodyListsTheActionsInOrder) {
    const std::vector<AliasAction> actions = {
        {AliasAction::Create{"docs \"v2\"", "docs"}},
        {AliasAction::Delete{"old"}},
    };
    EXPECT_EQ(alias_actions_body(actions),
              R"({"actions":[{"create_alias":{"collection_name":"docs \"v2\"","alias_name":"docs"}},)"
              R"({"delete_alias":{"alias_name":"old"}}]})");
    EXPECT_EQ(alias_actions_body({}), R"({"actions":[]})");
}

}  // namespace
}  // namespace zorv::runtime::rest
