#include "runtime/executor/analyze.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/explain.h"
#include "core/parser/parser.h"
#include "embed/fake_embedder.h"
#include "runtime/executor/proxied_executor.h"

namespace zorv::runtime::test {
namespace {

using rest::test::run;

class AnalyzeTest : public ProxiedExecutorTest {};

TEST_F(AnalyzeTest, CountReportsItsPhasesAndTheServerTime) {
    create_collection();
    auto exec = executor();
    const std::string text = "COUNT FROM " + collection_;
    auto report = run(explain_analyze(*exec, text));
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_TRUE(report->ok);
    EXPECT_EQ(report->plan, core::explain_statement(*core::parse_statement(text)));
    ASSERT_EQ(report->results.size(), 1U);
    const protocol::StatementResult& result = report->results[0];
    EXPECT_TRUE(result.ok);
    EXPECT_EQ(result.operation, "COUNT");
    ASSERT_TRUE(result.telemetry && result.telemetry->time_s);
    EXPECT_EQ(report->server_time_s, result.telemetry->time_s);
    EXPECT_EQ(report->usage, result.telemetry->usage);

    const AnalyzePhases& p = report->phases;
    EXPECT_GT(p.parse_ms, 0.0);
    EXPECT_GT(p.dispatch_ms, 0.0);
    EXPECT_GE(p.total_ms, p.prepare_plan_ms + p.dispatch_ms + p.decode_ms);

    // A parsed statement was not parsed here.
    auto parsed = run(explain_analyze_with_timeout(*exec, *core::parse_statement(text)));
    ASSERT_TRUE(parsed) << core::format_error(parsed.error());
    EXPECT_EQ(parsed->phases.parse_ms, 0.0);
    EXPECT_EQ(parsed->results.size(), 1U);
}

struct Refusal {
    std::string text;  // {c} stands for the test's collection
    std::string code;
    std::string message;
};

void PrintTo(const Refusal& refusal, std::ostream* out) { *out << refusal.text; }

// The reranking stage runs on the client: it is all dispatch, with nothing to decode and no
// server time of its own.
TEST_F(AnalyzeTest, CrossRerankIsOneDispatchPhase) {
    create_collection();
    auto stored = live_->send("PUT", "/collections/" + collection_ + "/points?wait=true",
                              R"({"points":[{"id":1,"vector":[1.0,0.0],"payload":{"text":"a"}}]})");
    ASSERT_TRUE(stored) << core::format_error(stored.error());
    auto embedder = std::make_shared<embed::test_support::FakeEmbedder>();
    auto exec = build_executor(rest_backend_at(proxy_->url()), ExecutorSettings{}, embedder);
    const std::string text = "QUERY CROSS RERANK 'q' MODEL 'ce' FROM " + collection_ +
                             " PREFETCH (QUERY [1.0, 0.0] FROM " + collection_ + " LIMIT 5)";
    auto report = run(explain_analyze(*exec, text));
    ASSERT_TRUE(report) << core::format_error(report.error());
    ASSERT_EQ(report->results.size(), 1U);
    EXPECT_EQ(report->results[0].operation, "CROSS_RERANK");
    EXPECT_GT(report->phases.dispatch_ms, 0.0);
    EXPECT_EQ(report->phases.decode_ms, 0.0);
    EXPECT_FALSE(report->server_time_s);
    EXPECT_FALSE(report->usage);
    ASSERT_FALSE(embedder->calls.empty());
    EXPECT_EQ(embedder->calls.back().operation, "rerank_pairs");
}

// Each is refused before anything is sent.
class AnalyzeRefusalTest : public ProxiedExecutorTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(AnalyzeRefusalTest, FailsWithItsCode) {
    create_collection();
    std::string text = GetParam().text;
    for (auto at = text.find("{c}"); at != std::string::npos; at = text.find("{c}")) {
        text.replace(at, 3, collection_);
    }
    auto exec = executor();
    auto report = run(explain_analyze(*exec, text));
    ASSERT_FALSE(report);
    EXPECT_EQ(report.error().code, GetParam().code) << core::format_error(report.error());
    EXPECT_EQ(report.error().message, GetParam().message);
    EXPECT_TRUE(proxy_->requests().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AnalyzeRefusalTest,
    ::testing::Values(Refusal{"COUNT FROM {c}; COUNT FROM {c}", "ZORV-VALIDATION-MULTI-STMT",
                              "explain_analyze accepts a single statement; analyze each statement separately"},
                      Refusal{"-- nothing here\n", "ZORV-VALIDATION-EMPTY-SCRIPT",
                              "no statements to analyze; the query string is empty or contains only comments"},
                      Refusal{"", "ZORV-VALIDATION-EMPTY-SCRIPT",
                              "no statements to analyze; the query string is empty or contains only comments"},
                      Refusal{"BATCH { QUERY [1, 2] FROM {c} LIMIT 3; QUERY [2, 1] FROM {c} LIMIT 3; }",
                              "ZORV-REST-BATCH",
                              "BATCH is dispatched by the Executor through the batch RPCs, not as a single REST route"}));

// The unbound UPSERT is refused before preparation could create its collection.
TEST_F(AnalyzeTest, UnboundUpsertCreatesNothing) {
    auto exec = executor();
    const std::string text = "UPSERT INTO " + collection_ + " VALUES {id: :id, text: 'hi'}";
    auto report = run(explain_analyze(*exec, text));
    ASSERT_FALSE(report);
    EXPECT_EQ(report.error().code, "ZORV-BIND-MISSING-PARAM");
    EXPECT_EQ(report.error().message, "missing value for named parameter ':id'");
    EXPECT_TRUE(proxy_->requests().empty());
    auto exists = live_->send("GET", "/collections/" + collection_ + "/exists");
    ASSERT_TRUE(exists);
    bool found = true;
    ASSERT_EQ(exists->root()["result"]["exists"].get(found), simdjson::SUCCESS);
    EXPECT_FALSE(found);
}

TEST_F(AnalyzeTest, ClosedExecutorRefusesBothEntryPoints) {
    auto exec = executor();
    ASSERT_TRUE(run(close_executor(*exec)));
    auto by_text = run(explain_analyze(*exec, "COUNT FROM c"));
    auto by_statement = run(explain_analyze_with_timeout(*exec, *core::parse_statement("COUNT FROM c")));
    for (const auto* outcome : {&by_text, &by_statement}) {
        ASSERT_FALSE(*outcome);
        EXPECT_EQ(outcome->error().code, "ZORV-CLIENT-CLOSED");
        EXPECT_EQ(outcome->error().message, "cannot execute query on a closed executor");
    }
    EXPECT_TRUE(proxy_->requests().empty());
}

}  // namespace
}  // namespace zorv::runtime::test
