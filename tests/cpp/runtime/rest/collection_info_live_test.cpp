#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "runtime/rest/collection_info.h"
#include "runtime/rest/live_qdrant.h"

namespace zorv::runtime::rest {
namespace {

using plan::JsonObject;
using plan::JsonValue;
using protocol::DenseVectorInfo;
using test_support::LiveQdrant;

// Creates collections by statement, reads them back and drops them whatever the outcome.
class CollectionInfoLive : public ::testing::Test {
protected:
    void SetUp() override {
        live_ = LiveQdrant::from_env();
        if (!live_) GTEST_SKIP() << test_support::no_qdrant_reason;
    }
    void TearDown() override {
        if (!live_) return;
        for (const auto& name : created_) (void)live_->send("DELETE", "/collections/" + name);
    }

    void create(const std::string& name, std::string_view statement) {
        created_.push_back(name);
        (void)live_->send("DELETE", "/collections/" + name);
        auto reply = live_->execute(statement);
        ASSERT_TRUE(reply.has_value()) << statement << ": " << reply.error().message;
    }

    void create_raw(const std::string& name, std::string body) {
        created_.push_back(name);
        (void)live_->send("DELETE", "/collections/" + name);
        auto reply = live_->send("PUT", "/collections/" + name, std::move(body));
        ASSERT_TRUE(reply.has_value()) << reply.error().message;
    }

    protocol::CollectionSchema info(const std::string& name) {
        auto reply = live_->send("GET", "/collections/" + name);
        EXPECT_TRUE(reply.has_value()) << reply.error().message;
        if (!reply) return {};
        auto schema = decode_collection_info(reply->root());
        EXPECT_TRUE(schema.has_value()) << schema.error().message;
        return schema ? *schema : protocol::CollectionSchema{};
    }

    std::optional<LiveQdrant> live_;
    std::vector<std::string> created_;
};

TEST_F(CollectionInfoLive, OneNamedVector) {
    create("zorv_schema_docs", "CREATE COLLECTION zorv_schema_docs (v VECTOR(4, DOT))");
    const auto schema = info("zorv_schema_docs");
    EXPECT_EQ(schema.status, "green");
    EXPECT_EQ(schema.points_count, 0U);
    EXPECT_EQ(schema.schema.dense_vectors, std::vector<std::string>{"v"});
    ASSERT_EQ(schema.schema.vectors.size(), 1U);
    EXPECT_EQ(schema.schema.vectors[0].name, "v");
    EXPECT_EQ(schema.schema.vectors[0].size, 4U);
    EXPECT_EQ(schema.schema.vectors[0].distance, "Dot");
}

TEST_F(CollectionInfoLive, OneUnnamedVector) {
    create_raw("zorv_schema_plain", R"({"vectors":{"size":4,"distance":"Dot"}})");
    const auto schema = info("zorv_schema_plain");
    EXPECT_TRUE(schema.schema.dense_vectors.empty());
    ASSERT_EQ(schema.schema.vectors.size(), 1U);
    EXPECT_EQ(schema.schema.vectors[0].name, std::nullopt);
    EXPECT_EQ(schema.schema.vectors[0].size, 4U);
    EXPECT_EQ(schema.schema.vectors[0].distance, "Dot");
}

// Named dense, sparse and multivector, HNSW, quantization, optimizers and payload indexes.
TEST_F(CollectionInfoLive, SettingsDecodeFieldForField) {
    create("zorv_schema_full",
           "CREATE COLLECTION zorv_schema_full (dense VECTOR(8, EUCLID) WITH HNSW (m = 32, ef_construct = 200), "
           "colbert VECTOR(4, DOT) WITH MULTIVECTOR (comparator = 'max_sim'), "
           "keywords SPARSE WITH SPARSE (modifier = 'idf')) "
           "WITH HNSW (ef_construct = 128, full_scan_threshold = 10000, on_disk = false) "
           "WITH QUANTIZATION (type = 'scalar', quantile = 0.99, always_ram = true) "
           "WITH OPTIMIZERS (deleted_threshold = 0.2, vacuum_min_vector_number = 1000, default_segment_number = 4, "
           "indexing_threshold = 0, flush_interval_sec = 5, max_optimization_threads = 'auto') "
           "WITH PARAMS (shard_number = 2, on_disk_payload = true)");
    for (const char* index : {"CREATE INDEX ON COLLECTION zorv_schema_full FOR tenant_id TYPE keyword "
                              "WITH (is_tenant = true) WAIT true",
                              "CREATE INDEX ON COLLECTION zorv_schema_full FOR year TYPE integer "
                              "WITH (lookup = true, range = true, is_principal = true) WAIT true"}) {
        auto reply = live_->execute(index);
        ASSERT_TRUE(reply.has_value()) << index << ": " << reply.error().message;
    }
    const auto schema = info("zorv_schema_full");
    EXPECT_EQ(schema.status, "green");
    EXPECT_EQ(schema.indexed_vectors_count, 0U);
    const protocol::CollectionSettings& settings = schema.schema;
    EXPECT_EQ(settings.dense_vectors, (std::vector<std::string>{"colbert", "dense"}));
    DenseVectorInfo colbert{"colbert", 4, "Dot"};
    colbert.multivector = JsonObject{{"comparator", JsonValue("max_sim")}};
    DenseVectorInfo dense{"dense", 8, "Euclid"};
    dense.hnsw = JsonObject{{"ef_construct", JsonValue(std::uint64_t{200})}, {"m", JsonValue(std::uint64_t{32})}};
    EXPECT_EQ(settings.vectors, (std::vector<DenseVectorInfo>{colbert, dense}));
    EXPECT_EQ(settings.sparse_vectors, (std::vector<protocol::SparseVectorInfo>{{"keywords", std::nullopt, "idf"}}));
    EXPECT_EQ(settings.params, (protocol::SchemaParams{2, std::nullopt, true, std::nullopt, 1}));
    const std::vector<protocol::PayloadIndexInfo> indexes = {
        {"tenant_id", "keyword", JsonObject{{"is_tenant", JsonValue(true)}}, true},
        // Integer indexes have no tenant flag.
        {"year", "integer",
         JsonObject{{"is_principal", JsonValue(true)}, {"lookup", JsonValue(true)}, {"range", JsonValue(true)}},
         std::nullopt},
    };
    EXPECT_EQ(settings.payload_indexes, indexes);
    // Settings the statement left out come back as the server's defaults.
    EXPECT_EQ(settings.hnsw, (protocol::HnswConfig{16, 128, 10000, 0, false}));
    // The server stores "auto" threads as its default, which it reports as null.
    EXPECT_EQ(settings.optimizers, (protocol::OptimizersConfig{0.2, 1000, 4, std::nullopt, std::nullopt, 0, 5}));
    EXPECT_EQ(settings.quantization, protocol::QuantizationConfig(protocol::ScalarQuantization{"int8", 0.99, true}));
}

TEST_F(CollectionInfoLive, ProductAndBinaryQuantization) {
    create("zorv_schema_product",
           "CREATE COLLECTION zorv_schema_product (v VECTOR(16, COSINE)) "
           "WITH QUANTIZATION (type = 'product', compression = 'x16') WITH OPTIMIZERS (max_optimization_threads = 4)");
    create("zorv_schema_binary",
           "CREATE COLLECTION zorv_schema_binary (v VECTOR(16, COSINE)) "
           "WITH QUANTIZATION (type = 'binary', encoding = 'two_bits', query_encoding = 'scalar8bits', always_ram = "
           "true)");
    const auto product = info("zorv_schema_product").schema;
    EXPECT_EQ(product.quantization, protocol::QuantizationConfig(protocol::ProductQuantization{"x16"}));
    ASSERT_TRUE(product.optimizers.has_value());
    EXPECT_EQ(product.optimizers->max_optimization_threads,
              protocol::OptimizerThreads{protocol::OptimizerThreads::ThreadCount{4}});
    EXPECT_EQ(info("zorv_schema_binary").schema.quantization,
              protocol::QuantizationConfig(protocol::BinaryQuantization{true, "two_bits", "scalar8bits"}));
}

}  // namespace
}  // namespace zorv::runtime::rest
