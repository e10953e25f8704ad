// Point writes over gRPC against the real server: every mutation, alone and batched, leaves a
// collection exactly as the same statements over REST leave its twin.
#include <gtest/gtest.h>
#include <simdjson.h>
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
#include "plan/planner.h"
#include "runtime/executor.h"
#include "runtime/executor/bulk_upsert.h"
#include "runtime/executor/runs.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/rest/live_qdrant.h"
#include "runtime/rest/rest_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rpc {
namespace {

using protocol::ExecutionReport;
using rest::test::run;
using test_support::LiveQdrant;

// JSON text with object keys sorted, so that payloads compare whatever order the server keeps.
void canonical(simdjson::dom::element value, std::string& out) {
    switch (value.type()) {
        case simdjson::dom::element_type::OBJECT: {
            std::vector<std::pair<std::string, simdjson::dom::element>> fields;
            simdjson::dom::object object = value.get_object().value();
            for (auto field : object) fields.emplace_back(std::string(field.key), field.value);
            std::ranges::sort(fields, {}, &std::pair<std::string, simdjson::dom::element>::first);
            out += '{';
            for (std::size_t i = 0; i < fields.size(); ++i) {
                out += (i == 0 ? "\"" : ",\"") + fields[i].first + "\":";
                canonical(fields[i].second, out);
            }
            out += '}';
            return;
        }
        case simdjson::dom::element_type::ARRAY: {
            out += '[';
            bool first = true;
            simdjson::dom::array array = value.get_array().value();
            for (auto element : array) {
                if (!first) out += ',';
                first = false;
                canonical(element, out);
            }
            out += ']';
            return;
        }
        default: out += simdjson::minify(value);
    }
}

std::string with_collection(std::string text, std::string_view name) {
    for (auto at = text.find("{C}"); at != std::string::npos; at = text.find("{C}", at + name.size()))
        text.replace(at, 3, name);
    return text;
}

class GrpcMutationsLive : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = LiveQdrant::from_env();
        const char* grpc_url = std::getenv("ZORV_TEST_QDRANT_GRPC_URL");
        if (!live_ || grpc_url == nullptr || *grpc_url == '\0')
            GTEST_SKIP() << "set ZORV_TEST_QDRANT_URL and ZORV_TEST_QDRANT_GRPC_URL to a live Qdrant server";
        std::string rest_url = std::getenv("ZORV_TEST_QDRANT_URL");
        rest_ =
            build_executor(rest::make_rest_backend(rest::test::make_backend(rest_url)), ExecutorSettings{}, nullptr);
        auto backend = make_grpc_backend(grpc_url, std::nullopt);
        ASSERT_TRUE(backend) << core::format_error(backend.error());
        grpc_ = build_executor(std::move(*backend), ExecutorSettings{}, nullptr);
    }

    void TearDown() override {
        for (const auto& name : names_) static_cast<void>(live_->send("DELETE", "/collections/" + name));
    }

    // A fresh collection from a REST creation body; dropped at the end.
    std::string create(std::string_view base, const std::string& body) {
        std::string name = "gmut_" + std::to_string(::getpid()) + "_" + std::string(base);
        static_cast<void>(live_->send("DELETE", "/collections/" + name));
        names_.push_back(name);
        auto created = live_->send("PUT", "/collections/" + name + "?wait=true", body);
        EXPECT_TRUE(created) << created.error().message;
        return name;
    }

    void add_shard_keys(const std::string& name) {
        for (const char* key : {R"({"shard_key":"eu"})", R"({"shard_key":7})"}) {
            auto added = live_->send("PUT", "/collections/" + name + "/shards?wait=true", key);
            ASSERT_TRUE(added) << added.error().message;
        }
    }

    static ExecutionReport script(Executor& executor, const std::string& text) {
        auto report = run(execute_script(executor, text, true), std::chrono::seconds(60));
        EXPECT_TRUE(report) << core::format_error(report.error());
        return report ? std::move(*report) : ExecutionReport{};
    }

    // Every point with payload and vectors, by id, in canonical JSON.
    std::string points(const std::string& name) const {
        auto reply = live_->send("POST", "/collections/" + name + "/points/scroll",
                                 R"({"limit":10000,"with_payload":true,"with_vector":true})");
        EXPECT_TRUE(reply) << reply.error().message;
        if (!reply) return "";
        std::string out;
        canonical(reply->root()["result"]["points"].value(), out);
        return out;
    }

    std::uint64_t count(const std::string& name) const {
        auto reply = live_->send("POST", "/collections/" + name + "/points/count", R"({"exact":true})");
        std::uint64_t out = 0;
        if (!reply || reply->root()["result"]["count"].get(out) != simdjson::SUCCESS) ADD_FAILURE() << "no count";
        return out;
    }

    // Runs the statements over REST into one collection and over gRPC into its twin, alone or as
    // one script, and compares what each statement reported and what the collections hold.
    void differential(std::string_view base, const std::string& body, const std::vector<std::string>& statements,
                      bool sharded = false) {
        for (const bool as_script : {false, true}) {
            SCOPED_TRACE(as_script ? "one script" : "one statement at a time");
            const std::string suffix = as_script ? "_s" : "_1";
            const std::string over_rest = create(std::string(base) + suffix + "_rest", body);
            const std::string over_grpc = create(std::string(base) + suffix + "_grpc", body);
            if (sharded) {
                add_shard_keys(over_rest);
                add_shard_keys(over_grpc);
            }
            std::vector<protocol::StatementResult> rest_results;
            std::vector<protocol::StatementResult> grpc_results;
            auto take = [](std::vector<protocol::StatementResult>& into, ExecutionReport report) {
                for (auto& result : report.results) into.push_back(std::move(result));
            };
            if (as_script) {
                std::string text;
                for (const auto& statement : statements) text += statement + ";\n";
                take(rest_results, script(*rest_, with_collection(text, over_rest)));
                take(grpc_results, script(*grpc_, with_collection(text, over_grpc)));
            } else {
                for (const auto& statement : statements) {
                    take(rest_results, script(*rest_, with_collection(statement, over_rest)));
                    take(grpc_results, script(*grpc_, with_collection(statement, over_grpc)));
                }
            }
            ASSERT_GE(rest_results.size(), statements.size());  // a BATCH reports each member
            ASSERT_EQ(grpc_results.size(), rest_results.size());
            for (std::size_t i = 0; i < rest_results.size(); ++i) {
                SCOPED_TRACE(rest_results[i].operation + " #" + std::to_string(i));
                EXPECT_TRUE(rest_results[i].ok) << rest_results[i].message;
                EXPECT_EQ(grpc_results[i].ok, rest_results[i].ok) << grpc_results[i].message;
                EXPECT_EQ(grpc_results[i].operation, rest_results[i].operation);
                EXPECT_EQ(grpc_results[i].data, rest_results[i].data);
            }
            const std::string expected = points(over_rest);
            EXPECT_NE(expected, "[]");
            EXPECT_EQ(points(over_grpc), expected);
        }
    }

    std::optional<LiveQdrant> live_;
    std::shared_ptr<Executor> rest_;
    std::shared_ptr<Executor> grpc_;
    std::vector<std::string> names_;
};

// Long statements are split over several adjacent literals.
// NOLINTBEGIN(bugprone-suspicious-missing-comma)
TEST_F(GrpcMutationsLive, UnnamedVectorWritesMatchRest) {
    differential(
        "unnamed", R"({"vectors":{"size":4,"distance":"Dot"}})",
        {
            "UPSERT INTO {C} VALUES {id: 1, vector: [0.1, 0.2, 0.3, 0.4], name: 'a', big: 9223372036854775807, "
            "small: -9223372036854775808, none: null, nested: {a: {b: [1, 'x', true, null, 2.5]}, e: {}}}, "
            "{id: 2, vector: [1, 0, 0, 0], price: 10, tags: ['x', 'y']}, "
            "{id: '550e8400-e29b-41d4-a716-446655440000', vector: [0, 1, 0, 0], price: 20, brand: 'acme'} WAIT true",
            "UPSERT INTO {C} VALUES {id: 3, vector: [0, 0, 1, 0], price: 30, version: 1}, "
            "{id: 4, vector: [0, 0, 0, 1], price: 40, version: 5}",
            "UPSERT INTO {C} VALUES {id: 3, vector: [0, 0, 1, 1], version: 2} UPDATE FILTER version < 3",
            "UPSERT INTO {C} VALUES {id: 4, vector: [1, 1, 1, 1], version: 9} UPDATE FILTER version < 3",
            "UPSERT INTO {C} VALUES {id: 2, vector: [1, 1, 0, 0], price: 11} UPDATE MODE update_only",
            "UPSERT INTO {C} VALUES {id: 5, vector: [1, 0, 1, 0], price: 50} UPDATE MODE insert_only",
            "UPSERT INTO {C} VALUES {id: 2, vector: [9, 9, 9, 9]} UPDATE MODE insert_only",
            "UPSERT INTO {C} VALUES {id: 6, vector: [1, 2, 3, 4], price: 60} UPDATE MODE upsert WAIT false",
            "UPDATE {C} SET PAYLOAD = {on_sale: true, price: 9} WHERE id IN (2, 3)",
            "UPDATE {C} SET PAYLOAD = {eu: 3, us: 5} KEY 'stock' WHERE id = 4",
            "UPDATE {C} SET PAYLOAD = {name: 'over', tags: []} OVERWRITE WHERE id = 5",
            "UPDATE {C} SET PAYLOAD = {flag: 1} KEY 'meta.flags' OVERWRITE WHERE id = 6",
            "UPDATE {C} SET PAYLOAD = {flag: 1} WHERE brand = 'acme'",
            "DELETE PAYLOAD price, stock.eu FROM {C} WHERE id IN (3, 4)",
            "DELETE PAYLOAD tags FROM {C} WHERE price >= 9 AND price < 12",
            "CLEAR PAYLOAD FROM {C} WHERE id IN (3)",
            "CLEAR PAYLOAD FROM {C} WHERE on_sale = true",
            "UPDATE {C} SET VECTOR = [0.5, 0.5, 0.5, 0.5] WHERE id = 1",
            "UPSERT INTO {C} VALUES {id: 7, vector: [7, 7, 7, 7]}, {id: 8, vector: [8, 8, 8, 8], price: 80} WAIT false",
            "DELETE FROM {C} WHERE id = 7 WAIT false",
            "DELETE FROM {C} WHERE price > 75",
            "BATCH { UPSERT INTO {C} VALUES {id: 9, vector: [0, 0, 0, 9], a: {b: 1}}; "
            "UPDATE {C} SET PAYLOAD = {c: 2} OVERWRITE WHERE id = 9; DELETE FROM {C} WHERE id = 5 }",
            "DELETE FROM {C} WHERE id = 1000 WAIT true",
        });
}

TEST_F(GrpcMutationsLive, NamedDenseSparseAndMultiVectorWritesMatchRest) {
    differential(
        "named",
        R"({"vectors":{"d":{"size":3,"distance":"Dot"},"m":{"size":2,"distance":"Dot","multivector_config":{"comparator":"max_sim"}}},"sparse_vectors":{"s":{}}})",
        {
            "UPSERT INTO {C} VALUES {id: 1, vector: {d: [1, 0, 0], s: {indices: [1, 7], values: [0.5, 0.25]}, "
            "m: [[1, 0], [0, 1]]}, lang: 'en'}, {id: 2, vector: {d: [0, 1, 0]}, lang: 'de'}",
            "UPSERT INTO {C} VALUES {id: 3, vector: {m: [[0.25, 0.75]]}, lang: 'fr'} WAIT true",
            "UPDATE {C} SET VECTOR s = {indices: [2], values: [1.0]} WHERE id = 2",
            "UPDATE {C} SET VECTOR VALUES {id: 1, vector: {d: [0, 0, 1]}}, {id: 2, vector: {m: [[0.5, 0.5]]}}",
            "DELETE VECTOR s FROM {C} WHERE id = 1",
            "DELETE VECTOR m, d FROM {C} WHERE lang = 'de'",
            "DELETE FROM {C} WHERE id = 1000 WAIT true",
        });
}

// NOLINTEND(bugprone-suspicious-missing-comma)

TEST_F(GrpcMutationsLive, ShardKeyedWritesMatchRest) {
    differential("sharded", R"({"vectors":{"size":2,"distance":"Dot"},"sharding_method":"custom"})",
                 {
                     "UPSERT INTO {C} VALUES {id: 1, vector: [1, 0], a: 1}, {id: 2, vector: [0, 1], a: 2} SHARD 'eu'",
                     "UPSERT INTO {C} VALUES {id: 3, vector: [1, 1], a: 3} SHARD 7",
                     "UPDATE {C} SET PAYLOAD = {b: 2} WHERE id = 1 SHARD 'eu'",
                     "UPDATE {C} SET VECTOR = [0.5, 0.5] WHERE id = 3 SHARD 7",
                     "DELETE PAYLOAD a FROM {C} WHERE id = 1 SHARD 'eu'",
                     "DELETE FROM {C} WHERE id = 2 SHARD 'eu'",
                     "CLEAR PAYLOAD FROM {C} WHERE a = 3 SHARD 7 WAIT true",
                 },
                 true);
}

TEST_F(GrpcMutationsLive, BulkUpsertMatchesRest) {
    const std::string body = R"({"vectors":{"size":3,"distance":"Dot"}})";
    const std::string over_rest = create("bulk_rest", body);
    const std::string over_grpc = create("bulk_grpc", body);
    std::vector<core::Literal> rows;
    for (std::uint64_t i = 0; i < 1000; ++i) {
        const auto x = static_cast<double>(i);
        rows.push_back(core::Literal::dict(
            {{"id", core::Literal::uint64(i)},
             {"vector", core::Literal::list({core::Literal::f64(x), core::Literal::f64(1.0), core::Literal::f64(-x)})},
             {"n", core::Literal::int64(-static_cast<std::int64_t>(i))},
             {"tag", core::Literal::str("t" + std::to_string(i % 7))}}));
    }
    auto over_rest_report = run(upsert_many(*rest_, over_rest, rows, 256, false), std::chrono::seconds(60));
    auto over_grpc_report = run(upsert_many(*grpc_, over_grpc, rows, 256, false), std::chrono::seconds(60));
    ASSERT_TRUE(over_rest_report) << core::format_error(over_rest_report.error());
    ASSERT_TRUE(over_grpc_report) << core::format_error(over_grpc_report.error());
    ASSERT_EQ(over_grpc_report->results.size(), over_rest_report->results.size());
    for (std::size_t i = 0; i < over_rest_report->results.size(); ++i) {
        const auto& expected = over_rest_report->results[i];
        const auto& got = over_grpc_report->results[i];
        EXPECT_TRUE(got.ok) << got.message;
        EXPECT_EQ(got.message, expected.message);
        EXPECT_EQ(got.data, expected.data);
    }
    // The chunks go out without waiting: a final waited write orders the reads after them.
    script(*rest_, "DELETE FROM " + over_rest + " WHERE id = 100000 WAIT true");
    script(*grpc_, "DELETE FROM " + over_grpc + " WHERE id = 100000 WAIT true");
    EXPECT_EQ(count(over_grpc), 1000U);
    EXPECT_EQ(points(over_grpc), points(over_rest));
}

TEST_F(GrpcMutationsLive, WrongVectorSizeIsADimensionMismatchOverBothTransports) {
    // A named vector: the executor leaves its size to the server.
    const std::string body = R"({"vectors":{"d":{"size":3,"distance":"Dot"}}})";
    for (auto* executor : {rest_.get(), grpc_.get()}) {
        const std::string name = create(executor == rest_.get() ? "dim_rest" : "dim_grpc", body);
        auto report = script(*executor, "UPSERT INTO " + name + " VALUES {id: 1, vector: {d: [1, 2]}} WAIT true");
        ASSERT_EQ(report.results.size(), 1U);
        EXPECT_FALSE(report.results[0].ok);
        EXPECT_TRUE(report.results[0].message.starts_with("[ZORV-BACKEND-DIMENSION-MISMATCH]"))
            << report.results[0].message;
    }
}

TEST_F(GrpcMutationsLive, UnrepresentableValuesAreRefusedBeforeSending) {
    const std::string name = create("refused", R"({"vectors":{"size":2,"distance":"Dot"}})");
    script(*grpc_, "UPSERT INTO " + name + " VALUES {id: 1, vector: [1, 0], price: 2.5, tag: 'a'} WAIT true");
    ASSERT_EQ(count(name), 1U);

    struct Refusal {
        std::string statement;
        std::string message;
    };
    const std::vector<Refusal> through_the_executor{
        {"UPSERT INTO {C} VALUES {id: 2, vector: [0, 1], n: 18446744073709551615}",
         "[ZORV-GRPC-VALUE-INT] integer 18446744073709551615 cannot be represented on the gRPC path: the bundled "
         "Qdrant proto stores integers as int64 (max 9223372036854775807)"},
        {"DELETE FROM {C} WHERE ts > '2024-01-01T00:00:00Z'",
         "[ZORV-GRPC-RANGE-TYPE] range bound DateTime(\"2024-01-01T00:00:00Z\") cannot be represented on the gRPC "
         "path: the bundled Qdrant proto stores ranges as doubles; use the REST path for string or datetime bounds"},
    };
    for (const auto& refusal : through_the_executor) {
        auto report = script(*grpc_, with_collection(refusal.statement, name));
        ASSERT_EQ(report.results.size(), 1U);
        EXPECT_FALSE(report.results[0].ok);
        EXPECT_EQ(report.results[0].message, refusal.message);
    }

    // The planner already lowers these two differently; plans built by hand reach the conversion.
    auto delete_where = [&](plan::PlanCondition condition) {
        plan::PointSelectionOp op;
        op.collection = name;
        op.request.filter = plan::PlanFilter::of(plan::PlanClauses{.must = {std::move(condition)}});
        return plan::make_op<plan::PlanOpKind::Delete>(std::move(op));
    };
    auto match = [](plan::PlanMatch m) {
        return plan::PlanCondition::field(plan::PlanFieldCondition{.key = "k", .match = std::move(m)});
    };
    using Kind = plan::PlanMatch::Kind;
    const std::vector<std::pair<plan::PlanOp, std::string>> hand_built{
        {delete_where(match(plan::PlanMatch::make<Kind::Value>(core::Literal::f64(2.5)))),
         "float equality value 2.5 cannot be represented on the gRPC path: the bundled Qdrant proto's Match has no "
         "double field; use a RANGE filter or an exact integer value"},
        {delete_where(match(
             plan::PlanMatch::make<Kind::Any>(core::LiteralList{core::Literal::str("a"), core::Literal::int64(1)}))),
         "IN/NOT IN list mixes strings with non-string entry 1: the bundled Qdrant proto only supports homogeneous "
         "string or int64 lists"},
    };
    for (const auto& [op, message] : hand_built) {
        auto reply = run(grpc_->backend->execute(op));
        ASSERT_FALSE(reply);
        EXPECT_EQ(reply.error().message, message);
    }
    EXPECT_EQ(count(name), 1U);
}

TEST_F(GrpcMutationsLive, LoneOverwriteReplacesThePayload) {
    const std::string name = create("overwrite", R"({"vectors":{"size":2,"distance":"Dot"}})");
    script(*grpc_, "UPSERT INTO " + name + " VALUES {id: 1, vector: [1, 0], a: 0, b: 5} WAIT true");
    auto report = script(*grpc_, "UPDATE " + name + " SET PAYLOAD = {a: 1} OVERWRITE WHERE id = 1");
    ASSERT_EQ(report.results.size(), 1U);
    EXPECT_TRUE(report.results[0].ok) << report.results[0].message;
    auto point = live_->send("GET", "/collections/" + name + "/points/1");
    ASSERT_TRUE(point);
    EXPECT_EQ(simdjson::minify(point->root()["result"]["payload"]), R"({"a":1})");
}

}  // namespace
}  // namespace zorv::runtime::rpc
