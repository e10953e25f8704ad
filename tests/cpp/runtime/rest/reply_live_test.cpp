// Replies of a real Qdrant server decoded and compared with what was stored.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/parser/parser.h"
#include "plan/planner.h"
#include "protocol/response.h"
#include "runtime/rest/batch_reply.h"
#include "runtime/rest/decode_reply.h"
#include "runtime/rest/live_qdrant.h"

namespace zorv::core {

// Readable vectors in failure messages.
inline void PrintTo(const VectorValue& vector, std::ostream* os) {
    auto floats = [os](const std::vector<float>& values) {
        *os << '[';
        for (float x : values) *os << x << ' ';
        *os << ']';
    };
    if (const auto* dense = std::get_if<VectorValue::Dense>(&vector.value)) floats(dense->values);
    if (const auto* multi = std::get_if<VectorValue::MultiDense>(&vector.value)) {
        for (const auto& row : multi->rows) floats(row);
    }
    if (const auto* sparse = std::get_if<VectorValue::Sparse>(&vector.value)) {
        for (std::uint32_t i : sparse->indices) *os << i << ' ';
        floats(sparse->values);
    }
}

}  // namespace zorv::core

namespace zorv::runtime::rest {
namespace {

using core::VectorValue;
using plan::PlanOpKind;
using protocol::ExecData;
using protocol::NamedHitVectors;
using zorv::test_support::LiveQdrant;

// A name of this process, so parallel runs do not meet.
std::string unique_name(std::string_view stem) { return std::string(stem) + "_" + std::to_string(::getpid()); }

// Floats whose f32 and f64 texts differ, and the f32 extremes: a value that went through f64
// anywhere would differ. Sparse indices ascending, as the server stores them.
NamedHitVectors stored_vectors(std::uint64_t id) {
    const auto base = static_cast<float>(id);
    return NamedHitVectors{
        {"d", VectorValue{VectorValue::Dense{{0.1F * base, -2.7182817F, 1e-7F, 3.4028235e38F}}}},
        {"m", VectorValue{VectorValue::MultiDense{{{0.3F, base}, {-0.6F, 1.1754944e-38F}}}}},
        {"s", VectorValue{VectorValue::Sparse{{2, 9}, {base, 0.33333334F}}}},
    };
}

std::string float_text(float x) {
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, written.ptr);
}

std::string floats_text(const std::vector<float>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + float_text(values[i]);
    return out + "]";
}

// The row of one point in UPSERT syntax.
std::string row(std::uint64_t id, std::string_view city) {
    const NamedHitVectors vectors = stored_vectors(id);
    const auto& d = std::get<VectorValue::Dense>(vectors.at("d").value).values;
    const auto& m = std::get<VectorValue::MultiDense>(vectors.at("m").value).rows;
    const auto& s = std::get<VectorValue::Sparse>(vectors.at("s").value);
    return "{id: " + std::to_string(id) + ", vector: {d: " + floats_text(d) + ", m: [" + floats_text(m[0]) + ", " +
           floats_text(m[1]) + "], s: {indices: [2, 9], values: " + floats_text(s.values) + "}}, city: '" +
           std::string(city) + "'}";
}

// One planned statement and the server's parsed reply to it.
struct Exchange {
    plan::PlanOp op;
    JsonDocument reply;
};

class LiveReplies : public testing::Test {
protected:
    void SetUp() override {
        server_ = LiveQdrant::from_env();
        if (!server_) GTEST_SKIP() << zorv::test_support::no_qdrant_reason;
    }

    core::Result<Exchange> send(std::string_view statement) const {
        auto parsed = ZORV_TRY(core::parse_statement(statement));
        auto op = ZORV_TRY(plan::plan_statement(parsed));
        auto reply = ZORV_TRY(server_->execute(statement));
        return Exchange{std::move(op), std::move(reply)};
    }

    void run(std::string_view statement) const {
        auto exchange = server_->execute(statement);
        EXPECT_TRUE(exchange.has_value()) << statement << ": " << (exchange ? "" : exchange.error().message);
    }

    // Whether or not it exists.
    void drop_collection(const std::string& name) const { (void)server_->execute("DROP COLLECTION " + name); }

    // Decodes the reply to `statement` with the statement's own plan.
    protocol::BackendReply decode(std::string_view statement) const {
        auto exchange = send(statement);
        EXPECT_TRUE(exchange.has_value()) << statement << ": " << (exchange ? "" : exchange.error().message);
        if (!exchange) return {};
        auto reply = decode_rest_reply(exchange->op, exchange->reply.root());
        EXPECT_TRUE(reply.has_value()) << statement << ": " << (reply ? "" : reply.error().message);
        return reply ? std::move(*reply) : protocol::BackendReply{};
    }

    std::optional<LiveQdrant> server_;
};

class LivePoints : public LiveReplies {
protected:
    void SetUp() override {
        LiveReplies::SetUp();
        if (IsSkipped()) return;
        drop_collection(name_);
        run("CREATE COLLECTION " + name_ +
            " (d VECTOR(4, DOT), m VECTOR(2, DOT) WITH MULTIVECTOR (comparator = 'max_sim'), s SPARSE)");
        run("CREATE INDEX ON COLLECTION " + name_ + " FOR city TYPE keyword");
        run("UPSERT INTO " + name_ + " VALUES " + row(1, "Oslo") + ", " + row(2, "Bergen") + ", " + row(3, "Tromso") +
            " WAIT true");
    }
    void TearDown() override {
        if (server_) drop_collection(name_);
    }

    std::string name_ = unique_name("replies_points");
};

TEST_F(LivePoints, CountOfThreePoints) {
    const std::string statement = "COUNT FROM " + name_ + " WITH (exact = true)";
    protocol::BackendReply reply = decode(statement);
    EXPECT_EQ(reply.data, ExecData{ExecData::Count{3}});
    auto result = protocol::operation_result(plan::make_op<PlanOpKind::Count>(), std::move(reply));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->message, "Count: 3");
    EXPECT_EQ(result->data, ExecData{ExecData::Count{3}});
}

TEST_F(LivePoints, FacetOnAKeywordField) {
    protocol::BackendReply reply = decode("FACET city FROM " + name_ + " EXACT");
    ASSERT_TRUE(reply.data);
    auto hits = std::get<ExecData::Facet>(reply.data->value).hits;
    std::ranges::sort(hits, {}, [](const protocol::FacetHit& hit) { return std::get<std::string>(hit.value); });
    EXPECT_EQ(hits, (std::vector<protocol::FacetHit>{{std::string("Bergen"), 1},
                                                     {std::string("Oslo"), 1},
                                                     {std::string("Tromso"), 1}}));
}

TEST_F(LivePoints, GroupsWithAnOffsetKeepTheLastGroups) {
    const std::string statement = "QUERY [1, 0, 0, 0] FROM " + name_ + " USING d GROUP BY city LIMIT 2 OFFSET 1";
    auto exchange = send(statement);
    ASSERT_TRUE(exchange.has_value()) << exchange.error().message;
    auto reply = decode_rest_reply(exchange->op, exchange->reply.root());
    ASSERT_TRUE(reply.has_value()) << reply.error().message;
    const auto all = std::get<ExecData::Groups>(reply->data->value).groups;
    ASSERT_EQ(all.size(), 3U);
    // Scores follow the first coordinate, which grows with the id.
    std::vector<protocol::GroupId> ids;
    for (const protocol::HitGroup& group : all) ids.push_back(group.id);
    EXPECT_EQ(ids, (std::vector<protocol::GroupId>{std::string("Tromso"), std::string("Bergen"), std::string("Oslo")}));
    auto result = protocol::operation_result(exchange->op, std::move(*reply));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->message, "Found 2 group(s)");
    EXPECT_EQ(result->data, (ExecData{ExecData::Groups{{all[1], all[2]}}}));
}

TEST_F(LivePoints, StoredVectorsComeBackF32Exact) {
    for (const std::string& statement : {"QUERY POINTS (1, 2, 3) FROM " + name_ + " WITH VECTOR true",
                                         "SCROLL FROM " + name_ + " WITH PAYLOAD true WITH VECTOR true LIMIT 10"}) {
        protocol::BackendReply reply = decode(statement);
        ASSERT_TRUE(reply.data) << statement;
        const auto& points = std::get<ExecData::Hits>(reply.data->value).points;
        ASSERT_EQ(points.size(), 3U) << statement;
        for (const protocol::ScoredPoint& point : points) {
            const std::uint64_t id = std::get<std::uint64_t>(point.id);
            ASSERT_TRUE(point.vector) << statement;
            EXPECT_EQ(std::get<NamedHitVectors>(*point.vector), stored_vectors(id)) << statement << " id " << id;
        }
    }
}

TEST_F(LivePoints, CollectionListExistenceAndInfo) {
    protocol::BackendReply list = decode("SHOW COLLECTIONS");
    ASSERT_TRUE(list.data);
    const auto& names = std::get<ExecData::Collections>(list.data->value).names;
    EXPECT_NE(std::ranges::find(names, name_), names.end());
    auto info = send("SHOW COLLECTION " + name_);
    ASSERT_TRUE(info.has_value()) << info.error().message;
    auto exists = decode_collection_exists(info->reply.root());
    ASSERT_TRUE(exists.has_value()) << exists.error().message;
    EXPECT_TRUE(*exists);
    auto reply = decode_rest_reply(info->op, info->reply.root());
    ASSERT_TRUE(reply.has_value()) << reply.error().message;
    const protocol::CollectionSchema& schema = std::get<ExecData::Collection>(reply->data->value).schema;
    EXPECT_EQ(schema.schema.dense_vectors, (std::vector<std::string>{"d", "m"}));
    ASSERT_EQ(schema.schema.sparse_vectors.size(), 1U);
    EXPECT_EQ(schema.schema.sparse_vectors[0].name, "s");
}

TEST_F(LivePoints, BatchRepliesDecodeOnePerMember) {
    auto queries = send("BATCH { QUERY [1, 0, 0, 0] FROM " + name_ + " USING d LIMIT 2; QUERY [0, 0, 0, 1] FROM " +
                        name_ + " USING d LIMIT 1 }");
    ASSERT_TRUE(queries.has_value()) << queries.error().message;
    auto searches = decode_query_batch_reply(queries->reply.root()["result"].value());
    ASSERT_TRUE(searches.has_value()) << searches.error().message;
    ASSERT_EQ(searches->size(), 2U);
    std::vector<std::size_t> sizes;
    for (const protocol::BackendReply& reply : *searches) {
        sizes.push_back(std::get<ExecData::Hits>(reply.data->value).points.size());
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{2, 1}));

    auto updates =
        send("BATCH { DELETE FROM " + name_ + " WHERE id = 98; DELETE FROM " + name_ + " WHERE id = 99 } WAIT true");
    ASSERT_TRUE(updates.has_value()) << updates.error().message;
    auto writes = decode_update_batch_reply(updates->reply.root()["result"].value());
    ASSERT_TRUE(writes.has_value()) << writes.error().message;
    ASSERT_EQ(writes->size(), 2U);
    for (const protocol::BackendReply& reply : *writes) EXPECT_EQ(reply.data, ExecData{ExecData::Mutation{}});
}

TEST_F(LiveReplies, ShardKeysOfACustomShardedCollection) {
    const std::string name = unique_name("replies_shards");
    drop_collection(name);
    run("CREATE COLLECTION " + name + " (v VECTOR(4, DOT)) WITH PARAMS (sharding_method = 'custom')");
    run("CREATE SHARD KEY 'eu' ON COLLECTION " + name);
    run("CREATE SHARD KEY 7 ON COLLECTION " + name);
    // A new shard key reaches the listing through consensus: wait for it, within bounds.
    protocol::BackendReply reply;
    for (int attempt = 0; attempt < 50; ++attempt) {
        reply = decode("SHOW SHARD KEYS ON COLLECTION " + name);
        if (reply.data && std::get<ExecData::ShardKeys>(reply.data->value).keys.size() == 2) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    // The server lists its keys in no fixed order; the decoder keeps whatever order it gets.
    ASSERT_TRUE(reply.data);
    std::vector<plan::PlanShardKey> keys = std::get<ExecData::ShardKeys>(reply.data->value).keys;
    std::ranges::sort(keys, [](const auto& a, const auto& b) { return a.index() > b.index(); });
    EXPECT_EQ(keys, (std::vector<plan::PlanShardKey>{std::string("eu"), std::uint64_t{7}}));
    drop_collection(name);
}

TEST_F(LiveReplies, QuotasReadBackAfterTheyAreSet) {
    protocol::BackendReply set = decode("SET QUOTA (ENABLED = true, release_margin_percent = 0) WAIT true");
    EXPECT_EQ(set.data, (ExecData{ExecData::Quotas{{.release_margin_percent = 0, .enabled = true}}}));
    protocol::BackendReply shown = decode("SHOW QUOTAS");
    ASSERT_TRUE(shown.data);
    const protocol::QuotaConfig config = std::get<ExecData::Quotas>(shown.data->value).config;
    EXPECT_EQ(config.enabled, true);
    EXPECT_EQ(config.release_margin_percent, 0U);
    decode("SET QUOTA (enabled = false) WAIT true");
    protocol::BackendReply after = decode("SHOW QUOTAS");
    ASSERT_TRUE(after.data);
    EXPECT_NE(std::get<ExecData::Quotas>(after.data->value).config.enabled, true);
}

}  // namespace
}  // namespace zorv::runtime::rest
