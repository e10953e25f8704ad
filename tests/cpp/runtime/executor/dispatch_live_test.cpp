// Dispatch against the real server through the REST backend: the schema cache and its eviction,
// an explicit BATCH, the client-side CROSS RERANK with scores from a loopback rerank service, and
// the deadline. A recording wrapper counts the backend calls the executor makes.
#include "runtime/executor/dispatch.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/parser/parser.h"
#include "embed/fake_embedder.h"
#include "embed/http_embedder.h"
#include "net/loopback_server.h"
#include "plan/planner.h"
#include "runtime/executor/schema_cache.h"
#include "runtime/recording_backend.h"
#include "runtime/rest/live_qdrant.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime {
namespace {

using protocol::ExecData;
using protocol::ScoredPoint;
using protocol::StatementResult;
using rest::test::run;
using test::BackendCall;
using test::RecordingBackend;
using test_support::CannedReply;
using test_support::LoopbackServer;
using test_support::RecordedRequest;

// A name of this process, so parallel runs do not meet.
std::string unique_name(std::string_view stem) { return std::string(stem) + "_" + std::to_string(::getpid()); }

core::Result<plan::PlanOp> plan_text(const std::string& text) {
    auto statement = ZORV_TRY(core::parse_statement(text));
    return plan::plan_statement(statement);
}

// A rerank service answering `scores` by document position, and an embedder that asks it.
class RerankService {
public:
    std::vector<std::string> scores;  // JSON number texts

    RerankService()
        : server_([this](const RecordedRequest&) {
              std::string results;
              for (std::size_t i = 0; i < scores.size(); ++i) {
                  if (i > 0) results += ",";
                  results += R"({"index":)" + std::to_string(i) + R"(,"score":)" + scores[i] + "}";
              }
              return CannedReply{200, R"({"results":[)" + results + "]}"};
          }) {}

    std::shared_ptr<const embed::Embedder> embedder() const {
        embed::HttpEmbedderConfig config;
        config.endpoint = server_.url("/embed");
        config.model = "dense";
        config.dimension = 2;
        config.rerank_endpoint = server_.url("/rerank");
        auto built = embed::build_http_embedder(config);
        EXPECT_TRUE(built);
        return built ? *built : nullptr;
    }
    std::vector<RecordedRequest> requests() const { return server_.requests(); }

private:
    LoopbackServer server_;
};

// Answers every rerank with two scores, whatever it was given.
class TwoScoreReranker : public embed::test_support::FakeEmbedder {
public:
    embed::AsyncResult<std::vector<float>> rerank_pairs(std::string, std::vector<std::string>,
                                                        std::string) const override {
        co_return std::vector<float>{0.5F, 0.25F};
    }
};

class DispatchLive : public testing::Test {
protected:
    void SetUp() override {
        server_ = test_support::LiveQdrant::from_env();
        if (!server_) GTEST_SKIP() << test_support::no_qdrant_reason;
        build(nullptr);
    }

    void TearDown() override {
        for (const std::string& name : created_) (void)server_->execute("DROP COLLECTION " + name);
    }

    void build(std::shared_ptr<const embed::Embedder> embedder) {
        auto recording = std::make_unique<RecordingBackend>(
            rest::make_rest_backend(rest::test::make_backend(std::getenv("ZORV_TEST_QDRANT_URL"))));
        recording_ = recording.get();
        executor_ = build_executor(std::move(recording), ExecutorSettings{}, std::move(embedder));
    }

    core::Result<StatementResult> dispatch(const std::string& text) {
        auto op = plan_text(text);
        if (!op) return std::unexpected(std::move(op).error());
        return run(dispatch_operation(*executor_, std::move(*op)));
    }

    void must(const std::string& text) {
        auto result = dispatch(text);
        ASSERT_TRUE(result) << text << "\n  " << core::format_error(result.error());
        EXPECT_TRUE(result->ok) << text;
    }

    // A collection with the dense vector d of size 2, dropped after the test.
    std::string collection(std::string_view stem, const std::string& with = "") {
        std::string name = unique_name(stem);
        (void)server_->execute("DROP COLLECTION " + name);
        created_.push_back(name);
        must("CREATE COLLECTION " + name + " (d VECTOR(2, COSINE))" + with);
        return name;
    }

    std::uint64_t infos() const { return recording_->count(BackendCall::CollectionInfo); }

    std::optional<test_support::LiveQdrant> server_;
    std::shared_ptr<Executor> executor_;
    RecordingBackend* recording_ = nullptr;
    std::vector<std::string> created_;
};

TEST_F(DispatchLive, SchemaCacheFetchesOnceUntilSchemaDdl) {
    const std::string c = unique_name("dispatch_cache");
    (void)server_->execute("DROP COLLECTION " + c);
    created_.push_back(c);
    // A stale entry for a collection about to be created goes with the creation.
    executor_->schema_cache.insert(c, SchemaCacheEntry{std::make_shared<protocol::CollectionSchema>(), nullptr});
    must("CREATE COLLECTION " + c + " (d VECTOR(2, COSINE)) WITH PARAMS (sharding_method = 'custom')");
    EXPECT_EQ(cached_schema(*executor_, c), nullptr);

    auto names = run(cache_schema(*executor_, c));
    ASSERT_TRUE(names) << core::format_error(names.error());
    EXPECT_EQ((*names)->dense, std::vector<std::string>{"d"});
    auto schema = run(refresh_schema(*executor_, c));
    ASSERT_TRUE(schema);
    EXPECT_EQ(*schema, cached_schema(*executor_, c));
    EXPECT_EQ((*schema)->status, "green");
    EXPECT_EQ(infos(), 1u);

    struct Step {
        std::string statement;
        bool evicts;
    };
    const std::vector<Step> steps{
        {"CREATE SHARD KEY 'eu' ON COLLECTION " + c, false},
        {"SHOW COLLECTION " + c, false},
        {"UPSERT INTO " + c + " VALUES {id: 1, vector: {d: [0.1, 0.2]}} SHARD 'eu'", false},
        {"CREATE INDEX ON COLLECTION " + c + " FOR city TYPE keyword", true},
        {"DROP INDEX ON COLLECTION " + c + " FOR city", true},
        {"ALTER COLLECTION " + c + " WITH HNSW (ef_construct = 120)", true},
        {"DROP SHARD KEY 'eu' ON COLLECTION " + c, false},
    };
    for (const Step& step : steps) {
        const std::uint64_t before = infos();
        must(step.statement);
        EXPECT_EQ(cached_schema(*executor_, c) == nullptr, step.evicts) << step.statement;
        ASSERT_TRUE(run(cache_schema(*executor_, c)));
        EXPECT_EQ(infos(), before + (step.evicts ? 1 : 0)) << step.statement;
    }
    must("DROP COLLECTION " + c);
    EXPECT_EQ(cached_schema(*executor_, c), nullptr);
    auto gone = run(refresh_schema(*executor_, c));
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.error().kind, core::ErrorKind::Backend);
    EXPECT_EQ(cached_schema(*executor_, c), nullptr) << "a failed fetch inserts nothing";
}

// Statements end to end: prepared, planned and dispatched, the QUERY's USING filled from the cache.
TEST_F(DispatchLive, QueryFillsUsingFromTheCacheUntilSchemaDdl) {
    const std::string c = collection("dispatch_using", " WITH PARAMS (sharding_method = 'custom')");
    must("CREATE SHARD KEY 'eu' ON COLLECTION " + c);
    must("UPSERT INTO " + c + " VALUES {id: 1, vector: {d: [0.1, 0.2]}} SHARD 'eu' WAIT true");
    must("CREATE INDEX ON COLLECTION " + c + " FOR city TYPE keyword");
    recording_->reset();

    auto statement = [](const std::string& text) {
        auto parsed = core::parse_statement(text);
        EXPECT_TRUE(parsed) << text;
        return parsed ? std::move(*parsed) : core::Statement{};
    };
    const std::string query = "QUERY [0.1, 0.2] FROM " + c + " LIMIT 1";
    struct Step {
        std::string statement;
        std::uint64_t infos_after_query;
    };
    const std::vector<Step> steps{
        {"", 1},
        {"", 1},
        {"CREATE SHARD KEY 'us' ON COLLECTION " + c, 1},
        {"DROP INDEX ON COLLECTION " + c + " FOR city", 2},
    };
    for (const Step& step : steps) {
        if (!step.statement.empty()) {
            auto ddl = run(plan_and_dispatch(*executor_, statement(step.statement)));
            ASSERT_TRUE(ddl && ddl->ok) << step.statement;
        }
        auto found = run(plan_and_dispatch(*executor_, statement(query)));
        ASSERT_TRUE(found) << core::format_error(found.error());
        EXPECT_EQ(found->message, "Found 1 hits");
        EXPECT_EQ(infos(), step.infos_after_query) << step.statement;
    }
}

TEST_F(DispatchLive, BatchOfThreeIsOneCallAndOneSummary) {
    const std::string c = collection("dispatch_batch");
    auto result = dispatch("BATCH { UPSERT INTO " + c + " VALUES {id: 1, vector: {d: [0.1, 0.2]}}; UPSERT INTO " + c +
                           " VALUES {id: 2, vector: {d: [0.2, 0.1]}}; DELETE FROM " + c + " WHERE id = 1 }");
    ASSERT_TRUE(result) << core::format_error(result.error());
    EXPECT_EQ(*result, (StatementResult{.ok = true,
                                        .operation = "BATCH",
                                        .message = "Batch: 3/3 operations ok",
                                        .data = std::nullopt,
                                        .telemetry = std::nullopt}));
    EXPECT_EQ(recording_->count(BackendCall::UpdateBatch), 1u);
    auto count = dispatch("COUNT FROM " + c + " WITH (exact = true)");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->data, ExecData{ExecData::Count{1}});
}

class CrossRerankLive : public DispatchLive {
protected:
    void SetUp() override {
        DispatchLive::SetUp();
        if (IsSkipped()) return;
        build(service_.embedder());
        c_ = collection("dispatch_rerank");
        must(
            "UPSERT INTO " + c_ + " VALUES {id: 1, vector: {d: [1.0, 0.0]}, text: 'a'}, " +
            "{id: 2, vector: {d: [0.0, 1.0]}, text: 'b'}, {id: 3, vector: {d: [0.7, 0.7]}, text: 'c', n: 5} WAIT true");
        recording_->reset();
    }

    // Candidates over point 1 and then point 2 of the collection.
    std::string over_points_1_and_2(const std::string& tail = "") const {
        return "QUERY CROSS RERANK 'q' MODEL 'ce'" + tail + " FROM " + c_ + " PREFETCH (QUERY [1.0, 0.0] FROM " + c_ +
               " USING d WHERE id = 1 LIMIT 5, QUERY [1.0, 0.0] FROM " + c_ + " USING d WHERE id = 2 LIMIT 5)";
    }

    RerankService service_;
    std::string c_;
};

std::vector<std::pair<plan::PlanPointId, double>> ids_and_scores(const StatementResult& result) {
    std::vector<std::pair<plan::PlanPointId, double>> out;
    if (!result.data || !result.data->is(ExecData::Kind::Hits)) return out;
    for (const ScoredPoint& hit : std::get<ExecData::Hits>(result.data->value).points)
        out.emplace_back(hit.id, hit.score);
    return out;
}

TEST_F(CrossRerankLive, RerankedHitsCarryTheirScoreAndCollection) {
    service_.scores = {"0.2", "0.9"};
    auto result = dispatch(over_points_1_and_2());
    ASSERT_TRUE(result) << core::format_error(result.error());
    EXPECT_EQ(result->operation, "CROSS_RERANK");
    EXPECT_EQ(result->message, "Found 2 hits (cross-encoder)");
    EXPECT_EQ(ids_and_scores(*result),
              (std::vector<std::pair<plan::PlanPointId, double>>{{std::uint64_t{2}, 0.9}, {std::uint64_t{1}, 0.2}}));
    for (const ScoredPoint& hit : std::get<ExecData::Hits>(result->data->value).points) EXPECT_EQ(hit.collection, c_);
    EXPECT_EQ(recording_->executed_kinds(),
              (std::vector<plan::PlanOpKind>{plan::PlanOpKind::Query, plan::PlanOpKind::Query}));
    ASSERT_EQ(service_.requests().size(), 1u);
    EXPECT_EQ(service_.requests()[0].body, R"({"documents":["a","b"],"model":"ce","query":"q"})");
}

TEST_F(CrossRerankLive, PagingAndEmptyCandidates) {
    using Hits = std::vector<std::pair<plan::PlanPointId, double>>;
    struct Case {
        std::string statement;
        std::string message;
        Hits hits;
        std::size_t rerank_calls;
    };
    const std::vector<Case> cases{
        {over_points_1_and_2() + " LIMIT 1 OFFSET 1", "Found 1 hits (cross-encoder)", Hits{{std::uint64_t{1}, 0.2}}, 1},
        {over_points_1_and_2() + " OFFSET 2", "Found 0 hits (cross-encoder)", Hits{}, 1},
        {"QUERY CROSS RERANK 'q' MODEL 'ce' FROM " + c_ + " PREFETCH (QUERY [1.0, 0.0] FROM " + c_ +
             " USING d WHERE id = 99 LIMIT 5)",
         "Found 0 hits", Hits{}, 0},
    };
    service_.scores = {"0.2", "0.9"};
    std::size_t calls = 0;
    for (const Case& c : cases) {
        auto result = dispatch(c.statement);
        ASSERT_TRUE(result) << c.statement << "\n  " << core::format_error(result.error());
        EXPECT_EQ(result->message, c.message) << c.statement;
        ASSERT_TRUE(result->data && result->data->is(ExecData::Kind::Hits)) << c.statement;
        EXPECT_EQ(ids_and_scores(*result), c.hits) << c.statement;
        calls += c.rerank_calls;
        EXPECT_EQ(service_.requests().size(), calls) << c.statement;
    }
}

TEST_F(CrossRerankLive, FailuresOfTheStage) {
    struct Case {
        std::string name;
        std::shared_ptr<const embed::Embedder> embedder;
        std::string statement;
        std::string error;
        std::uint64_t searches;
    };
    const std::vector<Case> cases{
        {"no embedder", nullptr, over_points_1_and_2(),
         "[ZORV-RERANK-CROSS] CROSS RERANK requires a configured embedder with pair scoring (rerank_endpoint / edge "
         "reranker_model)",
         0},
        {"no text field", service_.embedder(), over_points_1_and_2(" ON FIELD body"),
         "[ZORV-RERANK-CROSS-FIELD] CROSS RERANK found candidates but none had non-empty payload field 'body'. "
         "Ensure UPSERT stores text on that field and PREFETCH returns WITH PAYLOAD.",
         2},
        {"number field", service_.embedder(), over_points_1_and_2(" ON FIELD n"),
         "[ZORV-RERANK-CROSS-FIELD] CROSS RERANK found candidates but none had non-empty payload field 'n'. "
         "Ensure UPSERT stores text on that field and PREFETCH returns WITH PAYLOAD.",
         2},
        {"two scores for three", std::make_shared<TwoScoreReranker>(),
         "QUERY CROSS RERANK 'q' MODEL 'ce' FROM " + c_ + " PREFETCH (QUERY [1.0, 0.0] FROM " + c_ +
             " USING d LIMIT 5)",
         "[ZORV-RERANK-CROSS] rerank_pairs returned 2 scores for 3 documents", 1},
    };
    for (const Case& c : cases) {
        build(c.embedder);
        auto result = dispatch(c.statement);
        ASSERT_FALSE(result) << c.name;
        EXPECT_EQ(core::format_error(result.error()), c.error) << c.name;
        EXPECT_EQ(result.error().kind, core::ErrorKind::Execution) << c.name;
        EXPECT_EQ(recording_->count(BackendCall::Execute), c.searches) << c.name;
    }
    EXPECT_TRUE(service_.requests().empty());
}

TEST_F(CrossRerankLive, EqualScoresOrderByCollectionThenId) {
    const std::string b = collection("dispatch_rerank_b");
    const std::string a = collection("dispatch_rerank_a");
    for (const std::string& name : {a, b}) {
        must("UPSERT INTO " + name + " VALUES {id: 1, vector: {d: [1.0, 0.0]}, text: 'x'}, " +
             "{id: 2, vector: {d: [0.0, 1.0]}, text: 'y'} WAIT true");
    }
    service_.scores = {"0.5", "0.5", "0.5", "0.5"};
    // Each candidate's reply lists point 2 first; b's candidate comes first.
    auto result = dispatch("QUERY CROSS RERANK 'q' MODEL 'ce' FROM " + b + " PREFETCH (QUERY [0.0, 1.0] FROM " + b +
                           " USING d LIMIT 5, QUERY [0.0, 1.0] FROM " + a + " USING d LIMIT 5) LIMIT 3");
    ASSERT_TRUE(result) << core::format_error(result.error());
    const auto& hits = std::get<ExecData::Hits>(result->data->value).points;
    std::vector<std::pair<std::string, plan::PlanPointId>> order;
    for (const ScoredPoint& hit : hits) order.emplace_back(hit.collection.value_or(""), hit.id);
    EXPECT_EQ(order, (std::vector<std::pair<std::string, plan::PlanPointId>>{{a, std::uint64_t{1}},
                                                                             {a, std::uint64_t{2}},
                                                                             {b, std::uint64_t{1}}}));
    EXPECT_EQ(result->message, "Found 3 hits (cross-encoder)");
    ASSERT_EQ(service_.requests().size(), 1u);
    EXPECT_EQ(service_.requests()[0].body, R"({"documents":["x","y","x","y"],"model":"ce","query":"q"})");
}

// The deadline needs a server that never answers: a loopback stand-in.
TEST(DispatchDeadline, UnansweredOperationTimesOut) {
    CannedReply never;
    never.delay = std::chrono::seconds(30);
    LoopbackServer server(never);
    auto executor = build_executor(rest::make_rest_backend(rest::test::make_backend(server.url(""))),
                                   ExecutorSettings{.timeout_secs = 1}, nullptr);
    auto statement = core::parse_statement("SHOW COLLECTIONS");
    ASSERT_TRUE(statement);

    const auto start = std::chrono::steady_clock::now();
    auto result = run(dispatch_with_timeout(*executor, *statement), std::chrono::seconds(10));
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(result);
    EXPECT_EQ(core::format_error(result.error()), "[ZORV-TIMEOUT] operation timed out after 1s");
    EXPECT_GE(took, std::chrono::milliseconds(950));
    EXPECT_LT(took, std::chrono::milliseconds(2500));

    ASSERT_TRUE(run(close_executor(*executor)));
    auto closed = run(dispatch_with_timeout(*executor, *statement));
    ASSERT_FALSE(closed);
    EXPECT_EQ(closed.error().code, "ZORV-CLIENT-CLOSED");
    EXPECT_EQ(server.requests().size(), 1u);
}

}  // namespace
}  // namespace zorv::runtime
