// Point writes against a scripted Points server: the requests each mutation sends, and the
// statuses of single and batch replies that fail the call.
#include <google/protobuf/text_format.h>
#include <google/protobuf/util/message_differencer.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/parser/parser.h"
#include "plan/batch.h"
#include "plan/planner.h"
#include "runtime/grpc/fake_points_server.h"
#include "runtime/grpc/grpc_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime::rpc {
namespace {

using rest::test::run;

plan::PlanOp plan_of(std::string_view statement) {
    auto parsed = core::parse_statement(statement);
    EXPECT_TRUE(parsed) << statement;
    auto op = plan::plan_statement(*parsed);
    EXPECT_TRUE(op) << statement;
    return std::move(*op);
}

std::unique_ptr<Backend> backend_for(const test::FakePoints& fake) {
    auto backend = make_grpc_backend(fake.url(), std::nullopt);
    EXPECT_TRUE(backend);
    return std::move(*backend);
}

void expect_request(const google::protobuf::Message& got, const std::string& text) {
    std::unique_ptr<google::protobuf::Message> expected(got.New());
    ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(text, expected.get())) << text;
    EXPECT_TRUE(google::protobuf::util::MessageDifferencer::Equals(got, *expected)) << "got:\n"
                                                                                    << got.DebugString() << "want:\n"
                                                                                    << expected->DebugString();
}

struct RequestCase {
    std::string statement;
    std::string method;
    std::string request;  // text format; `ordering` and `timeout` never appear
};

TEST(GrpcMutationsFake, EachMutationSendsItsRequest) {
    const std::string uuid = "550e8400-e29b-41d4-a716-446655440000";
    const std::vector<RequestCase> cases{
        {"UPSERT INTO c VALUES {id: 1, vector: [1, 2], a: 'x'} WAIT true", "Upsert",
         R"(collection_name: "c" wait: true points { id { num: 1 } vectors { vector { dense { data: 1 data: 2 } } }
            payload { key: "a" value { string_value: "x" } } })"},
        {"UPSERT INTO c VALUES {id: 1, vector: [1, 2]} UPDATE FILTER v < 3 UPDATE MODE upsert SHARD 'eu' WAIT false",
         "Upsert",
         R"(collection_name: "c" wait: false points { id { num: 1 } vectors { vector { dense { data: 1 data: 2 } } } }
            shard_key_selector { shard_keys { keyword: "eu" } }
            update_filter { must { field { key: "v" range { lt: 3 } } } } update_mode: UPDATE_MODE_UPSERT)"},
        {"UPSERT INTO c VALUES {id: 2, vector: [1, 2]} UPDATE MODE insert_only SHARD 7 WAIT true", "Upsert",
         R"(collection_name: "c" wait: true points { id { num: 2 } vectors { vector { dense { data: 1 data: 2 } } } }
            shard_key_selector { shard_keys { number: 7 } } update_mode: UPDATE_MODE_INSERT_ONLY)"},
        {"DELETE FROM c WHERE id IN (1, '" + uuid + "')", "Delete",
         R"(collection_name: "c" wait: true points { points { ids { num: 1 } ids { uuid: ")" + uuid + R"(" } } })"},
        {"DELETE FROM c WHERE a = 1 WAIT false", "Delete",
         R"(collection_name: "c" wait: false points { filter { must { field { key: "a" match { integer: 1 } } } } })"},
        {"UPDATE c SET PAYLOAD = {a: 2} KEY 'm.n' WHERE id IN (3)", "SetPayload",
         R"(collection_name: "c" wait: true payload { key: "a" value { integer_value: 2 } }
            points_selector { points { ids { num: 3 } } } key: "m.n")"},
        {"UPDATE c SET PAYLOAD = {b: true} OVERWRITE WHERE b = false SHARD 'eu'", "OverwritePayload",
         R"(collection_name: "c" wait: true payload { key: "b" value { bool_value: true } }
            points_selector { filter { must { field { key: "b" match { boolean: false } } } } }
            shard_key_selector { shard_keys { keyword: "eu" } })"},
        {"CLEAR PAYLOAD FROM c WHERE id IN (4)", "ClearPayload",
         R"(collection_name: "c" wait: true points { points { ids { num: 4 } } })"},
        {"DELETE PAYLOAD a, b.c FROM c WHERE id IN (4)", "DeletePayload",
         R"(collection_name: "c" wait: true keys: "a" keys: "b.c" points_selector { points { ids { num: 4 } } })"},
        {"UPDATE c SET VECTOR VALUES {id: 5, vector: {d: [1, 2]}}", "UpdateVectors",
         R"(collection_name: "c" wait: true
            points { id { num: 5 } vectors { vectors { vectors { key: "d" value { dense { data: 1 data: 2 } } } } } })"},
        {"DELETE VECTOR b, a FROM c WHERE id IN (6) SHARD 7", "DeleteVectors",
         R"(collection_name: "c" wait: true points_selector { points { ids { num: 6 } } }
            vectors { names: "b" names: "a" } shard_key_selector { shard_keys { number: 7 } })"},
    };
    test::FakePoints fake;
    auto backend = backend_for(fake);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.statement);
        auto reply = run((*backend).execute(plan_of(c.statement)));
        ASSERT_TRUE(reply) << reply.error().message;
        EXPECT_EQ(reply->data, protocol::ExecData{protocol::ExecData::Mutation{}});
        const auto received = fake.received();
        ASSERT_FALSE(received.empty());
        EXPECT_EQ(received.back().method, c.method);
        expect_request(*received.back().request, c.request);
    }
    // Presence, not just value: an unnamed mode is absent, upsert is present as 0.
    EXPECT_FALSE(static_cast<const qdrant::UpsertPoints&>(*fake.received()[0].request).has_update_mode());
    EXPECT_TRUE(static_cast<const qdrant::UpsertPoints&>(*fake.received()[1].request).has_update_mode());
}

struct StatusCase {
    std::string name;
    std::string reply;    // PointsOperationResponse in text format
    std::string outcome;  // "" for success, else "CODE: message"
};

TEST(GrpcMutationsFake, SingleReplyStatusIsChecked) {
    const std::vector<StatusCase> cases{
        {"acknowledged", "result { status: UPDATE_STATUS_ACKNOWLEDGED } time: 0.5", ""},
        {"completed", "result { status: UPDATE_STATUS_COMPLETED } time: 0.5", ""},
        {"none", "result { status: UPDATE_STATUS_UNKNOWN }",
         "ZORV-BACKEND-ENVELOPE: upsert carries an unknown update status"},
        {"clock", "result { status: UPDATE_STATUS_CLOCK_REJECTED }",
         "ZORV-BACKEND-BATCH: upsert was rejected due to an outdated clock"},
        {"wait_timeout", "result { status: UPDATE_STATUS_WAIT_TIMEOUT }",
         "ZORV-BACKEND-BATCH: upsert was not confirmed before the server wait timeout (status: wait_timeout)"},
        {"unknown", "result { status: 99 }", "ZORV-BACKEND-ENVELOPE: upsert carries unknown status 99"},
        {"no_result", "time: 1", "ZORV-BACKEND-ENVELOPE: upsert response is missing its result"},
    };
    test::FakePoints fake;
    auto backend = backend_for(fake);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qdrant::PointsOperationResponse scripted;
        ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(c.reply, &scripted));
        fake.on_single([scripted](qdrant::PointsOperationResponse& reply) { reply = scripted; });
        auto reply = run((*backend).execute(plan_of("UPSERT INTO c VALUES {id: 1, vector: [1]} WAIT true")));
        if (c.outcome.empty()) {
            ASSERT_TRUE(reply) << reply.error().message;
            EXPECT_EQ(reply->telemetry, (protocol::Telemetry{0.5, std::nullopt}));
            continue;
        }
        ASSERT_FALSE(reply);
        EXPECT_EQ(reply.error().code + ": " + reply.error().message, c.outcome);
        EXPECT_EQ(reply.error().kind, core::ErrorKind::Backend);
    }
    fake.on_single(
        [](qdrant::PointsOperationResponse& reply) { reply.mutable_result()->set_status(qdrant::UpdateStatus(99)); });
    auto deleted = run((*backend).execute(plan_of("DELETE FROM c WHERE id IN (1)")));
    ASSERT_FALSE(deleted);
    EXPECT_EQ(deleted.error().message, "delete carries unknown status 99");
}

std::vector<plan::UpdateOperation> operations(const std::vector<std::string>& statements) {
    std::vector<plan::UpdateOperation> out;
    for (const auto& statement : statements) out.push_back(plan::to_update_operation(plan_of(statement))->second);
    return out;
}

TEST(GrpcMutationsFake, BatchSendsOneCallAndChecksEveryStatus) {
    const auto ops = operations({"UPSERT INTO c VALUES {id: 1, vector: [1]} UPDATE MODE update_only",
                                 "UPDATE c SET PAYLOAD = {a: 1} OVERWRITE WHERE id IN (1)"});
    const std::vector<std::pair<std::vector<int>, std::string>> cases{
        {{2, 1}, ""},
        {{2, 4},
         "ZORV-BACKEND-BATCH: update batch item was not confirmed before the server wait timeout (status: "
         "wait_timeout)"},
        {{0}, "ZORV-BACKEND-ENVELOPE: update batch item carries an unknown update status"},
        {{99}, "ZORV-BACKEND-ENVELOPE: update batch item carries unknown status 99"},
    };
    test::FakePoints fake;
    auto backend = backend_for(fake);
    for (const auto& [statuses, outcome] : cases) {
        SCOPED_TRACE(outcome);
        fake.on_batch([statuses](qdrant::UpdateBatchResponse& reply) {
            for (int status : statuses) reply.add_result()->set_status(qdrant::UpdateStatus(status));
            reply.set_time(1.0);
        });
        auto replies = run((*backend).update_batch("c", ops, false));
        if (outcome.empty()) {
            ASSERT_TRUE(replies) << replies.error().message;
            ASSERT_EQ(replies->size(), 2U);
            for (const auto& reply : *replies) {
                EXPECT_FALSE(reply.telemetry);
                EXPECT_EQ(reply.data, protocol::ExecData{protocol::ExecData::Mutation{}});
            }
            continue;
        }
        ASSERT_FALSE(replies);
        EXPECT_EQ(replies.error().code + ": " + replies.error().message, outcome);
    }
    ASSERT_EQ(fake.received().back().method, "UpdateBatch");
    expect_request(*fake.received().back().request,
                   R"(collection_name: "c" wait: false
                      operations { upsert { points { id { num: 1 } vectors { vector { dense { data: 1 } } } }
                                            update_mode: UPDATE_MODE_UPDATE_ONLY } }
                      operations { overwrite_payload { payload { key: "a" value { integer_value: 1 } }
                                                       points_selector { points { ids { num: 1 } } } } })");

    // A refused operation stops the batch before anything is sent.
    const std::size_t sent = fake.received().size();
    auto refused =
        run((*backend).update_batch("c",
                                    operations({"DELETE FROM c WHERE id IN (1)",
                                                "UPDATE c SET PAYLOAD = {n: 18446744073709551615} WHERE id IN (1)"}),
                                    true));
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().code, "ZORV-GRPC-VALUE-INT");
    EXPECT_EQ(fake.received().size(), sent);
}

}  // namespace
}  // namespace zorv::runtime::rpc
