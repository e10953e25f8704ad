// BATCH calls that fail or answer the wrong number of replies: what "stop" and "continue" make of
// them, and which members are sent again alone.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/diagnostics.h"
#include "core/parser/parser.h"
#include "net/run_awaitable.h"
#include "plan/planner.h"
#include "runtime/executor/dispatch.h"
#include "runtime/executor/fault_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime {
namespace {

using protocol::StatementResult;
using rest::test::run;
using test::FaultBackend;

plan::PlanOp plan_of(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement) << text;
    auto op = plan::plan_statement(*statement);
    EXPECT_TRUE(op) << text << (op ? "" : "\n  " + core::format_error(op.error()));
    return op ? std::move(*op) : plan::PlanOp{};
}

struct Fixture {
    FaultBackend* backend = nullptr;
    std::shared_ptr<Executor> executor;
};

Fixture with_fault_backend() {
    auto backend = std::make_unique<FaultBackend>();
    Fixture out{backend.get(), nullptr};
    out.executor = build_executor(std::move(backend), ExecutorSettings{}, nullptr);
    return out;
}

AsyncResult<std::vector<StatementResult>> batch_results(Executor& executor, plan::PlanOp op, bool continue_on_error) {
    std::vector<StatementResult> results;
    auto sent = co_await execute_batch_op(executor, std::move(op), results, continue_on_error);
    if (!sent) co_return std::unexpected(std::move(sent).error());
    co_return results;
}

const core::ZorvError batch_down("ZORV-BACKEND-HTTP", "Qdrant returned 503 Service Unavailable: down",
                                 core::ErrorKind::Backend);

constexpr const char* mixed_batch =
    "BATCH { UPSERT INTO c VALUES {id: 1}; UPSERT INTO c VALUES {id: 2} UPDATE MODE insert_only; "
    "DELETE FROM c WHERE id = 3 }";

TEST(BatchFault, FailedCallUnderContinueResendsAllButConditionalUpserts) {
    auto f = with_fault_backend();
    f.backend->batch_answer = std::unexpected(batch_down);
    auto results = run(batch_results(*f.executor, plan_of(mixed_batch), true));
    ASSERT_TRUE(results) << core::format_error(results.error());

    EXPECT_EQ(f.backend->batch_calls, std::vector<std::string>{"update_batch c"});
    ASSERT_EQ(f.backend->executed.size(), 2u);
    EXPECT_EQ(f.backend->executed[0].kind(), plan::PlanOpKind::Upsert);
    EXPECT_EQ(f.backend->executed[1].kind(), plan::PlanOpKind::Delete);
    ASSERT_EQ(results->size(), 3u);
    EXPECT_TRUE((*results)[0].ok);
    EXPECT_EQ((*results)[0].message, "Upserted 1 point(s)");
    EXPECT_EQ((*results)[1], protocol::failed_statement_result("UPSERT", batch_down));
    EXPECT_TRUE((*results)[2].ok);
    EXPECT_EQ((*results)[2].operation, "DELETE");
}

TEST(BatchFault, FailedResendGetsItsOwnError) {
    auto f = with_fault_backend();
    f.backend->batch_answer = std::unexpected(batch_down);
    const core::ZorvError alone("ZORV-BACKEND-HTTP", "Qdrant returned 400 Bad Request: no", core::ErrorKind::Backend);
    f.backend->execute_failure = alone;
    auto results = run(batch_results(*f.executor, plan_of("BATCH { DELETE FROM c WHERE id = 3 }"), true));
    ASSERT_TRUE(results);
    EXPECT_EQ(*results, std::vector<StatementResult>{protocol::failed_statement_result("DELETE", alone)});
}

TEST(BatchFault, FailedCallUnderStopIsTheError) {
    auto f = with_fault_backend();
    f.backend->batch_answer = std::unexpected(batch_down);
    auto result = run(dispatch_operation(*f.executor, plan_of(mixed_batch)));
    ASSERT_FALSE(result);
    EXPECT_EQ(core::format_error(result.error()), core::format_error(batch_down));
    EXPECT_TRUE(f.backend->executed.empty());
}

TEST(BatchFault, ReplyCountMismatch) {
    struct Case {
        std::string batch;
        bool continue_on_error;
        std::string message;
    };
    const std::vector<Case> cases{
        {mixed_batch, false, "update batch returned 2 results for 3 operations"},
        {mixed_batch, true, "update batch returned 2 results for 3 operations"},
        {"BATCH { QUERY [1.0] FROM c; QUERY [2.0] FROM c; QUERY [3.0] FROM c }", false,
         "query batch returned 2 results for 3 operations"},
    };
    for (const Case& c : cases) {
        auto f = with_fault_backend();
        f.backend->batch_answer = std::vector<protocol::BackendReply>(2);
        auto results = run(batch_results(*f.executor, plan_of(c.batch), c.continue_on_error));
        const core::ZorvError expected("ZORV-BATCH-CARDINALITY", c.message, core::ErrorKind::Transport);
        EXPECT_TRUE(f.backend->executed.empty()) << "nothing is sent again";
        if (!c.continue_on_error) {
            ASSERT_FALSE(results);
            EXPECT_EQ(core::format_error(results.error()), core::format_error(expected));
            EXPECT_EQ(results.error().kind, core::ErrorKind::Transport);
            continue;
        }
        ASSERT_TRUE(results);
        EXPECT_EQ(*results, (std::vector<StatementResult>{protocol::failed_statement_result("UPSERT", expected),
                                                          protocol::failed_statement_result("UPSERT", expected),
                                                          protocol::failed_statement_result("DELETE", expected)}));
    }
}

TEST(BatchFault, OtherKindsAreRefused) {
    auto f = with_fault_backend();
    auto results = run(batch_results(*f.executor, plan_of("DELETE FROM c WHERE id = 1"), true));
    ASSERT_FALSE(results);
    EXPECT_EQ(core::format_error(results.error()),
              "[ZORV-BATCH-INVARIANT] execute_batch_op requires a Batch operation");
    EXPECT_TRUE(f.backend->batch_calls.empty());
}

}  // namespace
}  // namespace zorv::runtime
