#include "runtime/rest/collection_info.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/rest/reply_json.h"

namespace zorv::runtime::rest {
namespace {

using plan::JsonObject;
using plan::JsonValue;
using protocol::CollectionSchema;
using protocol::CollectionSettings;
using protocol::DenseVectorInfo;
using protocol::PayloadIndexInfo;
using protocol::SparseVectorInfo;

core::Result<CollectionSchema> decode(std::string_view text) {
    auto document = parse_json_text(text);
    EXPECT_TRUE(document.has_value()) << text;
    return decode_collection_info(document->root());
}

// A reply whose result has the required keys and the given config.
CollectionSettings settings_of(std::string_view config, std::string_view payload_schema = "{}") {
    const std::string text = R"({"result":{"status":"green","segments_count":1,"config":)" + std::string(config) +
                             R"(,"payload_schema":)" + std::string(payload_schema) + "}}";
    auto schema = decode(text);
    EXPECT_TRUE(schema.has_value()) << text;
    return schema ? schema->schema : CollectionSettings{};
}

std::string vectors_config(std::string_view vectors) {
    return R"({"params":{"vectors":)" + std::string(vectors) + "}}";
}

TEST(CollectionInfo, RequiredKeysFailInOrder) {
    const std::vector<std::pair<std::string_view, std::string_view>> cases = {
        {"[]", "get collection response is missing a result object"},
        {"{}", "get collection response is missing a result object"},
        {R"({"result":[]})", "get collection response is missing a result object"},
        {R"({"result":{}})", "collection info is missing a string status"},
        {R"({"result":{"status":1,"segments_count":1}})", "collection info is missing a string status"},
        {R"({"result":{"status":"green","segments_count":-1}})",
         "collection info is missing an unsigned segments_count"},
        {R"({"result":{"status":"green","segments_count":2.0}})",
         "collection info is missing an unsigned segments_count"},
        {R"({"result":{"status":"green"}})", "collection info is missing an unsigned segments_count"},
    };
    for (const auto& [json, message] : cases) {
        SCOPED_TRACE(json);
        auto schema = decode(json);
        ASSERT_FALSE(schema.has_value());
        EXPECT_EQ(schema.error().code, "ZORV-BACKEND-ENVELOPE");
        EXPECT_EQ(schema.error().kind, core::ErrorKind::Backend);
        EXPECT_EQ(schema.error().message, message);
        EXPECT_TRUE(schema.error().fields.empty());
    }
}

TEST(CollectionInfo, CountsAndAMissingConfig) {
    auto schema = decode(R"({"result":{"status":"yellow","segments_count":3,"points_count":-4,
                              "indexed_vectors_count":null,"config":"x"},"status":"ok","time":0.1})");
    ASSERT_TRUE(schema.has_value());
    EXPECT_EQ(*schema, (CollectionSchema{"yellow", 0, std::nullopt, 3, {}}));
    schema = decode(R"({"result":{"status":"green","segments_count":0,"points_count":12,"indexed_vectors_count":7}})");
    ASSERT_TRUE(schema.has_value());
    EXPECT_EQ(*schema, (CollectionSchema{"green", 12, 7, 0, {}}));
}

TEST(CollectionInfo, DenseVectorForms) {
    const DenseVectorInfo a{"a", 3};
    struct Case {
        std::string_view vectors;
        std::vector<std::string> names;
        std::vector<DenseVectorInfo> decoded;
    };
    const std::vector<Case> cases = {
        {R"({"size":4,"distance":"Dot"})", {}, {DenseVectorInfo{std::nullopt, 4, "Dot"}}},
        {R"({"size":4})", {}, {}},
        {R"({"a":{"size":3},"b":{"distance":"Dot"},"c":5})", {"a", "b", "c"}, {a}},
        {R"({"c":{"size":1.5},"a":{"size":3},"b":{"size":-1}})", {"a", "b", "c"}, {a}},
        {R"({"datatype":{"size":2},"on_disk":{"size":2},"":{"size":2}})", {""}, {DenseVectorInfo{"", 2}}},
        {R"({"size":{"size":2},"distance":{"size":3}})", {}, {}},
        {R"({"b":{"size":2},"a":{"size":3},"a":{"size":9}})", {"a", "b"}, {a, DenseVectorInfo{"b", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.vectors);
        const CollectionSettings settings = settings_of(vectors_config(c.vectors));
        EXPECT_EQ(settings.dense_vectors, c.names);
        EXPECT_EQ(settings.vectors, c.decoded);
    }
}

TEST(CollectionInfo, VectorParamsKeepTheirRawSettings) {
    const CollectionSettings settings = settings_of(vectors_config(
        R"({"v":{"size":4,"distance":"Euclid","hnsw_config":{"m":8},"quantization_config":null,
                 "multivector_config":{"comparator":"max_sim"},"on_disk":true,"datatype":"float16",
                 "memory":"warm","extra":1},
            "w":{"size":2,"distance":7,"hnsw_config":[1],"quantization_config":{"scalar":{"type":"int8"}},
                 "on_disk":"yes"}})"));
    const DenseVectorInfo v{"v",
                            4,
                            "Euclid",
                            JsonObject{{"m", JsonValue(std::uint64_t{8})}},
                            JsonValue(nullptr),
                            JsonObject{{"comparator", JsonValue("max_sim")}},
                            true,
                            "float16",
                            "warm"};
    DenseVectorInfo w{"w", 2};
    w.quantization = JsonValue(JsonObject{{"scalar", JsonValue(JsonObject{{"type", JsonValue("int8")}})}});
    EXPECT_EQ(settings.vectors, (std::vector<DenseVectorInfo>{v, w}));
}

TEST(CollectionInfo, SparseVectorsAndParams) {
    const CollectionSettings settings = settings_of(
        R"({"params":{"vectors":{},"sparse_vectors":{"s2":{"index":{"on_disk":true},"modifier":"idf"},"s1":5},
            "shard_number":2,"sharding_method":"custom","on_disk_payload":true,"replication_factor":1,
            "write_consistency_factor":1,"payload":{"memory":"cached"}}})");
    EXPECT_EQ(settings.sparse_vectors,
              (std::vector<SparseVectorInfo>{{"s1"}, {"s2", JsonObject{{"on_disk", JsonValue(true)}}, "idf"}}));
    EXPECT_EQ(settings.params, (protocol::SchemaParams{2, "custom", true, "cached", 1}));
    const CollectionSettings loose =
        settings_of(R"({"params":{"shard_number":-1,"sharding_method":1,"on_disk_payload":"no","payload":"x"}})");
    EXPECT_EQ(loose.params, protocol::SchemaParams{});
}

TEST(CollectionInfo, PayloadIndexes) {
    const CollectionSettings settings = settings_of("{}", R"({
        "n":{"type":"Integer","params":{"type":"integer","lookup":true,"is_tenant":true},"points":4},
        "k":{"data_type":"Keyword","is_tenant":false,"params":{"is_tenant":true}},
        "a":5,
        "t":{"type":3,"params":"x"}})");
    const std::vector<PayloadIndexInfo> expected = {
        {"a", "keyword", {}, std::nullopt},
        {"k", "keyword", JsonObject{{"is_tenant", JsonValue(true)}}, false},
        {"n", "integer", JsonObject{{"is_tenant", JsonValue(true)}, {"lookup", JsonValue(true)}}, true},
        {"t", "keyword", {}, std::nullopt},
    };
    EXPECT_EQ(settings.payload_indexes, expected);
}

TEST(CollectionInfo, TypedSettingsAreKeptOrDroppedWhole) {
    const CollectionSettings hidden =
        settings_of(R"({"optimizer_config":"x","optimizers_config":{"deleted_threshold":0.2},"hnsw_config":{"m":"16"},
                        "quantization_config":{},"params":{"vectors":{"size":4,"distance":"Dot"}}})");
    EXPECT_EQ(hidden.optimizers, std::nullopt);
    EXPECT_EQ(hidden.hnsw, std::nullopt);
    EXPECT_EQ(hidden.quantization, std::nullopt);
    EXPECT_EQ(hidden.vectors.size(), 1U);
    const CollectionSettings kept =
        settings_of(R"({"optimizers_config":{"deleted_threshold":0.2},"hnsw_config":{"m":16,"memory":{"pinned":null}},
                        "quantization_config":{"product":{"compression":"x16","memory":1}}})");
    EXPECT_EQ(kept.optimizers, protocol::OptimizersConfig{0.2});
    EXPECT_EQ(kept.hnsw, (protocol::HnswConfig{.m = 16, .memory = protocol::StorageTier::Pinned}));
    EXPECT_EQ(kept.quantization,
              protocol::QuantizationConfig(
                  protocol::ProductQuantization{"x16", std::nullopt, protocol::StorageTier::Cached}));
}

}  // namespace
}  // namespace zorv::runtime::rest
