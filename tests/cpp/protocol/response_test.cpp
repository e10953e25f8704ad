#include "protocol/response.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "core/error.h"
#include "plan/plan_op.h"

namespace zorv::protocol {
namespace {

using plan::make_op;
using plan::PlanOp;
using plan::PlanOpKind;

constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();

ScoredPoint hit(std::uint64_t id) { return ScoredPoint{.id = id, .score = 0.5}; }

// Groups with the ids first..last-1.
ExecData groups_of(std::uint64_t first, std::uint64_t last) {
    ExecData::Groups groups;
    for (std::uint64_t i = first; i < last; ++i) groups.groups.push_back(HitGroup{.id = GroupId(i), .hits = {hit(i)}});
    return ExecData{groups};
}
ExecData groups_of(std::uint64_t n) { return groups_of(0, n); }

PlanOp groups_op(std::uint64_t offset) {
    plan::QueryGroupsOp op;
    op.collection = "c";
    op.offset = offset;
    return make_op<PlanOpKind::QueryGroups>(std::move(op));
}

Telemetry timed(double seconds) { return Telemetry{.time_s = seconds, .usage = std::nullopt}; }

TEST(ScoreF64, TakesTheShortestDecimalOfTheFloat) {
    struct Case {
        float in;
        double out;
    };
    const Case cases[] = {
        {0.1f, 0.1},
        {1.5f, 1.5},
        {-0.3f, -0.3},
        {std::numeric_limits<float>::denorm_min(), 1e-45},
        {std::numeric_limits<float>::max(), 3.4028235e38},
        {std::numeric_limits<float>::infinity(), std::numeric_limits<double>::infinity()},
        {-std::numeric_limits<float>::infinity(), -std::numeric_limits<double>::infinity()},
    };
    for (const Case& c : cases) EXPECT_EQ(score_f64(c.in), c.out) << c.in;
    EXPECT_NE(score_f64(0.1f), static_cast<double>(0.1f));
    EXPECT_TRUE(std::isnan(score_f64(std::numeric_limits<float>::quiet_NaN())));
}

TEST(MergeUsage, AddsCountersAndTokensSaturating) {
    Usage total{.hardware = HardwareUsage{.cpu = kMax, .vector_io_read = 4},
                .inference = InferenceUsage{{{"m1", {10}}}}};
    Usage next{.hardware = HardwareUsage{.cpu = 1, .vector_io_read = 5},
               .inference = InferenceUsage{{{"m2", {3}}, {"m1", {kMax}}}}};
    Usage merged = merge_usage(total, next);
    ASSERT_TRUE(merged.hardware);
    EXPECT_EQ(merged.hardware->cpu, kMax);
    EXPECT_EQ(merged.hardware->vector_io_read, 9u);
    // m1 keeps its first place; m2 joins after it.
    EXPECT_EQ(merged.inference, (InferenceUsage{{{"m1", {kMax}}, {"m2", {3}}}}));
}

TEST(MergeUsage, APartPresentOnOneSideIsTakenAsItIs) {
    const HardwareUsage hardware{.cpu = 7};
    const InferenceUsage inference{{{"m", {2}}}};
    EXPECT_EQ(merge_usage(Usage{.hardware = hardware}, Usage{.inference = inference}),
              (Usage{.hardware = hardware, .inference = inference}));
    EXPECT_EQ(merge_usage(Usage{.inference = inference}, Usage{.hardware = hardware}),
              (Usage{.hardware = hardware, .inference = inference}));
    EXPECT_EQ(merge_usage(Usage{}, Usage{}), Usage{});
}

TEST(SummarizeResults, CountsAndFoldsTelemetry) {
    StatementResult failed = failed_statement_result("PARSE", core::ZorvError("ZORV-X", "bad", core::ErrorKind::Parse));
    StatementResult first{.operation = "QUERY", .telemetry = timed(0.25)};
    StatementResult second{.operation = "QUERY",
                           .telemetry = Telemetry{.time_s = 0.5, .usage = Usage{.hardware = HardwareUsage{.cpu = 2}}}};
    StatementResult third{.operation = "QUERY",
                          .telemetry =
                              Telemetry{.time_s = std::nullopt, .usage = Usage{.hardware = HardwareUsage{.cpu = 3}}}};
    ExecutionReport report = summarize_results({first, failed, second, third});
    EXPECT_EQ(report.succeeded, 3u);
    EXPECT_EQ(report.failed, 1u);
    EXPECT_FALSE(report.ok);
    ASSERT_TRUE(report.telemetry);
    EXPECT_EQ(report.telemetry->time_s, 0.75);
    EXPECT_EQ(report.telemetry->usage, (Usage{.hardware = HardwareUsage{.cpu = 5}}));
    ASSERT_EQ(report.results.size(), 4u);
    EXPECT_EQ(report.results[1], failed);
}

TEST(SummarizeResults, ReportsNoTelemetryWhenNoResultStatedAny) {
    const std::vector<std::vector<StatementResult>> cases = {
        {},
        {StatementResult{.operation = "COUNT"}},
        {StatementResult{.operation = "COUNT", .telemetry = Telemetry{}}},
    };
    for (const auto& results : cases) {
        ExecutionReport report = summarize_results(results);
        EXPECT_TRUE(report.ok);
        EXPECT_EQ(report.failed, 0u);
        EXPECT_EQ(report.succeeded, results.size());
        EXPECT_FALSE(report.telemetry);
    }
    ExecutionReport time_only = summarize_results({StatementResult{.telemetry = timed(0.25)}});
    EXPECT_EQ(time_only.telemetry, timed(0.25));
}

struct ResultCase {
    std::string name;
    PlanOp op;
    std::optional<ExecData> reply;
    std::string message;
    std::optional<ExecData> data;
};

void PrintTo(const ResultCase& c, std::ostream* os) { *os << c.name; }

class OperationResult : public testing::TestWithParam<ResultCase> {};

TEST_P(OperationResult, NamesCountsAndKeepsOrDropsTheReplyData) {
    const ResultCase& c = GetParam();
    auto result = operation_result(c.op, BackendReply{.telemetry = timed(0.125), .data = c.reply});
    ASSERT_TRUE(result) << core::format_error(result.error());
    EXPECT_TRUE(result->ok);
    EXPECT_EQ(result->operation, plan::plan_op_name(c.op.kind()));
    EXPECT_EQ(result->message, c.message);
    EXPECT_EQ(result->data, c.data);
    EXPECT_EQ(result->telemetry, timed(0.125));
}

ExecData hits_of(const std::vector<std::uint64_t>& ids) {
    ExecData::Hits hits;
    for (auto id : ids) hits.points.push_back(hit(id));
    return ExecData{hits};
}

const ExecData kMutationNone{ExecData::Mutation{}};

INSTANTIATE_TEST_SUITE_P(
    Table, OperationResult,
    testing::Values(
        ResultCase{"query", make_op<PlanOpKind::Query>(), hits_of({1, 2}), "Found 2 hits", hits_of({1, 2})},
        ResultCase{"query_without_hits", make_op<PlanOpKind::Query>(), ExecData{ExecData::Count{4}}, "Found 0 hits",
                   ExecData{ExecData::Count{4}}},
        ResultCase{"groups_offset_0", groups_op(0), groups_of(5), "Found 5 group(s)", groups_of(5)},
        ResultCase{"groups_offset_2", groups_op(2), groups_of(5), "Found 3 group(s)", groups_of(2, 5)},
        ResultCase{"groups_offset_5", groups_op(5), groups_of(5), "Found 0 group(s)", groups_of(0)},
        ResultCase{"groups_offset_7", groups_op(7), groups_of(5), "Found 0 group(s)", groups_of(0)},
        ResultCase{"count", make_op<PlanOpKind::Count>(), ExecData{ExecData::Count{42}}, "Count: 42",
                   ExecData{ExecData::Count{42}}},
        ResultCase{"count_from_mutation", make_op<PlanOpKind::Count>(), ExecData{ExecData::Mutation{9}}, "Count: 9",
                   ExecData{ExecData::Count{9}}},
        ResultCase{"count_from_nothing", make_op<PlanOpKind::Count>(), std::nullopt, "Count: 0",
                   ExecData{ExecData::Count{0}}},
        ResultCase{"upsert_drops_reply", make_op<PlanOpKind::Upsert>(), ExecData{ExecData::Mutation{99}},
                   "Upserted 0 point(s)", ExecData{ExecData::Mutation{0}}},
        ResultCase{"delete_payload", make_op<PlanOpKind::DeletePayload>(), ExecData{ExecData::Mutation{5}},
                   "DELETE_PAYLOAD ok", kMutationNone},
        ResultCase{"drop_index", make_op<PlanOpKind::DropIndex>(), ExecData{ExecData::Mutation{1}}, "DROP_INDEX ok",
                   std::nullopt},
        ResultCase{"show_collection", make_op<PlanOpKind::ShowCollection>(),
                   ExecData{ExecData::Collection{CollectionSchema{.status = "green", .segments_count = 2}}},
                   "SHOW_COLLECTION ok",
                   ExecData{ExecData::Collection{CollectionSchema{.status = "green", .segments_count = 2}}}},
        ResultCase{"show_collections", make_op<PlanOpKind::ShowCollections>(),
                   ExecData{ExecData::Collections{{"a", "b", "c"}}}, "Found 3 collection(s)",
                   ExecData{ExecData::Collections{{"a", "b", "c"}}}},
        ResultCase{"facet", make_op<PlanOpKind::Facet>(), ExecData{ExecData::Facet{{FacetHit{true, 3}}}},
                   "Found 1 facet hit(s)", ExecData{ExecData::Facet{{FacetHit{true, 3}}}}},
        ResultCase{"show_shard_keys", make_op<PlanOpKind::ShowShardKeys>(), ExecData{ExecData::ShardKeys{{"k"}}},
                   "Shard keys listed", ExecData{ExecData::ShardKeys{{"k"}}}},
        ResultCase{"show_quotas", make_op<PlanOpKind::ShowQuotas>(), std::nullopt, "Quota configuration shown",
                   std::nullopt},
        ResultCase{"set_quota", make_op<PlanOpKind::SetQuota>(), std::nullopt, "Quota configuration updated",
                   std::nullopt}),
    [](const testing::TestParamInfo<ResultCase>& info) { return info.param.name; });

TEST(OperationResultFailure, CrossRerankHasNoBackendResult) {
    auto result = operation_result(make_op<PlanOpKind::CrossRerank>(), BackendReply{.data = hits_of({1})});
    ASSERT_FALSE(result);
    EXPECT_EQ(core::format_error(result.error()),
              "[ZORV-CROSS-RERANK] CROSS RERANK must be executed client-side, not via a Qdrant route");
    EXPECT_EQ(result.error().kind, core::ErrorKind::Execution);
}

TEST(BatchMemberResults, NameAndCountEachMember) {
    StatementResult query = query_batch_result(BackendReply{.telemetry = timed(1.0), .data = hits_of({3})});
    EXPECT_EQ(query,
              (StatementResult{
                  .operation = "QUERY", .message = "Found 1 hits", .data = hits_of({3}), .telemetry = timed(1.0)}));

    StatementResult upsert =
        update_run_results(PlanOpKind::Upsert, 3, BackendReply{.telemetry = timed(2.0), .data = kMutationNone});
    EXPECT_EQ(upsert, (StatementResult{.operation = "UPSERT",
                                       .message = "Upserted 3 point(s)",
                                       .data = ExecData{ExecData::Mutation{3}},
                                       .telemetry = timed(2.0)}));

    StatementResult clear = update_run_results(PlanOpKind::ClearPayload, 0, BackendReply{.data = hits_of({1})});
    EXPECT_EQ(clear,
              (StatementResult{.operation = "CLEAR_PAYLOAD", .message = "CLEAR_PAYLOAD ok", .data = kMutationNone}));
}

TEST(FailedStatementResult, CarriesTheErrorDisplayText) {
    core::ZorvError error("ZORV-BACKEND-HTTP", "Qdrant returned 500 Internal Server Error: boom",
                          core::ErrorKind::Backend);
    error.add_field("status_code", "500");
    StatementResult result = failed_statement_result(make_op<PlanOpKind::Delete>(), error);
    EXPECT_EQ(result, (StatementResult{.ok = false,
                                       .operation = "DELETE",
                                       .message = "[ZORV-BACKEND-HTTP] Qdrant returned 500 Internal Server Error: "
                                                  "boom {status_code: 500}"}));
}

}  // namespace
}  // namespace zorv::protocol
