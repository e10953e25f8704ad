// A candidate search whose reply is not a hit list ends the rerank before any scoring.
#include "runtime/executor/cross_rerank.h"

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "core/parser/parser.h"
#include "embed/fake_embedder.h"
#include "plan/planner.h"
#include "runtime/executor/fault_backend.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime {
namespace {

TEST(CrossRerankFault, NonHitsCandidateReply) {
    auto backend = std::make_unique<test::FaultBackend>();  // answers every execute with a mutation
    test::FaultBackend* fault = backend.get();
    auto embedder = std::make_shared<embed::test_support::FakeEmbedder>();
    auto executor = build_executor(std::move(backend), ExecutorSettings{}, embedder);
    auto op = plan::plan_statement(*core::parse_statement(
        "QUERY CROSS RERANK 'q' MODEL 'ce' FROM c PREFETCH (QUERY [1.0] FROM other LIMIT 5, QUERY [1.0] LIMIT 5)"));
    ASSERT_TRUE(op);

    auto result = rest::test::run(cross_rerank(*executor, std::move(op->get<plan::PlanOpKind::CrossRerank>())));
    ASSERT_FALSE(result);
    EXPECT_EQ(core::format_error(result.error()),
              "[ZORV-BACKEND-ENVELOPE] CROSS RERANK candidate query on 'other' returned a non-hits response");
    EXPECT_EQ(result.error().kind, core::ErrorKind::Backend);
    EXPECT_EQ(fault->executed.size(), 1u);
    EXPECT_TRUE(embedder->calls.empty());
}

}  // namespace
}  // namespace zorv::runtime
