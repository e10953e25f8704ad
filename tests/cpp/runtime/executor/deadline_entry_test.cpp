// The executor's deadline on EXPLAIN ANALYZE and the bulk upsert, against a server that is slow to
// answer.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "net/loopback_server.h"
#include "runtime/executor/analyze.h"
#include "runtime/executor/bulk_upsert.h"
#include "runtime/executor/proxied_executor.h"

namespace zorv::runtime::test {
namespace {

using rest::test::run;
using test_support::CannedReply;
using test_support::LoopbackServer;
using test_support::RecordedRequest;

// Collection information comes at once; everything else is answered after three seconds.
CannedReply slow_reply(const RecordedRequest& request) {
    if (request.method == "GET") {
        return CannedReply{.status = 200,
                           .body = R"({"result":{"status":"green","segments_count":1,"config":{"params":)"
                                   R"({"vectors":{"size":2,"distance":"Dot"}}}},"status":"ok","time":0.001})"};
    }
    return CannedReply{.status = 200,
                       .body = R"({"result":{"count":1},"status":"ok","time":0.1})",
                       .delay = std::chrono::seconds(3)};
}

std::shared_ptr<Executor> one_second_executor(const LoopbackServer& server) {
    auto url = "http://127.0.0.1:" + std::to_string(server.port());
    return build_executor(rest_backend_at(url), ExecutorSettings{.timeout_secs = 1}, nullptr);
}

void expect_timeout(const core::ZorvError& error) {
    EXPECT_EQ(error.code, "ZORV-TIMEOUT") << core::format_error(error);
    EXPECT_EQ(error.message, "operation timed out after 1s");
}

TEST(ExecutorDeadline, EndsExplainAnalyze) {
    LoopbackServer server(slow_reply);
    auto exec = one_second_executor(server);
    auto report = run(explain_analyze(*exec, "COUNT FROM c"), std::chrono::seconds(10));
    ASSERT_FALSE(report);
    expect_timeout(report.error());
}

// A passed deadline ends the bulk upsert even under on_error "continue".
TEST(ExecutorDeadline, EndsTheBulkUpsertUnderContinue) {
    LoopbackServer server(slow_reply);
    auto exec = one_second_executor(server);
    std::vector<core::Literal> rows{core::Literal::dict({{"id", core::Literal::uint64(1)}}),
                                    core::Literal::dict({{"id", core::Literal::uint64(2)}})};
    auto report = run(upsert_many(*exec, "c", std::move(rows), 1, true), std::chrono::seconds(10));
    ASSERT_FALSE(report);
    expect_timeout(report.error());
}

}  // namespace
}  // namespace zorv::runtime::test
