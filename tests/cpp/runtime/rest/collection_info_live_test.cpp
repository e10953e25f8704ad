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

}  // namespace
}  // namespace zorv::runtime::rest
