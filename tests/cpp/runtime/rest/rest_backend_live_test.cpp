// The REST backend against the real server at ZORV_TEST_QDRANT_URL, with a recording proxy in
// front so the tests also see what went over the wire.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/parser/parser.h"
#include "net/recording_proxy.h"
#include "plan/batch.h"
#include "plan/planner.h"
#include "runtime/recording_backend.h"
#include "runtime/rest/live_qdrant.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rest {
namespace {

using plan::PlanOpKind;
using protocol::BackendReply;
using protocol::ExecData;
using test::run;
using test_support::RecordedRequest;
using test_support::RecordingProxy;

std::string unique_name(std::string_view stem) { return std::string(stem) + "_" + std::to_string(::getpid()); }

// The name as a statement writes it.
std::string literal_name(std::string_view name) { return "'" + std::string(name) + "'"; }

core::Result<plan::PlanOp> planned(std::string_view statement) {
    auto parsed = ZORV_TRY(core::parse_statement(statement));
    return plan::plan_statement(parsed);
}

template <PlanOpKind K>
auto planned_part(std::string_view statement) {
    auto op = planned(statement);
    EXPECT_TRUE(op.has_value()) << statement << ": " << (op ? "" : op.error().message);
    using Part = std::remove_cvref_t<decltype(op->template get<K>())>;
    return op ? std::move(op->template get<K>()) : Part{};
}

class RestBackendLive : public testing::Test {
protected:
    void SetUp() override {
        const char* url = std::getenv("ZORV_TEST_QDRANT_URL");
        if (url == nullptr || *url == '\0') GTEST_SKIP() << test_support::no_qdrant_reason;
        proxy_ = std::make_unique<RecordingProxy>(url);
        auto recording =
            std::make_unique<runtime::test::RecordingBackend>(make_rest_backend(test::make_backend(proxy_->url())));
        calls_ = recording.get();
        backend_ = std::move(recording);
    }

    void TearDown() override {
        for (const std::string& name : created_) (void)run(backend_->delete_collection(name));
    }

    core::Result<BackendReply> exec(std::string_view statement) const {
        auto op = ZORV_TRY(planned(statement));
        return run(backend_->execute(std::move(op)));
    }

    void ok(std::string_view statement) const {
        auto reply = exec(statement);
        ASSERT_TRUE(reply.has_value()) << statement << ": " << reply.error().message;
    }

    // Dropped first, and again at the end of the test.
    void create(const std::string& name, std::string_view columns = "(v VECTOR(2, DOT))") {
        created_.push_back(name);
        (void)run(backend_->delete_collection(name));
        ok("CREATE COLLECTION " + literal_name(name) + " " + std::string(columns));
    }

    bool exists(const std::string& name) const {
        auto found = run(backend_->collection_exists(name));
        EXPECT_TRUE(found.has_value()) << name << ": " << (found ? "" : found.error().message);
        return found && *found;
    }

    std::size_t sent() const { return proxy_->requests().size(); }
    std::vector<RecordedRequest> sent_since(std::size_t mark) const {
        auto all = proxy_->requests();
        return {all.begin() + static_cast<std::ptrdiff_t>(mark), all.end()};
    }

    std::unique_ptr<RecordingProxy> proxy_;
    std::unique_ptr<Backend> backend_;
    runtime::test::RecordingBackend* calls_ = nullptr;  // backend_, counting
    std::vector<std::string> created_;
};

TEST_F(RestBackendLive, ExistenceOfPresentAndMissingCollections) {
    const std::string name = unique_name("rest_exists");
    create(name);
    EXPECT_TRUE(exists(name));
    EXPECT_FALSE(exists(name + "_missing"));
    auto info = run(backend_->collection_info(name + "_missing"));
    ASSERT_FALSE(info.has_value());
    EXPECT_EQ(info.error().code, "ZORV-BACKEND-COLLECTION-NOT-FOUND");
}

// Names with a space and a non-ASCII letter go percent-encoded and name the same collection
// through every statement.
TEST_F(RestBackendLive, NamesThatNeedEncodingLiveAFullLife) {
    for (const std::string stem : {"my docs", "café"}) {
        const std::string name = unique_name(stem);
        const std::size_t mark = sent();
        create(name);
        ok("UPSERT INTO " + literal_name(name) + " VALUES {id: 1, vector: {v: [0.1, 0.2]}, city: 'Oslo'} WAIT true");
        auto hits = exec("QUERY [0.1, 0.2] FROM " + literal_name(name) + " USING v LIMIT 1");
        ASSERT_TRUE(hits.has_value()) << hits.error().message;
        const auto& points = std::get<ExecData::Hits>(hits->data->value).points;
        ASSERT_EQ(points.size(), 1U) << name;
        EXPECT_EQ(points[0].id, plan::PlanPointId{std::uint64_t{1}});
        auto info = run(backend_->collection_info(name));
        ASSERT_TRUE(info.has_value()) << info.error().message;
        EXPECT_EQ(info->points_count, 1U);
        ok("DROP COLLECTION " + literal_name(name));
        EXPECT_FALSE(exists(name));
        const auto requests = sent_since(mark);
        const auto encoded = "/collections/" + plan::encode_path_segment(name);
        EXPECT_TRUE(std::ranges::any_of(requests, [&](const RecordedRequest& r) {
            return r.method == "PUT" && r.target == encoded;
        })) << encoded;
    }
}

TEST_F(RestBackendLive, TraversalInANameStaysInsideOneSegment) {
    const std::string victim = unique_name("rest_victim");
    create(victim);
    const std::size_t mark = sent();
    auto dropped = exec("DROP COLLECTION 'x/../" + victim + "'");
    EXPECT_FALSE(dropped.has_value());
    EXPECT_EQ(sent_since(mark).at(0).target, "/collections/x%2F..%2F" + victim);
    EXPECT_TRUE(exists(victim));

    const std::size_t before = sent();
    auto refused = run(backend_->execute(plan::make_op<PlanOpKind::DropCollection>(plan::CollectionOp{".."})));
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().code, "ZORV-PLAN-PATH-NAME");
    EXPECT_EQ(sent(), before);
    auto planned_drop = exec("DROP COLLECTION '..'");
    ASSERT_FALSE(planned_drop.has_value());
    EXPECT_EQ(planned_drop.error().code, "ZORV-PLAN-PATH-NAME");
    EXPECT_EQ(sent(), before);
    EXPECT_TRUE(exists(victim));
}

struct QueryBatchCase {
    std::optional<std::uint64_t> timeout;
    std::optional<plan::Consistency> consistency;
    std::string query_string;
    const char* refused = nullptr;  // the server's error code when it refuses the parameters
};

TEST_F(RestBackendLive, QueryBatchSendsTimeoutThenConsistency) {
    const std::string name = unique_name("rest_qbatch");
    create(name);
    ok("UPSERT INTO " + name + " VALUES {id: 1, vector: {v: [1, 0]}}, {id: 2, vector: {v: [0, 1]}} WAIT true");
    auto batch = planned_part<PlanOpKind::Batch>("BATCH { QUERY [1, 0] FROM " + name +
                                                 " USING v LIMIT 2; QUERY [0, 1] FROM " + name + " USING v LIMIT 1 }");
    auto searches = plan::query_batch_from_members(batch.members);
    ASSERT_TRUE(searches.has_value()) << searches.error().message;
    const std::string path = "/collections/" + name + "/points/query/batch";
    const std::vector<QueryBatchCase> cases = {
        {std::nullopt, std::nullopt, ""},
        {5, plan::Consistency{plan::Consistency::Majority{}}, "?timeout=5&consistency=majority"},
        // Sent as given; the server wants a non-zero timeout.
        {0, std::nullopt, "?timeout=0", "ZORV-BACKEND-HTTP"},
        {std::nullopt, plan::Consistency{plan::Consistency::Factor{1}}, "?consistency=1"},
    };
    for (const QueryBatchCase& c : cases) {
        const std::size_t mark = sent();
        auto replies = run(backend_->query_batch(name, searches->searches, c.timeout, c.consistency));
        EXPECT_EQ(sent_since(mark).at(0).target, path + c.query_string);
        if (c.refused != nullptr) {
            ASSERT_FALSE(replies.has_value());
            EXPECT_EQ(replies.error().code, c.refused) << replies.error().message;
            continue;
        }
        ASSERT_TRUE(replies.has_value()) << c.query_string << ": " << replies.error().message;
        ASSERT_EQ(replies->size(), 2U);
        const auto& first = std::get<ExecData::Hits>((*replies)[0].data->value).points;
        const auto& second = std::get<ExecData::Hits>((*replies)[1].data->value).points;
        ASSERT_EQ(first.size(), 2U);
        ASSERT_EQ(second.size(), 1U);
        EXPECT_EQ(first[0].id, plan::PlanPointId{std::uint64_t{1}});
        EXPECT_EQ(second[0].id, plan::PlanPointId{std::uint64_t{2}});
        EXPECT_EQ(sent_since(mark).size(), 1U);
    }
}

TEST_F(RestBackendLive, UpdateBatchWithoutWaitAsksNotToWait) {
    const std::string name = unique_name("rest_ubatch");
    create(name);
    auto batch =
        planned_part<PlanOpKind::Batch>("BATCH { UPSERT INTO " + name + " VALUES {id: 1, vector: {v: [1, 0]}}; " +
                                        "DELETE FROM " + name + " WHERE id = 7 }");
    auto update = plan::update_batch_from_members(batch.members);
    ASSERT_TRUE(update.has_value()) << update.error().message;
    for (const bool wait : {false, true}) {
        const std::size_t mark = sent();
        auto replies = run(backend_->update_batch(name, update->operations, wait));
        ASSERT_TRUE(replies.has_value()) << replies.error().message;
        EXPECT_EQ(replies->size(), 2U);
        const auto requests = sent_since(mark);
        ASSERT_EQ(requests.size(), 1U);
        EXPECT_EQ(requests[0].target, "/collections/" + name + "/points/batch?wait=" + (wait ? "true" : "false"));
    }
}

TEST_F(RestBackendLive, AliasesComeAndGo) {
    const std::string name = unique_name("rest_alias");
    const std::string alias = name + "_a";
    create(name);
    const std::size_t mark = sent();
    ASSERT_TRUE(run(backend_->update_aliases({})).has_value());
    const auto requests = sent_since(mark);
    ASSERT_EQ(requests.size(), 1U);
    EXPECT_EQ(requests[0].target, "/collections/aliases");
    EXPECT_EQ(requests[0].body, R"({"actions":[]})");
    auto created = run(backend_->update_aliases({{AliasAction::Create{name, alias}}}));
    ASSERT_TRUE(created.has_value()) << created.error().message;
    EXPECT_TRUE(exists(alias));
    auto removed = run(backend_->update_aliases({{AliasAction::Delete{alias}}}));
    ASSERT_TRUE(removed.has_value()) << removed.error().message;
    EXPECT_FALSE(exists(alias));
}

// The backend's own collection calls, without statements: create, index, alter, list, drop.
TEST_F(RestBackendLive, CollectionCallsOfTheInterface) {
    const std::string name = unique_name("rest_ddl");
    created_.push_back(name);
    (void)run(backend_->delete_collection(name));
    auto config = planned_part<PlanOpKind::CreateCollection>("CREATE COLLECTION c (v VECTOR(2, DOT))").config;
    ASSERT_TRUE(run(backend_->create_collection(name, config)).has_value());
    auto index = planned_part<PlanOpKind::CreateIndex>("CREATE INDEX ON COLLECTION c FOR city TYPE keyword").index;
    auto indexed = run(backend_->create_field_index(name, index));
    ASSERT_TRUE(indexed.has_value()) << indexed.error().message;
    calls_->reset();
    auto info = run(backend_->collection_info(name));
    ASSERT_TRUE(info.has_value()) << info.error().message;
    EXPECT_EQ(calls_->count(runtime::test::BackendCall::CollectionInfo), 1U);
    EXPECT_EQ(calls_->total(), 1U);
    ASSERT_EQ(info->schema.payload_indexes.size(), 1U);
    EXPECT_EQ(info->schema.payload_indexes[0].field, "city");
    auto unindexed = run(backend_->delete_field_index(name, "city"));
    ASSERT_TRUE(unindexed.has_value()) << unindexed.error().message;
    auto update =
        planned_part<PlanOpKind::AlterCollection>("ALTER COLLECTION c WITH OPTIMIZERS (indexing_threshold = 0)").update;
    auto altered = run(backend_->update_collection(name, update));
    ASSERT_TRUE(altered.has_value()) << altered.error().message;
    auto names = run(backend_->list_collections());
    ASSERT_TRUE(names.has_value()) << names.error().message;
    EXPECT_NE(std::ranges::find(*names, name), names->end());
    ASSERT_TRUE(run(backend_->delete_collection(name)).has_value());
    EXPECT_FALSE(exists(name));
}

TEST_F(RestBackendLive, ShardKeysFollowTheCreation) {
    const std::string name = unique_name("rest_shards");
    created_.push_back(name);
    (void)run(backend_->delete_collection(name));
    const std::size_t mark = sent();
    auto created = exec("CREATE COLLECTION " + name +
                        " (v VECTOR(2, DOT)) WITH PARAMS (sharding_method = 'CUSTOM', shard_keys = ['eu', 'us'])");
    const auto requests = sent_since(mark);
    ASSERT_FALSE(requests.empty());
    if (!created && requests.size() == 1)
        GTEST_SKIP() << "the server refuses custom sharding: " << created.error().message;
    ASSERT_TRUE(created.has_value()) << created.error().message;
    EXPECT_EQ(created->data, ExecData{ExecData::Mutation{}});
    EXPECT_FALSE(created->telemetry.has_value());
    std::vector<std::string> seen;
    for (const RecordedRequest& r : requests) seen.push_back(r.method + " " + r.target + " " + r.body);
    const std::string path = "/collections/" + name;
    ASSERT_EQ(seen.size(), 3U);
    EXPECT_TRUE(seen[0].starts_with("PUT " + path + " {")) << seen[0];
    EXPECT_EQ(seen[1], "PUT " + path + R"(/shards {"shard_key":"eu"})");
    EXPECT_EQ(seen[2], "PUT " + path + R"(/shards {"shard_key":"us"})");
}

}  // namespace
}  // namespace zorv::runtime::rest
