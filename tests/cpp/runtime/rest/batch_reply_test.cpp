#include "runtime/rest/batch_reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/rest/reply_test_support.h"

namespace zorv::runtime::rest {
namespace {

using protocol::ExecData;
using protocol::ScoredPoint;
using protocol::Telemetry;
using test_support::expect_envelope_error;
using test_support::expect_failure;
using test_support::FailCase;
using test_support::parse;

core::Result<std::vector<protocol::BackendReply>> query_batch(std::string_view result) {
    const JsonDocument doc = parse(result);
    return decode_query_batch_reply(doc.root());
}

core::Result<std::vector<protocol::BackendReply>> update_batch(std::string_view result) {
    const JsonDocument doc = parse(result);
    return decode_update_batch_reply(doc.root());
}

TEST(QueryBatchReply, OneReplyPerMemberWithItsOwnTelemetry) {
    auto replies = query_batch(R"([{"points": [{"id": 1, "score": 0.5}], "time": 0.25},
                                   {"points": [], "usage": {"hardware": {"cpu": 2}}, "extra": 1}])");
    ASSERT_TRUE(replies.has_value()) << replies.error().message;
    ASSERT_EQ(replies->size(), 2U);
    const ExecData first{ExecData::Hits{{ScoredPoint{.id = std::uint64_t{1}, .score = 0.5}}}};
    EXPECT_EQ((*replies)[0].data, first);
    EXPECT_EQ((*replies)[0].telemetry, Telemetry{.time_s = 0.25});
    EXPECT_EQ((*replies)[1].data, ExecData{ExecData::Hits{}});
    EXPECT_EQ((*replies)[1].telemetry,
              (Telemetry{.usage = protocol::Usage{.hardware = protocol::HardwareUsage{.cpu = 2}}}));
    auto empty = query_batch("[]");
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->empty());
}

class QueryBatchFault : public testing::TestWithParam<FailCase> {};

TEST_P(QueryBatchFault, FailsWithItsMessage) {
    expect_envelope_error(query_batch(GetParam().json), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, QueryBatchFault,
    testing::Values(FailCase{R"({"points": []})", "query batch response is missing result as an array"},
                    FailCase{"null", "query batch response is missing result as an array"},
                    FailCase{R"([{"points": []}, {"hits": []}])", "query batch item is missing points as an array"},
                    FailCase{"[5]", "query batch item is missing points as an array"},
                    FailCase{R"([{"points": [{"id": 1.5}]}])", "point id 1.5 is not an unsigned integer"}));

TEST(UpdateBatchReply, AcknowledgedAndCompletedAreMutations) {
    auto replies = update_batch(R"([{"status": "completed", "operation_id": 3, "time": 1},
                                    {"status": "acknowledged"}])");
    ASSERT_TRUE(replies.has_value()) << replies.error().message;
    ASSERT_EQ(replies->size(), 2U);
    for (const auto& reply : *replies) {
        EXPECT_EQ(reply.data, ExecData{ExecData::Mutation{}});
        EXPECT_FALSE(reply.telemetry);  // a member's time is not read
    }
}

TEST(UpdateBatchReply, WaitTimeoutIsNotASuccess) {
    expect_failure(update_batch(R"([{"status": "completed"}, {"status": "wait_timeout"}])"), "ZORV-BACKEND-BATCH",
                   core::ErrorKind::Backend,
                   "update batch item was not confirmed before the server wait timeout (status: wait_timeout)");
}

class UpdateBatchFault : public testing::TestWithParam<FailCase> {};

TEST_P(UpdateBatchFault, FailsWithItsMessage) {
    expect_envelope_error(update_batch(GetParam().json), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UpdateBatchFault,
    testing::Values(
        FailCase{R"({"status": "completed"})", "update batch response is missing result as an array"},
        FailCase{R"(["completed"])", "update batch item is not an object"},
        FailCase{R"([{"status": 1}])", "update batch item is missing a string status"},
        FailCase{"[{}]", "update batch item is missing a string status"},
        FailCase{
            R"([{"status": "Completed"}])",
            "update batch item status 'Completed' is not a valid UpdateStatus (acknowledged|completed|wait_timeout)"}));

TEST(CollectionExists, AnyStringStatusIsTrue) {
    for (const char* text :
         {R"({"result": {"status": "red"}, "status": "ok"})", R"({"result": {"status": "green"}})"}) {
        const JsonDocument doc = parse(text);
        auto exists = decode_collection_exists(doc.root());
        ASSERT_TRUE(exists.has_value()) << text;
        EXPECT_TRUE(*exists);
    }
    for (const FailCase& c :
         {FailCase{R"({"result": {}})", "collection info is missing a string status"},
          FailCase{R"({"result": {"status": null}})", "collection info is missing a string status"},
          FailCase{R"({"result": true})", "get collection response is missing a result object with a string status"},
          FailCase{"[]", "get collection response is missing a result object with a string status"}}) {
        const JsonDocument doc = parse(c.json);
        expect_envelope_error(decode_collection_exists(doc.root()), c.message);
    }
}

}  // namespace
}  // namespace zorv::runtime::rest
