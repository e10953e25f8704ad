// Statement runs on a real Qdrant server through the REST backend. A recording proxy in front of
// the server shows which requests the grouping of neighbours really sent.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "net/recording_proxy.h"
#include "runtime/executor.h"
#include "runtime/executor/runs.h"
#include "runtime/rest/live_qdrant.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime {
namespace {

using protocol::ExecutionReport;
using test_support::LiveQdrant;
using test_support::RecordingProxy;

constexpr bool kStop = false;
constexpr bool kContinue = true;

// "c" has one unnamed 2-d vector; "n" one named vector "d", which the client never checks.
constexpr const char* kQuery = "QUERY [1, 2] FROM c LIMIT 3";
constexpr const char* kWithPairs = "QUERY [1, 2] FROM c PARAMS (timeout = 5, consistency = majority) LIMIT 3";
constexpr const char* kPairs = " PARAMS (timeout = 5, consistency = majority)";

class RunsLive : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = LiveQdrant::from_env();
        if (!live_) GTEST_SKIP() << test_support::no_qdrant_reason;
        for (const char* name : {"c", "n"})
            static_cast<void>(live_->send("DELETE", std::string("/collections/") + name));
        ASSERT_TRUE(live_->send("PUT", "/collections/c?wait=true", R"({"vectors":{"size":2,"distance":"Dot"}})"));
        ASSERT_TRUE(live_->send("PUT", "/collections/n?wait=true", R"({"vectors":{"d":{"size":2,"distance":"Dot"}}})"));
        ASSERT_TRUE(live_->send("PUT", "/collections/c/points?wait=true",
                                R"({"points":[{"id":1,"vector":[1,0]},{"id":2,"vector":[0,1]}]})"));
        ASSERT_TRUE(live_->send("PUT", "/collections/n/points?wait=true",
                                R"({"points":[{"id":1,"vector":{"d":[1,0]}},{"id":2,"vector":{"d":[0,1]}}]})"));
        proxy_.emplace(std::getenv("ZORV_TEST_QDRANT_URL"));
        auto client = net::HttpClient::create(rest::rest_client_options());
        ASSERT_TRUE(client);
        executor_ =
            build_executor(rest::make_rest_backend(rest::build_rest_backend(proxy_->url(), std::nullopt, *client)),
                           ExecutorSettings{}, nullptr);
    }

    void TearDown() override {
        if (!live_) return;
        for (const char* name : {"c", "n"})
            static_cast<void>(live_->send("DELETE", std::string("/collections/") + name));
    }

    core::Result<ExecutionReport> script(const std::string& text, bool continue_on_error) {
        return rest::test::run(execute_script(*executor_, text, continue_on_error));
    }

    // The point requests that reached the server, as "METHOD target"; collection lookups are left out.
    std::vector<std::string> point_calls() const {
        std::vector<std::string> out;
        for (const auto& request : proxy_->requests()) {
            if (request.target.find("/points") != std::string::npos)
                out.push_back(request.method + " " + request.target);
        }
        return out;
    }

    std::optional<LiveQdrant> live_;
    std::optional<RecordingProxy> proxy_;
    std::shared_ptr<Executor> executor_;
};

std::vector<std::string> operations(const ExecutionReport& report) {
    std::vector<std::string> out;
    for (const auto& result : report.results) out.push_back(result.operation);
    return out;
}

std::vector<std::string> messages(const ExecutionReport& report) {
    std::vector<std::string> out;
    for (const auto& result : report.results) out.push_back(result.message);
    return out;
}

std::string times(int n, const std::string& statement) {
    std::string out;
    for (int i = 0; i < n; ++i) out += (i == 0 ? "" : "; ") + statement;
    return out;
}

struct GroupingCase {
    std::string name;
    std::string script;
    std::vector<std::string> calls;  // the point requests, in order
    std::vector<std::string> operations;
};

void PrintTo(const GroupingCase& c, std::ostream* os) { *os << c.name; }

class RunsGrouping : public RunsLive, public ::testing::WithParamInterface<GroupingCase> {};

TEST_P(RunsGrouping, NeighboursShareOneCallOnlyWhenTheirKeysAgree) {
    const GroupingCase& c = GetParam();
    auto report = script(c.script, kStop);
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_TRUE(report->ok) << testing::PrintToString(messages(*report));
    EXPECT_EQ(operations(*report), c.operations);
    EXPECT_EQ(point_calls(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, RunsGrouping,
    ::testing::Values(
        GroupingCase{"same_pairs",
                     times(3, kWithPairs),
                     {"POST /collections/c/points/query/batch?timeout=5&consistency=majority"},
                     {"QUERY", "QUERY", "QUERY"}},
        GroupingCase{"pairs_on_second_only",
                     std::string(kQuery) + "; " + kWithPairs + "; " + kQuery,
                     {"POST /collections/c/points/query",
                      "POST /collections/c/points/query?timeout=5&consistency=majority",
                      "POST /collections/c/points/query"},
                     {"QUERY", "QUERY", "QUERY"}},
        GroupingCase{"upserts_without_wait",
                     "UPSERT INTO c VALUES {id: 3, vector: [1, 1]}; UPSERT INTO c VALUES {id: 4, vector: [1, 2]}",
                     {"POST /collections/c/points/batch?wait=false"},
                     {"UPSERT", "UPSERT"}},
        GroupingCase{"group_by_breaks_the_run",
                     std::string(kQuery) + "; QUERY [1, 2] FROM c GROUP BY g LIMIT 3; " + kQuery,
                     {"POST /collections/c/points/query", "POST /collections/c/points/query/groups",
                      "POST /collections/c/points/query"},
                     {"QUERY", "QUERY_GROUPS", "QUERY"}},
        GroupingCase{"mutations_then_another_collection",
                     "UPSERT INTO c VALUES {id: 3, vector: [1, 1]} WAIT true; DELETE FROM c WHERE id = 2; "
                     "UPDATE c SET PAYLOAD = {a: 1} WHERE id = 1; DELETE FROM n WHERE id = 2",
                     {"POST /collections/c/points/batch?wait=true", "POST /collections/n/points/delete?wait=true"},
                     {"UPSERT", "DELETE", "UPDATE_PAYLOAD", "DELETE"}}),
    [](const auto& info) { return info.param.name; });

TEST_F(RunsLive, UpsertsWithoutWaitReportTheirPoints) {
    auto report =
        script("UPSERT INTO c VALUES {id: 3, vector: [1, 1]}; UPSERT INTO c VALUES {id: 4, vector: [1, 2]}", kStop);
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_EQ(messages(*report), (std::vector<std::string>{"Upserted 1 point(s)", "Upserted 1 point(s)"}));
}

TEST_F(RunsLive, UnboundStatementBetweenUpsertsFlushesTheRunFirst) {
    const std::string text =
        "UPSERT INTO c VALUES {id: 3, vector: [1, 1]}; COUNT FROM c WHERE a = :n; "
        "UPSERT INTO c VALUES {id: 4, vector: [1, 2]}";
    const std::size_t start = text.find(":n");
    const std::string bind_error = "[ZORV-BIND-MISSING-PARAM] missing value for named parameter ':n' at " +
                                   std::to_string(start) + ".." + std::to_string(start + 2);

    auto continued = script(text, kContinue);
    ASSERT_TRUE(continued) << core::format_error(continued.error());
    EXPECT_EQ(operations(*continued), (std::vector<std::string>{"UPSERT", "BIND", "UPSERT"}));
    EXPECT_EQ(continued->results[1].message, bind_error);
    EXPECT_EQ(point_calls(), (std::vector<std::string>{"PUT /collections/c/points?wait=false",
                                                       "PUT /collections/c/points?wait=false"}));

    auto stopped = script(text, kStop);
    ASSERT_FALSE(stopped);
    EXPECT_EQ(core::format_error(stopped.error()), bind_error);
    EXPECT_EQ(point_calls().size(), 3u);  // the first UPSERT went out, the last did not
}

TEST_F(RunsLive, FailedQueryBatchIsResentMemberByMemberWithItsPairs) {
    const std::string good = std::string("QUERY [1, 0] FROM n USING d") + kPairs + " LIMIT 3";
    const std::string bad = std::string("QUERY [1, 0, 0] FROM n USING d") + kPairs + " LIMIT 3";
    auto report = script(good + "; " + bad + "; " + good, kContinue);
    ASSERT_TRUE(report) << core::format_error(report.error());

    const std::string batch = "POST /collections/n/points/query/batch?timeout=5&consistency=majority";
    const std::string single = "POST /collections/n/points/query?timeout=5&consistency=majority";
    EXPECT_EQ(point_calls(), (std::vector<std::string>{batch, single, single, single}));
    EXPECT_EQ(operations(*report), (std::vector<std::string>{"QUERY", "QUERY", "QUERY"}));
    EXPECT_EQ(report->results[0].message, "Found 2 hits");
    EXPECT_FALSE(report->results[1].ok);
    EXPECT_TRUE(report->results[1].message.starts_with("[ZORV-BACKEND-DIMENSION-MISMATCH]"))
        << report->results[1].message;
    EXPECT_EQ(report->results[2].message, "Found 2 hits");
}

TEST_F(RunsLive, FailedUpdateBatchResendsAllButTheConditionalUpsert) {
    const std::string text =
        "UPSERT INTO n VALUES {id: 1, vector: {d: [1, 0]}, a: 0, b: 5} WAIT true; "
        "UPSERT INTO n VALUES {id: 7, vector: {d: [1, 1]}} UPDATE MODE insert_only WAIT true; "
        "UPDATE n SET PAYLOAD = {a: 1} OVERWRITE WHERE id = 1 WAIT true; "
        "UPSERT INTO n VALUES {id: 8, vector: {d: [1, 2, 3]}} WAIT true";
    auto report = script(text, kContinue);
    ASSERT_TRUE(report) << core::format_error(report.error());

    EXPECT_EQ(point_calls(), (std::vector<std::string>{"POST /collections/n/points/batch?wait=true",
                                                       "PUT /collections/n/points?wait=true",
                                                       "PUT /collections/n/points/payload?wait=true",
                                                       "PUT /collections/n/points?wait=true"}));
    EXPECT_EQ(operations(*report), (std::vector<std::string>{"UPSERT", "UPSERT", "OVERWRITE_PAYLOAD", "UPSERT"}));
    EXPECT_EQ(messages(*report)[0], "Upserted 1 point(s)");
    EXPECT_EQ(messages(*report)[2], "OVERWRITE_PAYLOAD ok");
    // The conditional upsert carries the batch call's own error; the re-sent bad row its own.
    EXPECT_FALSE(report->results[1].ok);
    EXPECT_FALSE(report->results[3].ok);
    EXPECT_TRUE(report->results[1].message.starts_with("[ZORV-BACKEND-DIMENSION-MISMATCH]"));
    EXPECT_TRUE(report->results[3].message.starts_with("[ZORV-BACKEND-DIMENSION-MISMATCH]"));
    EXPECT_NE(report->results[1].message, report->results[3].message);  // other request ids

    // The re-sent OVERWRITE replaced the whole payload.
    auto point = live_->send("GET", "/collections/n/points/1");
    ASSERT_TRUE(point);
    EXPECT_EQ(simdjson::minify(point->root()["result"]["payload"]), R"({"a":1})");
}

TEST_F(RunsLive, LoneOverwriteGoesOutAsPut) {
    auto seeded = script("UPDATE n SET PAYLOAD = {a: 0, b: 5} WHERE id = 1", kStop);
    ASSERT_TRUE(seeded) << core::format_error(seeded.error());
    auto report = script("UPDATE n SET PAYLOAD = {a: 1} OVERWRITE WHERE id = 1", kStop);
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_EQ(point_calls().back(), "PUT /collections/n/points/payload?wait=true");
    auto point = live_->send("GET", "/collections/n/points/1");
    ASSERT_TRUE(point);
    EXPECT_EQ(simdjson::minify(point->root()["result"]["payload"]), R"({"a":1})");
}

TEST_F(RunsLive, ScriptsWithoutStatementsAreRefusedEitherWay) {
    for (const std::string text : {"", "-- only a comment\n"}) {
        for (const bool continue_on_error : {kStop, kContinue}) {
            auto report = script(text, continue_on_error);
            ASSERT_FALSE(report);
            EXPECT_EQ(core::format_error(report.error()),
                      "[ZORV-VALIDATION-EMPTY-SCRIPT] no statements to execute; the query string is empty or contains "
                      "only comments");
        }
    }
    for (const bool continue_on_error : {kStop, kContinue}) {
        for (const std::vector<std::string>& texts :
             {std::vector<std::string>{}, std::vector<std::string>{"", " -- x"}}) {
            auto report = rest::test::run(execute_many(*executor_, texts, continue_on_error));
            ASSERT_FALSE(report);
            EXPECT_EQ(core::format_error(report.error()),
                      "[ZORV-VALIDATION-EMPTY-SCRIPT] no statements to execute; the query list is empty or every "
                      "entry is empty");
        }
    }
    EXPECT_TRUE(point_calls().empty());
}

TEST_F(RunsLive, ListTextThatFailsToParseSplitsTheList) {
    const std::vector<std::string> texts{kQuery, "QUERY FROM", kQuery};
    auto report = rest::test::run(execute_many(*executor_, texts, kContinue));
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_EQ(operations(*report), (std::vector<std::string>{"QUERY", "PARSE", "QUERY"}));
    EXPECT_TRUE(report->results[1].message.starts_with("[ZORV-PARSE-"));
    EXPECT_EQ(report->failed, 1u);
    EXPECT_EQ(point_calls(),
              (std::vector<std::string>{"POST /collections/c/points/query", "POST /collections/c/points/query"}));

    // Under "stop" the texts before the broken one are sent, then its parse error is raised.
    auto stopped = rest::test::run(
        execute_many(*executor_, {"UPSERT INTO c VALUES {id: 5, vector: [1, 1]}", "QUERY FROM"}, kStop));
    ASSERT_FALSE(stopped);
    EXPECT_TRUE(stopped.error().code.starts_with("ZORV-PARSE-"));
    EXPECT_EQ(point_calls().back(), "PUT /collections/c/points?wait=false");
}

TEST_F(RunsLive, ScriptThatFailsToParse) {
    auto continued = script("QUERY FROM", kContinue);
    ASSERT_TRUE(continued);
    EXPECT_EQ(operations(*continued), (std::vector<std::string>{"PARSE"}));
    EXPECT_FALSE(continued->ok);
    auto stopped = script("QUERY FROM", kStop);
    ASSERT_FALSE(stopped);
    EXPECT_EQ(continued->results[0].message, core::format_error(stopped.error()));
}

TEST_F(RunsLive, BatchStatementAddsOneResultPerMember) {
    auto report = script("COUNT FROM c; BATCH { " + std::string(kQuery) + "; " + kQuery + " }", kStop);
    ASSERT_TRUE(report) << core::format_error(report.error());
    EXPECT_EQ(operations(*report), (std::vector<std::string>{"COUNT", "QUERY", "QUERY"}));
    EXPECT_EQ(point_calls(),
              (std::vector<std::string>{"POST /collections/c/points/count", "POST /collections/c/points/query/batch"}));
}

}  // namespace
}  // namespace zorv::runtime
