// Faults a real server does not produce on demand: a batch reply with one item too few.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/error.h"
#include "runtime/executor.h"
#include "runtime/executor/runs.h"
#include "runtime/rest/rest_fixture.h"

namespace zorv::runtime {
namespace {

core::ZorvError unused() { return core::ZorvError("ZORV-TEST", "not used by these tests", core::ErrorKind::Execution); }

// A collection "c" with one unnamed 2-d vector; batch calls answer one reply short.
class ShortBatchBackend : public Backend {
public:
    mutable std::atomic<int> batch_calls{0};
    mutable std::atomic<int> single_calls{0};

    AsyncResult<std::vector<std::string>> list_collections() const override { co_return std::unexpected(unused()); }
    AsyncResult<bool> collection_exists(std::string) const override { co_return true; }
    AsyncResult<protocol::CollectionSchema> collection_info(std::string) const override {
        protocol::CollectionSchema schema;
        schema.status = "green";
        protocol::DenseVectorInfo vector;
        vector.size = 2;
        schema.schema.vectors.push_back(vector);
        co_return schema;
    }
    AsyncResult<void> create_collection(std::string, plan::PlanCollectionConfig) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> update_collection(std::string, plan::PlanCollectionUpdate) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> delete_collection(std::string) const override { co_return std::unexpected(unused()); }
    AsyncResult<void> create_field_index(std::string, plan::PlanFieldIndex) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<void> delete_field_index(std::string, std::string) const override {
        co_return std::unexpected(unused());
    }
    AsyncResult<protocol::BackendReply> execute(plan::PlanOp) const override {
        ++single_calls;
        co_return protocol::BackendReply{};
    }
    AsyncResult<std::vector<protocol::BackendReply>> query_batch(std::string,
                                                                 std::vector<plan::PlanQueryRequest> searches,
                                                                 std::optional<std::uint64_t>,
                                                                 std::optional<plan::Consistency>) const override {
        ++batch_calls;
        co_return std::vector<protocol::BackendReply>(searches.size() - 1);
    }
    AsyncResult<std::vector<protocol::BackendReply>> update_batch(std::string,
                                                                  const std::vector<plan::UpdateOperation>& operations,
                                                                  bool) const override {
        ++batch_calls;
        co_return std::vector<protocol::BackendReply>(operations.size() - 1);
    }
    AsyncResult<void> update_aliases(std::vector<AliasAction>) const override { co_return std::unexpected(unused()); }
};

struct ShortBatchCase {
    std::string name;
    std::string script;
    std::string error;
    std::vector<std::string> operations;  // of the failed results under "continue"
};

void PrintTo(const ShortBatchCase& c, std::ostream* os) { *os << c.name; }

class ShortBatchReply : public ::testing::TestWithParam<ShortBatchCase> {};

TEST_P(ShortBatchReply, StopRaisesContinueRecordsEveryMemberAndSendsNothingAgain) {
    const ShortBatchCase& c = GetParam();
    for (const bool continue_on_error : {false, true}) {
        SCOPED_TRACE(continue_on_error ? "continue" : "stop");
        auto owned = std::make_unique<ShortBatchBackend>();
        const ShortBatchBackend& backend = *owned;
        auto executor = build_executor(std::move(owned), ExecutorSettings{}, nullptr);
        auto report = rest::test::run(execute_script(*executor, c.script, continue_on_error));

        EXPECT_EQ(backend.batch_calls.load(), 1);
        EXPECT_EQ(backend.single_calls.load(), 0);
        if (!continue_on_error) {
            ASSERT_FALSE(report);
            EXPECT_EQ(core::format_error(report.error()), c.error);
            EXPECT_EQ(report.error().kind, core::ErrorKind::Transport);
            continue;
        }
        ASSERT_TRUE(report) << core::format_error(report.error());
        ASSERT_EQ(report->results.size(), c.operations.size());
        EXPECT_EQ(report->failed, c.operations.size());
        for (std::size_t i = 0; i < c.operations.size(); ++i) {
            EXPECT_FALSE(report->results[i].ok);
            EXPECT_EQ(report->results[i].operation, c.operations[i]);
            EXPECT_EQ(report->results[i].message, c.error);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ShortBatchReply,
    ::testing::Values(
        ShortBatchCase{"query",
                       "QUERY [1, 2] FROM c LIMIT 3; QUERY [1, 2] FROM c LIMIT 3; QUERY [1, 2] FROM c LIMIT 3",
                       "[ZORV-BATCH-CARDINALITY] query batch returned 2 results for 3 operations",
                       {"QUERY", "QUERY", "QUERY"}},
        ShortBatchCase{"update",
                       "UPSERT INTO c VALUES {id: 1, vector: [0.5, 0.5]} WAIT true; DELETE FROM c WHERE id = 2; "
                       "UPDATE c SET PAYLOAD = {a: 1} OVERWRITE WHERE id = 1",
                       "[ZORV-BATCH-CARDINALITY] update batch returned 2 results for 3 operations",
                       {"UPSERT", "DELETE", "OVERWRITE_PAYLOAD"}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace zorv::runtime
