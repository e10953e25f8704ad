#include <google/protobuf/text_format.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/parser/parser.h"
#include "plan/planner.h"
#include "runtime/grpc/fake_read_server.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rpc {
namespace {

using protocol::ExecData;
using rest::test::run;

plan::PlanOp plan_of(std::string_view statement) {
    auto parsed = core::parse_statement(statement);
    EXPECT_TRUE(parsed.has_value()) << statement;
    auto op = plan::plan_statement(*parsed);
    EXPECT_TRUE(op.has_value()) << statement;
    return std::move(*op);
}

// A script that answers with the reply written in protobuf text form.
template <class Reply>
test::FakeReadPoints::Script<Reply> answer(std::string text) {
    return [text = std::move(text)](Reply& reply) {
        EXPECT_TRUE(google::protobuf::TextFormat::ParseFromString(text, &reply)) << text;
        return ::grpc::Status::OK;
    };
}

class GrpcReadFake : public ::testing::Test {
protected:
    void SetUp() override {
        auto made = make_grpc_backend(fake_.url(), std::nullopt);
        ASSERT_TRUE(made.has_value());
        backend_ = std::move(*made);
    }
    core::Result<protocol::BackendReply> execute(std::string_view statement) {
        return run(backend_->execute(plan_of(statement)));
    }

    test::FakeReadPoints fake_;
    std::unique_ptr<Backend> backend_;
};

TEST_F(GrpcReadFake, ReplyFaultsFailWithTheirMessage) {
    struct Case {
        std::string_view statement;
        std::function<void(test::FakeReadPoints&)> script;
        std::string_view code;
        std::string_view message;
    };
    const std::string_view query = "QUERY [1] FROM c WITH PAYLOAD true LIMIT 3";
    const std::string_view groups = "QUERY [1] FROM c GROUP BY g LIMIT 3";
    const std::vector<Case> cases = {
        {query,
         [](auto& f) { f.query = answer<qdrant::QueryResponse>("result { id { num: 1 } } result { score: 1 }"); },
         "ZORV-BACKEND-ENVELOPE", "point is missing its id"},
        {query, [](auto& f) { f.query = answer<qdrant::QueryResponse>("result { id { } }"); }, "ZORV-BACKEND-ENVELOPE",
         "point id carries neither num nor uuid"},
        {query, [](auto& f) { f.query = answer<qdrant::QueryResponse>("result { id { num: 1 } vectors { } }"); },
         "ZORV-BACKEND-ENVELOPE", "vectors output carries no vector options"},
        {query,
         [](auto& f) {
             f.query = answer<qdrant::QueryResponse>("result { id { num: 1 } vectors { vector { data: 1 data: 2 } } }");
         },
         "ZORV-BACKEND-ENVELOPE", "vector output carries no vector"},
        {query,
         [](auto& f) {
             f.query = answer<qdrant::QueryResponse>(
                 "result { id { num: 1 } vectors { vectors { vectors { key: \"a\" value { data: 1 } } } } }");
         },
         "ZORV-BACKEND-ENVELOPE", "vector output carries no vector"},
        {groups, [](auto& f) { f.query_groups = answer<qdrant::QueryGroupsResponse>("time: 0.5"); }, "ZORV-GRPC",
         "missing groups result"},
        {groups, [](auto& f) { f.query_groups = answer<qdrant::QueryGroupsResponse>("result { groups { } }"); },
         "ZORV-BACKEND-ENVELOPE", "group is missing its id"},
        {groups, [](auto& f) { f.query_groups = answer<qdrant::QueryGroupsResponse>("result { groups { id { } } }"); },
         "ZORV-BACKEND-ENVELOPE", "group id carries no value"},
        {groups,
         [](auto& f) {
             f.query_groups = answer<qdrant::QueryGroupsResponse>(
                 "result { groups { id { integer_value: -1 } hits { id { num: 1 } } hits { score: 1 } } }");
         },
         "ZORV-BACKEND-ENVELOPE", "point is missing its id"},
        {"COUNT FROM c", [](auto& f) { f.count = answer<qdrant::CountResponse>("time: 0.5"); }, "ZORV-BACKEND-ENVELOPE",
         "count response is missing its result"},
        {"FACET city FROM c",
         [](auto& f) {
             f.facet =
                 answer<qdrant::FacetResponse>("hits { value { string_value: \"x\" } count: 2 } hits { count: 1 }");
         },
         "ZORV-BACKEND-ENVELOPE", "facet hit is missing its value"},
        {"FACET city FROM c", [](auto& f) { f.facet = answer<qdrant::FacetResponse>("hits { value { } count: 1 }"); },
         "ZORV-BACKEND-ENVELOPE", "facet hit is missing its value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.statement) + " -> " + std::string(c.message));
        c.script(fake_);
        auto reply = execute(c.statement);
        ASSERT_FALSE(reply.has_value());
        EXPECT_EQ(reply.error().code, c.code);
        EXPECT_EQ(reply.error().message, c.message);
        EXPECT_EQ(reply.error().kind, core::ErrorKind::Backend);
        EXPECT_TRUE(reply.error().fields.empty());
    }
}

TEST_F(GrpcReadFake, RepliesBecomeHitsGroupsCountsAndFacets) {
    fake_.query = answer<qdrant::QueryResponse>(
        "result { id { uuid: \"550E8400-e29b-41d4-a716-446655440000\" } score: 0.1 "
        "  payload { key: \"z\" value { double_value: nan } } payload { key: \"a\" value { struct_value { fields { "
        "    key: \"y\" value { integer_value: -3 } } fields { key: \"b\" value { list_value { values { "
        "    double_value: inf } values { bool_value: true } } } } } } } "
        "  vectors { vectors { vectors { key: \"b\" value { sparse { values: 0.5 indices: 9 indices: 2 } } } "
        "    vectors { key: \"a\" value { multi_dense { vectors { data: 1 } vectors { data: 2 data: 3 } } } } } } } "
        "result { id { num: 7 } score: 2 } time: 0.25 usage { hardware { cpu: 5 } }");
    auto hits = execute("QUERY [1] FROM c WITH PAYLOAD true LIMIT 3");
    ASSERT_TRUE(hits.has_value()) << hits.error().message;
    ASSERT_TRUE(hits->telemetry.has_value());
    EXPECT_EQ(hits->telemetry->time_s, 0.25);
    ASSERT_TRUE(hits->telemetry->usage && hits->telemetry->usage->hardware);
    EXPECT_EQ(hits->telemetry->usage->hardware->cpu, 5U);
    const auto& points = std::get<ExecData::Hits>(hits->data->value).points;
    ASSERT_EQ(points.size(), 2U);
    EXPECT_EQ(points[0].id, plan::PlanPointId(std::string("550E8400-e29b-41d4-a716-446655440000")));
    EXPECT_EQ(points[0].score, 0.1);
    plan::JsonObject nested;
    nested.insert_or_assign("b", plan::JsonValue(plan::JsonArray{plan::JsonValue(nullptr), plan::JsonValue(true)}));
    nested.insert_or_assign("y", plan::JsonValue(std::int64_t{-3}));
    EXPECT_EQ(points[0].payload,
              (protocol::HitPayload{{"a", plan::JsonValue(std::move(nested))}, {"z", plan::JsonValue(nullptr)}}));
    const auto& named = std::get<protocol::NamedHitVectors>(*points[0].vector);
    ASSERT_EQ(named.size(), 2U);
    EXPECT_EQ(named.begin()->first, "a");
    EXPECT_EQ(named.at("a"), (core::VectorValue{core::VectorValue::MultiDense{{{1}, {2, 3}}}}));
    EXPECT_EQ(named.at("b"), (core::VectorValue{core::VectorValue::Sparse{{9, 2}, {0.5F}}}));
    // Asked for: an empty map is an empty payload, not none.
    EXPECT_EQ(points[1].payload, protocol::HitPayload{});
    EXPECT_FALSE(points[1].vector.has_value());

    auto bare = execute("QUERY [1] FROM c WITH PAYLOAD false LIMIT 3");
    ASSERT_TRUE(bare.has_value());
    EXPECT_FALSE(std::get<ExecData::Hits>(bare->data->value).points[0].payload.has_value());

    fake_.query_groups = answer<qdrant::QueryGroupsResponse>(
        "result { groups { id { integer_value: -4 } hits { id { num: 1 } score: 0.5 } lookup { id { num: 9 } } } "
        "groups { id { unsigned_value: 18446744073709551615 } } groups { id { string_value: \"x\" } } }");
    auto grouped = execute("QUERY [1] FROM c GROUP BY g LIMIT 3");
    ASSERT_TRUE(grouped.has_value()) << grouped.error().message;
    const auto& groups = std::get<ExecData::Groups>(grouped->data->value).groups;
    ASSERT_EQ(groups.size(), 3U);
    EXPECT_EQ(groups[0].id, protocol::GroupId(std::int64_t{-4}));
    EXPECT_EQ(groups[0].hits.size(), 1U);
    EXPECT_EQ(groups[1].id, protocol::GroupId(std::uint64_t{18446744073709551615ULL}));
    EXPECT_EQ(groups[2].id, protocol::GroupId(std::string("x")));

    fake_.facet = answer<qdrant::FacetResponse>(
        "hits { value { string_value: \"x\" } count: 2 } hits { value { integer_value: -1 } count: 1 } "
        "hits { value { bool_value: false } count: 5 }");
    auto facet = execute("FACET city FROM c");
    ASSERT_TRUE(facet.has_value());
    EXPECT_EQ(std::get<ExecData::Facet>(facet->data->value).hits,
              (std::vector<protocol::FacetHit>{{std::string("x"), 2}, {std::int64_t{-1}, 1}, {false, 5}}));

    fake_.scroll = answer<qdrant::ScrollResponse>("result { id { num: 3 } } next_page_offset { num: 4 }");
    auto page = execute("SCROLL FROM c LIMIT 1");
    ASSERT_TRUE(page.has_value());
    const auto& scrolled = std::get<ExecData::Hits>(page->data->value).points;
    ASSERT_EQ(scrolled.size(), 1U);
    EXPECT_EQ(scrolled[0].score, 0.0);
}

TEST_F(GrpcReadFake, BatchRepliesCarryNoTimeOrUsage) {
    fake_.query_batch = answer<qdrant::QueryBatchResponse>(
        "result { result { id { num: 1 } score: 1 } } result { } time: 2 "
        "usage { hardware { cpu: 5 } }");
    plan::PlanQueryRequest request = plan_of("QUERY [1] FROM c LIMIT 3").get<plan::PlanOpKind::Query>().request;
    std::vector<plan::PlanQueryRequest> requests{request, request, request};
    auto replies = run(backend_->query_batch("c", requests, std::nullopt, std::nullopt));
    ASSERT_TRUE(replies.has_value()) << replies.error().message;
    // Two entries for three requests: the executor, not the transport, reports the mismatch.
    ASSERT_EQ(replies->size(), 2U);
    EXPECT_EQ(std::get<ExecData::Hits>((*replies)[0].data->value).points.size(), 1U);
    EXPECT_TRUE(std::get<ExecData::Hits>((*replies)[1].data->value).points.empty());
    for (const auto& reply : *replies) EXPECT_FALSE(reply.telemetry.has_value());

    fake_.query_batch = answer<qdrant::QueryBatchResponse>("result { } result { result { score: 1 } }");
    auto failed = run(backend_->query_batch("c", requests, std::nullopt, std::nullopt));
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().message, "point is missing its id");
}

// A statement's own time limit outlasts the default deadline by five seconds; the default holds
// for shorter ones.
TEST_F(GrpcReadFake, DeadlineFollowsTheStatementTimeout) {
    fake_.query = answer<qdrant::QueryResponse>("");
    fake_.query_groups = answer<qdrant::QueryGroupsResponse>("result { }");
    fake_.query_batch = answer<qdrant::QueryBatchResponse>("");
    ASSERT_TRUE(execute("QUERY [1] FROM c PARAMS (timeout = 40) LIMIT 3").has_value());
    ASSERT_TRUE(execute("QUERY [1] FROM c PARAMS (timeout = 40) GROUP BY g LIMIT 3").has_value());
    ASSERT_TRUE(run(backend_->query_batch("c", {}, 40, std::nullopt)).has_value());
    ASSERT_TRUE(execute("QUERY [1] FROM c PARAMS (timeout = 2) LIMIT 3").has_value());
    ASSERT_TRUE(execute("QUERY [1] FROM c LIMIT 3").has_value());
    const auto deadlines = fake_.deadlines();
    ASSERT_EQ(deadlines.size(), 5U);
    const std::vector<int> expected_s = {45, 45, 45, 30, 30};
    for (std::size_t i = 0; i < deadlines.size(); ++i) {
        SCOPED_TRACE(i);
        // The server sees the deadline through the wire's rounding and the time in transit.
        EXPECT_NEAR(static_cast<double>(deadlines[i].count()), expected_s[i] * 1000.0, 2000.0);
    }
}

}  // namespace
}  // namespace zorv::runtime::rpc
