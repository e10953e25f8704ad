// The read statements run over REST and over gRPC through the executor on one loaded set of
// collections: every report must be the same, hit for hit, score for score.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan/json_write.h"
#include "runtime/executor.h"
#include "runtime/executor/runs.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/recording_backend.h"
#include "runtime/request_id.h"
#include "runtime/rest/live_qdrant.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"
#include "runtime/result_json.h"

namespace zorv::runtime::rpc {
namespace {

using protocol::ExecData;
using protocol::ExecutionReport;
using protocol::StatementResult;
using test_support::LiveQdrant;

std::optional<std::string> env(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return std::nullopt;
    return std::string(value);
}

std::string replace_all(std::string text, std::string_view from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

std::string field(const core::ZorvError& error, std::string_view key) {
    for (const auto& [k, v] : error.fields) {
        if (k == key) return v;
    }
    return "<absent>";
}

// Two dozen points with every payload kind the reads look at; vectors follow the id so that
// scores differ.
std::string points_body() {
    const std::vector<std::string> cities = {"paris", "berlin", "rome", "oslo"};
    std::string body = R"({"points":[)";
    for (int id = 1; id <= 24; ++id) {
        const double a = 0.1 * (id % 7) + 0.05;
        const double b = 0.2 * (id % 5) + 0.1;
        const std::string n = std::to_string(id);
        if (id > 1) body += ",";
        // Test data, built once.
        // NOLINTBEGIN(performance-inefficient-string-concatenation)
        body += R"({"id":)" + n + R"(,"vector":{"dense":[)" + std::to_string(a) + "," + std::to_string(b) + "," +
                std::to_string(1.0 - a) + "," + std::to_string(0.5 * b) + R"(],"image":[)" + std::to_string(b) + "," +
                std::to_string(a) + R"(,1],"colbert":[[)" + std::to_string(a) + "," + std::to_string(b) + "],[" +
                std::to_string(b) + R"(,1]],"text":{"indices":[)" + std::to_string(id % 6) + "," +
                std::to_string(6 + id % 4) + R"(],"values":[)" + std::to_string(a) + "," + std::to_string(b) +
                R"(]},"bm25":{"text":")" + (id % 2 == 0 ? "red running shoes" : "blue hiking boots for rain") + " " +
                cities[id % 4] + R"(","model":"qdrant/bm25"}},"payload":{"city":")" + cities[id % 4] + R"(","price":)" +
                std::to_string(5 + id * 1.25) + R"(,"year":)" + std::to_string(2015 + id % 9) + R"(,"at":"2023-0)" +
                std::to_string(1 + id % 9) + R"(-1)" + std::to_string(id % 10) + R"(T10:00:00Z","flag":)" +
                (id % 3 == 0 ? "true" : "false") + R"(,"doc":)" + std::to_string(100 + id % 6) + R"(,"tags":["t)" +
                std::to_string(id % 3) + R"(","x"],"nested":{"rank":)" + std::to_string(id % 4) + R"(,"neg":-)" + n +
                R"(},"note":null}})";
        // NOLINTEND(performance-inefficient-string-concatenation)
    }
    return body + "]}";
}

// The data part of a result as JSON text. Fusion gives equal scores to points of mirrored ranks
// and the server may break such ties either way, at the limit too: `ties` orders them by id and
// leaves out the points that tie with the last one.
std::string data_text(const StatementResult& result, bool ties = false) {
    StatementResult bare;
    bare.ok = result.ok;
    bare.operation = result.operation;
    bare.data = result.data;
    if (ties && bare.data && bare.data->is(ExecData::Kind::Hits)) {
        auto& points = std::get<ExecData::Hits>(bare.data->value).points;
        std::ranges::stable_sort(points, [](const auto& a, const auto& b) {
            return a.score != b.score ? a.score > b.score : a.id < b.id;
        });
        if (!points.empty()) {
            const double last = points.back().score;
            std::erase_if(points, [last](const auto& point) { return point.score == last; });
        }
    }
    plan::JsonObject out;
    results_to_value(out, {bare});
    return plan::json_text(plan::JsonValue(std::move(out)));
}

class GrpcReadLive : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = LiveQdrant::from_env();
        const auto grpc_url = env("ZORV_TEST_QDRANT_GRPC_URL");
        if (!live_ || !grpc_url)
            GTEST_SKIP() << "no Qdrant server: set ZORV_TEST_QDRANT_URL and ZORV_TEST_QDRANT_GRPC_URL";
        const std::string suffix = "_" + std::to_string(::getpid());
        d_ = "gread_d" + suffix;
        l_ = "gread_l" + suffix;
        s_ = "gread_s" + suffix;
        strict_ = "gread_strict" + suffix;
        load();
        auto grpc = make_grpc_backend(*grpc_url, std::nullopt);
        ASSERT_TRUE(grpc.has_value()) << grpc.error().message;
        auto recorded = std::make_unique<test::RecordingBackend>(std::move(*grpc));
        grpc_calls_ = recorded.get();
        grpc_ = build_executor(std::move(recorded), ExecutorSettings{}, nullptr);
        rest_ = build_executor(live_->make_backend(), ExecutorSettings{}, nullptr);
    }
    void TearDown() override {
        if (!live_) return;
        for (const std::string& name : {d_, l_, s_, strict_})
            static_cast<void>(live_->send("DELETE", "/collections/" + name));
    }

    void put(const std::string& path, const std::string& body) const {
        auto reply = live_->send("PUT", path, body);
        ASSERT_TRUE(reply.has_value()) << path << ": " << reply.error().message;
    }

    void load() const {
        for (const std::string& name : {d_, l_, s_, strict_})
            static_cast<void>(live_->send("DELETE", "/collections/" + name));
        put("/collections/" + d_,
            R"({"vectors":{"dense":{"size":4,"distance":"Cosine"},"image":{"size":3,"distance":"Dot"},)"
            R"("colbert":{"size":2,"distance":"Dot","multivector_config":{"comparator":"max_sim"}}},)"
            R"("sparse_vectors":{"text":{"modifier":"idf"},"bm25":{"modifier":"idf"}}})");
        for (const char* index :
             {R"({"field_name":"city","field_schema":"keyword"})", R"({"field_name":"price","field_schema":"float"})",
              R"({"field_name":"year","field_schema":"integer"})", R"({"field_name":"at","field_schema":"datetime"})",
              R"({"field_name":"flag","field_schema":"bool"})", R"({"field_name":"doc","field_schema":"integer"})"}) {
            put("/collections/" + d_ + "/index?wait=true", index);
        }
        put("/collections/" + d_ + "/points?wait=true", points_body());

        put("/collections/" + l_, R"({"vectors":{"dense":{"size":4,"distance":"Cosine"}}})");
        put("/collections/" + l_ + "/points?wait=true",
            R"({"points":[{"id":101,"vector":{"dense":[0.9,0.1,0.1,0.2]},"payload":{"name":"a"}},)"
            R"({"id":102,"vector":{"dense":[0.2,0.8,0.3,0.1]},"payload":{"name":"b"}},)"
            R"({"id":103,"vector":{"dense":[0.1,0.1,0.9,0.4]},"payload":{"name":"c"}},)"
            R"({"id":104,"vector":{"dense":[0.5,0.5,0.5,0.5]},"payload":{"name":"d","n":{"k":[1,2]}}}]})");

        put("/collections/" + s_, R"({"vectors":{"size":2,"distance":"Dot"},"sharding_method":"custom"})");
        put("/collections/" + s_ + "/shards", R"({"shard_key":"eu"})");
        put("/collections/" + s_ + "/shards", R"({"shard_key":"us"})");
        put("/collections/" + s_ + "/points?wait=true",
            R"({"points":[{"id":1,"vector":[1,0]},{"id":2,"vector":[0.5,0.5]}],"shard_key":"eu"})");
        put("/collections/" + s_ + "/points?wait=true",
            R"({"points":[{"id":5,"vector":[0,1]},{"id":6,"vector":[0.7,0.2]}],"shard_key":"us"})");

        put("/collections/" + strict_,
            R"({"vectors":{"size":2,"distance":"Dot"},"strict_mode_config":{"enabled":true,"max_query_limit":5}})");
    }

    std::string text(std::string statement) const {
        statement = replace_all(std::move(statement), "{d}", d_);
        statement = replace_all(std::move(statement), "{l}", l_);
        statement = replace_all(std::move(statement), "{s}", s_);
        return replace_all(std::move(statement), "{strict}", strict_);
    }

    static ExecutionReport run_on(Executor& executor, const std::string& script) {
        auto report = rest::test::run(execute_script(executor, script, true), std::chrono::seconds(60));
        EXPECT_TRUE(report.has_value()) << script << ": " << (report ? "" : report.error().message);
        return report ? std::move(*report) : ExecutionReport{};
    }

    // The two transports agree on what each statement returned; time and usage are the server's.
    static void expect_same(const StatementResult& over_rest, const StatementResult& over_grpc, bool count_only,
                            bool ties = false) {
        EXPECT_EQ(over_grpc.ok, over_rest.ok) << over_rest.message << " | " << over_grpc.message;
        EXPECT_EQ(over_grpc.operation, over_rest.operation);
        if (!over_rest.ok || !over_grpc.ok) return;
        if (!count_only) {
            // As JSON: payload dicts compare whatever the order of their keys (REST keeps the server's,
            // gRPC sorts them), scores and vectors by their exact shortest digits.
            EXPECT_EQ(data_text(over_grpc, ties), data_text(over_rest, ties));
            return;
        }
        ASSERT_TRUE(over_rest.data && over_grpc.data);
        EXPECT_EQ(std::get<ExecData::Hits>(over_grpc.data->value).points.size(),
                  std::get<ExecData::Hits>(over_rest.data->value).points.size());
    }

    std::optional<LiveQdrant> live_;
    std::string d_, l_, s_, strict_;
    std::shared_ptr<Executor> rest_;
    std::shared_ptr<Executor> grpc_;
    test::RecordingBackend* grpc_calls_ = nullptr;
};

constexpr std::string_view kDense = "[0.1, 0.2, 0.3, 0.4]";

// Statements whose answer is fixed by the data: the reports must agree exactly.
// NOLINTBEGIN(bugprone-suspicious-missing-comma): long statements are split over lines
const std::vector<std::string>& read_corpus() {
    static const std::vector<std::string> corpus = {
        "QUERY [0.1, 0.2, 0.3, 0.4] FROM {d} USING dense WITH PAYLOAD true LIMIT 5",
        "QUERY [0.1, 0.2, 0.3, 0.4] FROM {d} USING dense WITH PAYLOAD INCLUDE (city, nested) WITH VECTOR true LIMIT 3",
        "QUERY [1, 0.5, 0.2] FROM {d} USING image WHERE city = 'paris' AND price > 10 WITH PAYLOAD EXCLUDE (tags) "
        "LIMIT 5 OFFSET 1",
        "QUERY {indices: [1, 3, 7], values: [0.5, 0.25, 1.0]} FROM {d} USING text AS SPARSE WITH VECTOR (text) "
        "LIMIT 5",
        "QUERY [[1, 0], [0, 1]] FROM {d} USING colbert AS MULTI WITH VECTOR (colbert, image) LIMIT 5",
        "QUERY MMR [0.1, 0.2, 0.3, 0.4] DIVERSITY 0.7 CANDIDATES 20 FROM {d} USING dense LIMIT 5",
        "QUERY RECOMMEND POSITIVE (101, 102) NEGATIVE (103) FROM {d} USING dense PREFETCH (QUERY [0.5, 0.5, 0.5, "
        "0.5] USING dense LIMIT 20 LOOKUP FROM {l} VECTOR dense) LIMIT 5",
        "QUERY RECOMMEND POSITIVE (101, 104) NEGATIVE (103) STRATEGY average_vector FROM {d} USING dense PREFETCH "
        "(QUERY [0.5, 0.5, 0.5, 0.5] USING dense LIMIT 20 LOOKUP FROM {l} VECTOR dense) LIMIT 5",
        "QUERY RECOMMEND POSITIVE (1, 2) NEGATIVE (3) STRATEGY best_score FROM {d} USING dense LIMIT 5",
        "QUERY RECOMMEND POSITIVE (1, [0.3, 0.3, 0.3, 0.1]) NEGATIVE (3) STRATEGY sum_scores FROM {d} USING dense "
        "LIMIT 5",
        "QUERY CONTEXT (POSITIVE POINT 1 NEGATIVE POINT 2, POSITIVE POINT 3 NEGATIVE POINT 4) FROM {d} USING dense "
        "LIMIT 5",
        "QUERY DISCOVER TARGET POINT 5 CONTEXT (POSITIVE POINT 6 NEGATIVE POINT 7) FROM {d} USING dense LIMIT 5",
        "QUERY RELEVANCE FEEDBACK TARGET [0.1, 0.2, 0.3, 0.4] FEEDBACK ((POINT 2, 0.9), (POINT 3, 0.1)) STRATEGY "
        "NAIVE (a = 1, b = 0.5, c = 0.5) FROM {d} USING dense LIMIT 5",
        "QUERY FUSION RRF FROM {d} PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense LIMIT 10, QUERY {indices: [1, "
        "7], values: [1, 1]} USING text LIMIT 10) WITH PAYLOAD true LIMIT 5",
        "QUERY FUSION DBSF FROM {d} PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense LIMIT 10, QUERY [1, 0.5, 0.2] "
        "USING image LIMIT 10) LIMIT 5",
        "QUERY FUSION RRF FROM {d} PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense LIMIT 10, QUERY [1, 0.5, 0.2] "
        "USING image LIMIT 10) PARAMS (rrf_k = 30, rrf_weights = [0.5, 2]) LIMIT 5",
        "QUERY FUSION RRF FROM {d} PREFETCH (QUERY FUSION DBSF PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense "
        "LIMIT 10, QUERY [1, 0.5, 0.2] USING image WHERE flag = true LIMIT 10) LIMIT 8, QUERY [[1, 0]] USING "
        "colbert LIMIT 8) LIMIT 5",
        "QUERY [0.9, 0.1, 0.1, 0.2] FROM {d} USING dense PREFETCH (QUERY POINT 101 USING dense LIMIT 12 LOOKUP FROM "
        "{l} VECTOR dense) LIMIT 4",
        "QUERY {indices: [1, 3, 7], values: [0.5, 0.25, 1.0]} FROM {d} USING text AS SPARSE PARAMS (idf = WHERE "
        "city = 'paris') LIMIT 5",
        "QUERY {indices: [1, 3, 7], values: [0.5, 0.25, 1.0]} FROM {d} USING text AS SPARSE PARAMS (idf = global) "
        "LIMIT 5",
        "QUERY FORMULA score + 0.5 * exp_decay(price, 20, 10) + CASE WHEN city = 'paris' THEN 1 ELSE 0.25 END + "
        "gauss_decay(year, 2020, 5) - lin_decay(x = datetime_key('at'), target = datetime('2023-05-01T00:00:00Z'), "
        "scale = 8640000) FROM {d} PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense LIMIT 20) WITH PAYLOAD "
        "INCLUDE (city, price) LIMIT 6",
        "QUERY FORMULA score * (nested.rank + 1) / bonus [DEFAULT = 3] + sqrt(abs(year - 2019)) DEFAULTS (bonus = "
        "2) FROM {d} PREFETCH (QUERY [1, 0.5, 0.2] USING image LIMIT 20) LIMIT 6",
        "QUERY ORDER BY price DESC FROM {d} WITH PAYLOAD INCLUDE (price) LIMIT 5",
        "QUERY ORDER BY year START FROM 2019 FROM {d} WHERE flag = false WITH PAYLOAD INCLUDE (year) LIMIT 5",
        "QUERY ORDER BY at START FROM '2023-06-01T00:00:00Z' FROM {d} LIMIT 5",
        "QUERY TEXT 'red running shoes' MODEL 'qdrant/bm25' FROM {d} USING bm25 AS SPARSE LIMIT 5",
        "QUERY [0.1, 0.2, 0.3, 0.4] FROM {d} USING dense GROUP BY doc SIZE 2 LOOKUP FROM {l} WITH PAYLOAD true "
        "LIMIT 3",
        "QUERY [1, 0.37, 0.21] FROM {d} USING image GROUP BY city SIZE 3 WITH PAYLOAD INCLUDE (city, year) WITH "
        "VECTOR (image) LIMIT 2 OFFSET 1",
        "QUERY POINTS (1, 2, 99) FROM {d} WITH PAYLOAD true WITH VECTOR (dense, text)",
        "QUERY POINTS (3) FROM {d} WITH PAYLOAD false WITH VECTOR true",
        "SCROLL FROM {d} WHERE year >= 2020 LIMIT 5",
        "SCROLL FROM {d} AFTER 5 WITH VECTOR true LIMIT 4",
        "SCROLL FROM {d} ORDER BY price DESC START FROM 30.5 LIMIT 4",
        "SCROLL FROM {d} ORDER BY year START FROM 2021 LIMIT 4",
        "SCROLL FROM {d} ORDER BY at DESC START FROM '2023-05-01T00:00:00Z' WITH PAYLOAD INCLUDE (at) LIMIT 4",
        "SCROLL FROM {d} LIMIT 4294967295",
        "COUNT FROM {d} WHERE city = 'paris' OR flag = true",
        "COUNT FROM {d} WITH (exact = false)",
        "FACET city FROM {d} LIMIT 3",
        "FACET year FROM {d} WHERE flag = true EXACT",
        "FACET flag FROM {d} EXACT false",
        "QUERY [0.1, 0.2, 0.3, 0.4] FROM {d} USING dense PARAMS (consistency = majority, timeout = 5, hnsw_ef = 32, "
        "exact = true) SCORE THRESHOLD 0.9 LIMIT 5",
        "QUERY [0.1, 0.2, 0.3, 0.4] FROM {d} USING dense PARAMS (consistency = 1, quantization = {rescore: true}) "
        "LIMIT 3",
        "QUERY [1, 0] FROM {s} SHARD 'eu' WITH PAYLOAD true LIMIT 10",
        "QUERY [1, 0] FROM {s} LIMIT 10",
        "COUNT FROM {s} SHARD 'us'",
        "SCROLL FROM {s} SHARD 'eu' LIMIT 10",
        "QUERY POINTS (1, 5) FROM {s} SHARD 'us'",
    };
    return corpus;
}
// NOLINTEND(bugprone-suspicious-missing-comma)

TEST_F(GrpcReadLive, EveryReadAgreesWithRest) {
    for (const std::string& statement : read_corpus()) {
        const std::string script = text(statement);
        SCOPED_TRACE(script);
        const ExecutionReport over_rest = run_on(*rest_, script);
        const ExecutionReport over_grpc = run_on(*grpc_, script);
        ASSERT_EQ(over_rest.results.size(), 1U);
        ASSERT_EQ(over_grpc.results.size(), 1U);
        EXPECT_TRUE(over_rest.results[0].ok) << over_rest.results[0].message;
        expect_same(over_rest.results[0], over_grpc.results[0], false, statement.find("FUSION") != std::string::npos);
    }
    // Random samples cannot be compared point by point.
    const std::string sample = text("QUERY SAMPLE RANDOM FROM {d} WHERE flag = true LIMIT 4");
    expect_same(run_on(*rest_, sample).results.at(0), run_on(*grpc_, sample).results.at(0), true);
}

TEST_F(GrpcReadLive, ConsecutiveQueriesGoAsOneBatchAndEqualSingleRuns) {
    std::string script;
    std::vector<std::string> singles;
    for (const std::string& statement : read_corpus()) {
        if (!statement.starts_with("QUERY") || statement.find("GROUP BY") != std::string::npos ||
            statement.find("POINTS") != std::string::npos || statement.find("PARAMS") != std::string::npos ||
            statement.find("{d}") == std::string::npos) {
            continue;
        }
        singles.push_back(text(statement));
        script += singles.back() + ";\n";
    }
    ASSERT_GT(singles.size(), 10U);
    grpc_calls_->reset();
    const ExecutionReport batched = run_on(*grpc_, script);
    EXPECT_EQ(grpc_calls_->count(test::BackendCall::QueryBatch), 1U);
    EXPECT_TRUE(grpc_calls_->executed_kinds().empty());
    ASSERT_EQ(batched.results.size(), singles.size());
    for (std::size_t i = 0; i < singles.size(); ++i) {
        SCOPED_TRACE(singles[i]);
        const ExecutionReport single = run_on(*grpc_, singles[i]);
        ASSERT_EQ(single.results.size(), 1U);
        EXPECT_TRUE(batched.results[i].ok) << batched.results[i].message;
        const bool ties = singles[i].find("FUSION") != std::string::npos;
        EXPECT_EQ(data_text(batched.results[i], ties), data_text(single.results[0], ties));
    }
}

// Refused before sending: no request id is drawn, so no call went out.
TEST_F(GrpcReadLive, UnrepresentableValuesAreRefusedUnsent) {
    struct Case {
        std::string statement;
        std::string code;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"SCROLL FROM {d} LIMIT 4294967296", "ZORV-GRPC-SCROLL-LIMIT",
         "scroll limit 4294967296 cannot be represented on the gRPC path: the bundled Qdrant proto stores scroll "
         "limit as uint32 (max 4294967295)"},
        {"QUERY FUSION RRF FROM {d} PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense LIMIT 10, QUERY [1, 0.5, 0.2] "
         "USING image LIMIT 10) PARAMS (rrf_k = 4294967296) LIMIT 5",
         "ZORV-GRPC-RRF-K",
         "rrf_k = 4294967296 cannot be represented on the gRPC path: the bundled Qdrant proto stores k as uint32 "
         "(max 4294967295)"},
        {"QUERY FUSION RRF FROM {d} PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense LIMIT 10, QUERY [1, 0.5, 0.2] "
         "USING image LIMIT 10) PARAMS (rrf_weights = [0.1, 1]) LIMIT 5",
         "ZORV-GRPC-RRF-WEIGHT",
         "rrf_weights value 0.1 cannot be represented exactly on the gRPC path: the bundled Qdrant proto stores "
         "weights as f32"},
        {"SCROLL FROM {d} ORDER BY at START FROM 'yesterday' LIMIT 3", "ZORV-GRPC-START-FROM",
         "order_by START FROM \"yesterday\" cannot be represented on the gRPC path; use an integer, float, or "
         "ISO-8601 datetime"},
    };
    // The schema the executor looks up before a QUERY is cached from here on: any call below would be
    // the statement's own.
    ASSERT_TRUE(run_on(*grpc_, text("QUERY [0.1, 0.2, 0.3, 0.4] FROM {d} USING dense LIMIT 1")).ok);
    for (const Case& c : cases) {
        const std::string script = text(c.statement);
        SCOPED_TRACE(script);
        const std::uint64_t before = REQUEST_ID_COUNTER.load();
        grpc_calls_->reset();
        const ExecutionReport report = run_on(*grpc_, script);
        ASSERT_EQ(report.results.size(), 1U);
        EXPECT_FALSE(report.results[0].ok);
        EXPECT_NE(report.results[0].message.find("[" + c.code + "] " + c.message), std::string::npos)
            << report.results[0].message;
        EXPECT_EQ(REQUEST_ID_COUNTER.load(), before);
    }
}

TEST_F(GrpcReadLive, ServerRefusalsFailOverBoth) {
    auto missing = rest::test::run(
        grpc_->backend->execute(plan::plan_statement(*core::parse_statement("QUERY [1, 0] FROM gread_missing_x "
                                                                            "LIMIT 3"))
                                    .value()));
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, "ZORV-BACKEND-COLLECTION-NOT-FOUND");
    EXPECT_EQ(field(missing.error(), "operation"), "query");

    const std::vector<std::string> refused = {
        "QUERY [1, 0] FROM {strict} LIMIT 10",
        "QUERY FORMULA acosh(price) FROM {d} PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense LIMIT 5) LIMIT 3",
        "QUERY FORMULA max(price, year) FROM {d} PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense LIMIT 5) LIMIT 3",
        "QUERY FORMULA min(price, 2) FROM {d} PREFETCH (QUERY [0.1, 0.2, 0.3, 0.4] USING dense LIMIT 5) LIMIT 3",
    };
    for (const std::string& statement : refused) {
        const std::string script = text(statement);
        SCOPED_TRACE(script);
        const StatementResult over_rest = run_on(*rest_, script).results.at(0);
        const StatementResult over_grpc = run_on(*grpc_, script).results.at(0);
        EXPECT_FALSE(over_rest.ok);
        EXPECT_FALSE(over_grpc.ok) << "sent and answered over gRPC";
        if (statement.find("strict") != std::string::npos) {
            EXPECT_NE(over_grpc.message.find("limit"), std::string::npos) << over_grpc.message;
            EXPECT_NE(over_rest.message.find("limit"), std::string::npos) << over_rest.message;
        }
    }
}

}  // namespace
}  // namespace zorv::runtime::rpc
