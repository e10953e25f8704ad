#include "runtime/result_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "plan/json_write.h"

namespace zorv::runtime {
namespace {

using protocol::ExecData;
using protocol::StatementResult;

std::string results_text(const std::vector<StatementResult>& results) {
    plan::JsonObject out;
    results_to_value(out, results);
    return plan::json_text(plan::JsonValue(std::move(out)));
}

protocol::ScoredPoint hit(double score) {
    protocol::ScoredPoint point;
    point.id = std::uint64_t{7};
    point.score = score;
    return point;
}

TEST(ResultJsonTest, HitsKeepSortedKeysAndWidenDenseFloats) {
    protocol::ScoredPoint point = hit(0.5);
    point.vector = protocol::HitVectors(core::VectorValue{core::VectorValue::Dense{{0.1F}}});
    StatementResult result{.operation = "QUERY", .message = "Found 1 hits", .data = ExecData{ExecData::Hits{{point}}}};
    EXPECT_EQ(results_text({result}),
              R"({"results":[{"data":[{"id":7,"payload":null,"score":0.5,"vector":[0.10000000149011612]}],)"
              R"("message":"Found 1 hits","ok":true,"operation":"QUERY"}]})");
}

TEST(ResultJsonTest, NonFiniteNumbersBecomeNull) {
    protocol::ScoredPoint point = hit(std::numeric_limits<double>::quiet_NaN());
    point.payload = protocol::HitPayload{{"b", plan::JsonValue(true)}, {"a", plan::JsonValue("x")}};
    point.collection = "c";
    auto sparse = core::VectorValue{core::VectorValue::Sparse{{3}, {std::numeric_limits<float>::infinity()}}};
    point.vector = protocol::HitVectors(protocol::NamedHitVectors{{"s", sparse}});
    EXPECT_EQ(plan::json_text(hits_to_value({point})),
              R"([{"collection":"c","id":7,"payload":{"a":"x","b":true},"score":null,)"
              R"("vector":{"s":{"indices":[3],"values":[null]}}}])");
}

TEST(ResultJsonTest, DataFormsByPayloadKind) {
    struct Case {
        ExecData data;
        std::string json;
    };
    protocol::QuotaConfig quotas;
    quotas.enabled = false;
    quotas.max_disk_usage_percent = 80;
    const std::vector<Case> cases = {
        {ExecData{ExecData::Mutation{3}}, R"({"count":3})"},
        {ExecData{ExecData::Mutation{}}, "null"},
        {ExecData{ExecData::Count{5}}, R"({"count":5})"},
        {ExecData{ExecData::Groups{{{protocol::GroupId(std::int64_t{-5}), {}}}}}, R"([{"hits":[],"id":-5}])"},
        {ExecData{ExecData::Facet{{{protocol::FacetValue(true), 2}}}}, R"([{"count":2,"value":true}])"},
        {ExecData{ExecData::Collections{{"a", "b"}}}, R"({"collections":["a","b"]})"},
        {ExecData{ExecData::ShardKeys{{plan::PlanShardKey(std::string("eu")), plan::PlanShardKey(std::uint64_t{3})}}},
         R"({"shard_keys":["eu",3]})"},
        {ExecData{ExecData::Quotas{quotas}}, R"({"enabled":false,"max_disk_usage_percent":80})"},
    };
    for (const auto& c : cases) {
        StatementResult result{.operation = "X", .message = "m", .data = c.data};
        EXPECT_EQ(results_text({result}),
                  R"({"results":[{"data":)" + c.json + R"(,"message":"m","ok":true,"operation":"X"}]})");
    }
}

TEST(ResultJsonTest, TelemetryOnlyWhenPresent) {
    protocol::Usage usage;
    usage.inference = protocol::InferenceUsage{{{"m2", {4}}, {"m1", {2}}}};
    StatementResult result{.ok = false,
                           .operation = "PARSE",
                           .message = "bad",
                           .telemetry = protocol::Telemetry{0.25, usage}};
    EXPECT_EQ(
        results_text({result}),
        R"({"results":[{"data":null,"message":"bad","ok":false,"operation":"PARSE",)"
        R"("telemetry":{"time_s":0.25,"usage":{"inference":{"models":{"m1":{"tokens":2},"m2":{"tokens":4}}}}}}]})");

    plan::JsonObject out;
    telemetry_usage_to_value(out, std::nullopt);
    EXPECT_EQ(plan::json_text(plan::JsonValue(out)), R"({"usage":null})");
}

TEST(ResultJsonTest, InferenceVectorsWriteModelAlwaysAndOptionsWhenSet) {
    core::VectorValue doc{core::VectorValue::Document{"hi", std::nullopt, {}}};
    EXPECT_EQ(plan::json_text(vector_to_value(doc)), R"({"model":"","text":"hi"})");
    core::VectorValue image{
        core::VectorValue::Image{"img.png", "clip", {{"k", core::Literal::int64(1)}, {"k", core::Literal::int64(2)}}}};
    EXPECT_EQ(plan::json_text(vector_to_value(image)), R"({"image":"img.png","model":"clip","options":{"k":2}})");
    EXPECT_EQ(plan::json_text(vector_to_value(core::VectorValue{core::Placeholder::positional(2)})), R"("?2")");
}

TEST(ResultJsonTest, CollectionInfoKeysSorted) {
    protocol::CollectionSchema info;
    info.status = "green";
    info.indexed_vectors_count = 0;
    info.schema.vectors.push_back(protocol::DenseVectorInfo{.size = 4, .distance = "Dot"});
    StatementResult result{.operation = "SHOW_COLLECTION",
                           .message = "m",
                           .data = ExecData{ExecData::Collection{info}}};
    EXPECT_EQ(
        results_text({result}),
        R"({"results":[{"data":{"indexed_vectors_count":0,"points_count":0,"schema":{"dense_vectors":[],)"
        R"("params":{},"payload_indexes":[],"sparse_vectors":[],"vectors":[{"distance":"Dot","name":null,"size":4}]},)"
        R"("segments_count":0,"status":"green"},"message":"m","ok":true,"operation":"SHOW_COLLECTION"}]})");
}

TEST(ResultJsonTest, CollectionSettingsOnlyWhenSetAndNonFiniteFloatsNull) {
    protocol::CollectionSchema info;
    info.schema.hnsw = protocol::HnswConfig{};
    info.schema.hnsw->m = 16;
    info.schema.hnsw->memory = protocol::StorageTier::Pinned;
    info.schema.optimizers = protocol::OptimizersConfig{};
    info.schema.optimizers->deleted_threshold = std::numeric_limits<double>::quiet_NaN();
    info.schema.optimizers->max_optimization_threads = protocol::OptimizerThreads{protocol::OptimizerThreads::Auto{}};
    info.schema.quantization = protocol::QuantizationConfig(protocol::BinaryQuantization{});
    const plan::JsonValue value = collection_info_to_value(info);
    EXPECT_EQ(plan::json_text(value.as_object().at("schema")),
              R"({"dense_vectors":[],"hnsw":{"m":16,"memory":"pinned"},)"
              R"("optimizers":{"deleted_threshold":null,"max_optimization_threads":"auto"},"params":{},)"
              R"("payload_indexes":[],"quantization":{"binary":{}},"sparse_vectors":[],"vectors":[]})");

    plan::JsonObject ddl;
    put_storage_tier_field(ddl, "payload_memory", std::nullopt);
    put_storage_tier_field(ddl, "memory", protocol::StorageTier::Cold);
    EXPECT_EQ(plan::json_text(plan::JsonValue(ddl)), R"({"memory":"cold","payload_memory":null})");
}

}  // namespace
}  // namespace zorv::runtime
