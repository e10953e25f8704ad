#include "runtime/rest/decode_reply.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/rest/reply_test_support.h"

namespace zorv::runtime::rest {
namespace {

using plan::PlanOp;
using plan::PlanOpKind;
using plan::PlanShardKey;
using protocol::ExecData;
using protocol::FacetHit;
using protocol::HitGroup;
using protocol::QuotaConfig;
using protocol::ScoredPoint;
using protocol::Telemetry;
using test_support::expect_envelope_error;
using test_support::expect_failure;
using test_support::parse;

template <std::size_t... I>
PlanOp op_of_index(std::size_t kind, std::index_sequence<I...> /*unused*/) {
    PlanOp op;
    (void)((kind == I && (op.node.emplace<I>(), true)) || ...);
    return op;
}

// A default operation of the kind: the decoders read only the SET_QUOTA settings.
PlanOp op_of(PlanOpKind kind) {
    return op_of_index(static_cast<std::size_t>(kind), std::make_index_sequence<plan::kPlanOpKindCount>{});
}

core::Result<protocol::BackendReply> decode(PlanOpKind kind, std::string_view text) {
    const JsonDocument doc = parse(text);
    return decode_rest_reply(op_of(kind), doc.root());
}

ScoredPoint point(std::uint64_t id, double score = 0.0) { return ScoredPoint{.id = id, .score = score}; }

struct ReplyCase {
    PlanOpKind kind;
    std::string json;
    ExecData expected;
};

void PrintTo(const ReplyCase& c, std::ostream* os) { *os << plan::plan_op_name(c.kind) << " " << c.json; }

class RestReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(RestReply, DecodesItsData) {
    auto reply = decode(GetParam().kind, GetParam().json);
    ASSERT_TRUE(reply.has_value()) << reply.error().message;
    EXPECT_EQ(reply->data, GetParam().expected);
}

ExecData hits(std::vector<ScoredPoint> points) { return ExecData{ExecData::Hits{std::move(points)}}; }
ExecData groups(std::vector<HitGroup> list) { return ExecData{ExecData::Groups{std::move(list)}}; }
ExecData facet(std::vector<FacetHit> list) { return ExecData{ExecData::Facet{std::move(list)}}; }
ExecData shard_keys(std::vector<PlanShardKey> keys) { return ExecData{ExecData::ShardKeys{std::move(keys)}}; }
ExecData quotas(QuotaConfig config) { return ExecData{ExecData::Quotas{config}}; }
const ExecData mutation{ExecData::Mutation{}};

INSTANTIATE_TEST_SUITE_P(
    Table, RestReply,
    testing::Values(
        ReplyCase{PlanOpKind::Query, R"({"result": {"points": []}, "status": "ok"})", hits({})},
        ReplyCase{PlanOpKind::Scroll,
                  R"({"result": {"points": [{"id": 2}, {"id": 1, "score": 0.5}], "next_page_offset": 3}})",
                  hits({point(2), point(1, 0.5)})},
        ReplyCase{PlanOpKind::GetPoints, R"({"result": [{"id": 4}]})", hits({point(4)})},
        ReplyCase{PlanOpKind::QueryGroups,
                  R"({"result": {"groups": [{"id": "g1", "hits": [{"id": 1}], "lookup": null},
                                            {"id": 5, "hits": []}, {"id": -5, "hits": []}]}})",
                  groups({HitGroup{std::string("g1"), {point(1)}}, HitGroup{std::uint64_t{5}, {}},
                          HitGroup{std::int64_t{-5}, {}}})},
        ReplyCase{PlanOpKind::Count, R"({"result": {"count": 0}})", ExecData{ExecData::Count{0}}},
        ReplyCase{PlanOpKind::Count, R"({"result": {"count": 18446744073709551615}})",
                  ExecData{ExecData::Count{18446744073709551615U}}},
        ReplyCase{PlanOpKind::Facet,
                  R"({"result": {"hits": [{"value": "red", "count": 2}, {"value": -3, "count": 1},
                                          {"value": true, "count": 0}, {"value": 9223372036854775807, "count": 1}]}})",
                  facet({FacetHit{std::string("red"), 2}, FacetHit{std::int64_t{-3}, 1}, FacetHit{true, 0},
                         FacetHit{std::int64_t{9223372036854775807}, 1}})},
        // Mutations and DDL read nothing but time and usage, whatever the result holds.
        ReplyCase{PlanOpKind::Upsert, R"({"result": {"operation_id": 1, "status": "completed"}})", mutation},
        ReplyCase{PlanOpKind::Delete, R"({"result": true})", mutation},
        ReplyCase{PlanOpKind::CreateCollection, R"({"result": null})", mutation},
        ReplyCase{PlanOpKind::DropShardKey, "[]", mutation},
        ReplyCase{PlanOpKind::ShowShardKeys, R"({"result": {"shard_keys": [{"key": "a"}, {"key": 7}]}})",
                  shard_keys({std::string("a"), std::uint64_t{7}})},
        // Lenient outer shape: no list of keys is an empty list.
        ReplyCase{PlanOpKind::ShowShardKeys, R"({"result": {"shard_keys": null}})", shard_keys({})},
        ReplyCase{PlanOpKind::ShowShardKeys, R"({"result": {}})", shard_keys({})},
        ReplyCase{PlanOpKind::ShowShardKeys, R"({"result": 3})", shard_keys({})},
        ReplyCase{PlanOpKind::ShowShardKeys, "[1]", shard_keys({})},
        ReplyCase{PlanOpKind::ShowCollections, R"({"result": {"collections": [{"name": "b", "x": 1}, {"name": "a"}]}})",
                  ExecData{ExecData::Collections{{"b", "a"}}}},
        ReplyCase{PlanOpKind::ShowQuotas, R"({"result": {"config": {}}})", quotas({})},
        ReplyCase{PlanOpKind::ShowQuotas, R"({"result": {"config": {"enabled": true, "other": 1}}})",
                  quotas({.enabled = true})},
        ReplyCase{PlanOpKind::ShowQuotas,
                  R"({"result": {"config": {"enabled": null, "max_resident_memory_percent": 80,
                                            "max_disk_usage_percent": null, "release_margin_percent": 0}}})",
                  quotas({.max_resident_memory_percent = 80, .release_margin_percent = 0})},
        ReplyCase{PlanOpKind::ShowQuotas, R"({"result": {"config": [true, 50]}})",
                  quotas({.max_resident_memory_percent = 50, .enabled = true})},
        ReplyCase{PlanOpKind::ShowQuotas, R"({"result": {"config": [false, 1, 2, 3]}})",
                  quotas({.max_resident_memory_percent = 1,
                          .max_disk_usage_percent = 2,
                          .release_margin_percent = 3,
                          .enabled = false})}));

struct FaultCase {
    PlanOpKind kind;
    std::string json;
    std::string message;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << plan::plan_op_name(c.kind) << " " << c.json; }

class RestReplyFailure : public testing::TestWithParam<FaultCase> {};

TEST_P(RestReplyFailure, FailsWithItsMessage) {
    expect_envelope_error(decode(GetParam().kind, GetParam().json), GetParam().message);
}

constexpr std::string_view quota_invalid = "quota config is invalid: ";

INSTANTIATE_TEST_SUITE_P(
    Table, RestReplyFailure,
    testing::Values(
        FaultCase{PlanOpKind::Query, R"({"result": {}})", "query/scroll response is missing result.points"},
        FaultCase{PlanOpKind::Scroll, R"({"result": {"points": {}}})",
                  "query/scroll response is missing result.points"},
        FaultCase{PlanOpKind::Query, "[]", "query/scroll response is missing result.points"},
        // The first bad record ends the reply.
        FaultCase{PlanOpKind::Query, R"({"result": {"points": [{"id": 1}, {"id": -1}, 5]}})",
                  "point id -1 is not an unsigned integer"},
        FaultCase{PlanOpKind::GetPoints, R"({"result": {"points": []}})",
                  "get points response is missing result as an array"},
        FaultCase{PlanOpKind::QueryGroups, R"({"result": {"groups": null}})",
                  "grouped query response is missing result.groups"},
        FaultCase{PlanOpKind::QueryGroups, R"({"result": {"groups": [5]}})", "group is missing id"},
        FaultCase{PlanOpKind::QueryGroups, R"({"result": {"groups": [{"hits": []}]}})", "group is missing id"},
        FaultCase{PlanOpKind::QueryGroups, R"({"result": {"groups": [{"id": 1.5, "hits": []}]}})",
                  "group id does not match GroupId: data did not match any variant of untagged enum PlanGroupId"},
        FaultCase{PlanOpKind::QueryGroups, R"({"result": {"groups": [{"id": true, "hits": []}]}})",
                  "group id does not match GroupId: data did not match any variant of untagged enum PlanGroupId"},
        FaultCase{PlanOpKind::QueryGroups, R"({"result": {"groups": [{"id": 1}]}})",
                  "group is missing hits as an array"},
        FaultCase{PlanOpKind::QueryGroups, R"({"result": {"groups": [{"id": 1, "hits": [{"id": "a", "score": []}]}]}})",
                  "point score must be a number, got []"},
        FaultCase{PlanOpKind::Count, R"({"result": {"count": -1}})",
                  "count response is missing an unsigned result.count"},
        FaultCase{PlanOpKind::Count, R"({"result": {"count": 2.0}})",
                  "count response is missing an unsigned result.count"},
        FaultCase{PlanOpKind::Count, R"({"result": {"count": "3"}})",
                  "count response is missing an unsigned result.count"},
        FaultCase{PlanOpKind::Count, R"({"result": 3})", "count response is missing an unsigned result.count"},
        FaultCase{PlanOpKind::Facet, R"({"result": {}})", "facet response is missing result.hits"},
        FaultCase{PlanOpKind::Facet, R"({"result": {"hits": [{"count": 1}]}})", "facet hit is missing value"},
        FaultCase{
            PlanOpKind::Facet, R"({"result": {"hits": [{"value": 1.5, "count": 1}]}})",
            "facet value does not match FacetValue: data did not match any variant of untagged enum PlanFacetValue"},
        FaultCase{
            PlanOpKind::Facet, R"({"result": {"hits": [{"value": 18446744073709551615, "count": 1}]}})",
            "facet value does not match FacetValue: data did not match any variant of untagged enum PlanFacetValue"},
        FaultCase{
            PlanOpKind::Facet, R"({"result": {"hits": [{"value": null, "count": 1}]}})",
            "facet value does not match FacetValue: data did not match any variant of untagged enum PlanFacetValue"},
        FaultCase{PlanOpKind::Facet, R"({"result": {"hits": [{"value": "a", "count": -1}]}})",
                  "facet hit is missing an unsigned count"},
        FaultCase{PlanOpKind::Facet, R"({"result": {"hits": [{"value": "a"}]}})",
                  "facet hit is missing an unsigned count"},
        FaultCase{PlanOpKind::ShowShardKeys, R"({"result": {"shard_keys": 5}})",
                  "shard_keys must be an array or null, got 5"},
        FaultCase{PlanOpKind::ShowShardKeys, R"({"result": {"shard_keys": {"key": "a"}}})",
                  R"(shard_keys must be an array or null, got {"key":"a"})"},
        FaultCase{PlanOpKind::ShowShardKeys, R"({"result": {"shard_keys": ["a"]}})", "shard key entry is missing key"},
        FaultCase{PlanOpKind::ShowShardKeys, R"({"result": {"shard_keys": [{"key": -1}]}})",
                  "shard key -1 is not an unsigned integer"},
        FaultCase{PlanOpKind::ShowShardKeys, R"({"result": {"shard_keys": [{"key": 1.5}]}})",
                  "shard key 1.5 is not an unsigned integer"},
        FaultCase{PlanOpKind::ShowShardKeys, R"({"result": {"shard_keys": [{"key": true}]}})",
                  "shard key must be a string or unsigned integer, got true"},
        FaultCase{PlanOpKind::ShowCollections, R"({"result": {}})",
                  "list collections response is missing result.collections"},
        FaultCase{PlanOpKind::ShowCollections, R"({"result": {"collections": [{"name": 1}]}})",
                  "collection entry is missing a string name"},
        FaultCase{PlanOpKind::ShowQuotas, R"({"result": {}})", "get quotas response is missing result.config"},
        FaultCase{PlanOpKind::ShowQuotas, R"({"result": null})", "get quotas response is missing result.config"},
        FaultCase{PlanOpKind::ShowQuotas, R"({"result": {"config": "x"}})",
                  std::string(quota_invalid) + R"(invalid type: string "x", expected struct QuotaConfig)"},
        FaultCase{PlanOpKind::ShowQuotas, R"({"result": {"config": null}})",
                  std::string(quota_invalid) + "invalid type: null, expected struct QuotaConfig"},
        FaultCase{PlanOpKind::ShowQuotas, R"({"result": {"config": {"enabled": 1}}})",
                  std::string(quota_invalid) + "invalid type: integer `1`, expected a boolean"},
        FaultCase{PlanOpKind::ShowQuotas, R"({"result": {"config": {"max_disk_usage_percent": -1}}})",
                  std::string(quota_invalid) + "invalid value: integer `-1`, expected u64"},
        FaultCase{PlanOpKind::ShowQuotas, R"({"result": {"config": {"release_margin_percent": 1.5}}})",
                  std::string(quota_invalid) + "invalid type: floating point `1.5`, expected u64"},
        FaultCase{PlanOpKind::ShowQuotas, R"({"result": {"config": [true, "50"]}})",
                  std::string(quota_invalid) + R"(invalid type: string "50", expected u64)"},
        FaultCase{PlanOpKind::ShowQuotas, R"({"result": {"config": [true, 1, 2, 3, 4]}})",
                  std::string(quota_invalid) + "invalid length 5, expected fewer elements in array"},
        FaultCase{PlanOpKind::SetQuota, R"({"result": {"enabled": true}})",
                  "set quotas response is missing the boolean result field"},
        FaultCase{PlanOpKind::SetQuota, R"({"status": "ok"})",
                  "set quotas response is missing the boolean result field"}));

TEST(RestReply, SetQuotaReportsTheRequestedSettingsEvenWhenTheServerSaysFalse) {
    const QuotaConfig requested{.release_margin_percent = 0, .enabled = true};
    for (const char* text : {R"({"result": true})", R"({"result": false, "time": 0.5})"}) {
        const JsonDocument doc = parse(text);
        auto reply =
            decode_rest_reply(plan::make_op<PlanOpKind::SetQuota>(plan::SetQuotaOp{requested, true}), doc.root());
        ASSERT_TRUE(reply.has_value()) << text;
        EXPECT_EQ(reply->data, quotas(requested)) << text;
    }
}

TEST(RestReply, ClientSideAndBatchKindsAreRefusedWhateverTheReply) {
    for (const char* text : {R"({"result": {"points": []}})", "null"}) {
        expect_failure(decode(PlanOpKind::CrossRerank, text), "ZORV-REST-CLIENT-SIDE", core::ErrorKind::Execution,
                       "CROSS RERANK is client-side and has no REST response");
        expect_failure(decode(PlanOpKind::Batch, text), "ZORV-REST-BATCH", core::ErrorKind::Execution,
                       "BATCH is dispatched by the Executor through the batch RPCs, not as a single REST route");
    }
}

TEST(RestReply, TelemetryIsReadForEveryKindAndNeverFails) {
    auto reply = decode(PlanOpKind::Delete, R"({"result": 1, "time": 0.002, "usage": {"hardware": {"cpu": 4}}})");
    ASSERT_TRUE(reply.has_value());
    EXPECT_EQ(reply->telemetry,
              (Telemetry{.time_s = 0.002, .usage = protocol::Usage{.hardware = protocol::HardwareUsage{.cpu = 4}}}));
    auto count = decode(PlanOpKind::Count, R"({"result": {"count": 3}, "time": "5", "usage": 7})");
    ASSERT_TRUE(count.has_value());
    EXPECT_FALSE(count->telemetry);
    auto only_time = decode(PlanOpKind::Query, R"({"result": {"points": []}, "time": 5})");
    ASSERT_TRUE(only_time.has_value());
    EXPECT_EQ(only_time->telemetry, Telemetry{.time_s = 5.0});
}

TEST(CollectionList, NamesInArrayOrder) {
    const JsonDocument doc = parse(R"({"result": {"collections": [{"name": "z"}, {"name": "a"}]}, "status": "ok"})");
    auto names = decode_collection_list(doc.root());
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(*names, (std::vector<std::string>{"z", "a"}));
    const JsonDocument bad = parse(R"({"result": {"collections": [{"name": "z"}, {}]}})");
    expect_envelope_error(decode_collection_list(bad.root()), "collection entry is missing a string name");
}

}  // namespace
}  // namespace zorv::runtime::rest
