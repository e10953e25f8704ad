// Preparation when the server misbehaves: which failures a statement survives and which it
// returns, and the nesting limit on a query that needs the collection's vector names.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/fmt/statement.h"
#include "core/parser/parser.h"
#include "runtime/executor.h"
#include "runtime/executor/prepare.h"
#include "runtime/rest/rest_fixture.h"
#include "test_support.h"

namespace zorv::runtime {
namespace {

core::ZorvError server_down() {
    return core::ZorvError("ZORV-TRANSPORT-CONNECT", "connection refused", core::ErrorKind::Transport);
}

// Knows one collection "c" with one named dense vector "v" of size 2, or fails every lookup.
class FaultyBackend : public Backend {
public:
    bool failing = false;
    mutable std::vector<std::string> calls;

    AsyncResult<std::vector<std::string>> list_collections() const override { co_return refuse("list_collections"); }
    AsyncResult<bool> collection_exists(std::string) const override {
        calls.emplace_back("collection_exists");
        if (failing) co_return std::unexpected(server_down());
        co_return true;
    }
    AsyncResult<protocol::CollectionSchema> collection_info(std::string) const override {
        calls.emplace_back("collection_info");
        if (failing) co_return std::unexpected(server_down());
        protocol::CollectionSchema schema;
        schema.schema.vectors.push_back(protocol::DenseVectorInfo{.name = "v", .size = 2});
        schema.schema.dense_vectors.emplace_back("v");
        co_return schema;
    }
    AsyncResult<void> create_collection(std::string, plan::PlanCollectionConfig) const override {
        co_return refuse("create_collection");
    }
    AsyncResult<void> update_collection(std::string, plan::PlanCollectionUpdate) const override {
        co_return refuse("update_collection");
    }
    AsyncResult<void> delete_collection(std::string) const override { co_return refuse("delete_collection"); }
    AsyncResult<void> create_field_index(std::string, plan::PlanFieldIndex) const override {
        co_return refuse("create_field_index");
    }
    AsyncResult<void> delete_field_index(std::string, std::string) const override {
        co_return refuse("delete_field_index");
    }
    AsyncResult<protocol::BackendReply> execute(plan::PlanOp) const override { co_return refuse("execute"); }
    AsyncResult<std::vector<protocol::BackendReply>> query_batch(std::string, std::vector<plan::PlanQueryRequest>,
                                                                 std::optional<std::uint64_t>,
                                                                 std::optional<plan::Consistency>) const override {
        co_return refuse("query_batch");
    }
    AsyncResult<std::vector<protocol::BackendReply>> update_batch(std::string,
                                                                  const std::vector<plan::UpdateOperation>&,
                                                                  bool) const override {
        co_return refuse("update_batch");
    }
    AsyncResult<void> update_aliases(std::vector<AliasAction>) const override { co_return refuse("update_aliases"); }

private:
    std::unexpected<core::ZorvError> refuse(const char* operation) const {
        calls.emplace_back(operation);
        return std::unexpected(core::ZorvError("ZORV-TEST", "not expected here", core::ErrorKind::Execution));
    }
};

struct FaultCase {
    std::string statement;
    bool failing;
    std::string prepared;  // canonical text, the expected error's code, or "" for unchanged
    std::vector<std::string> calls;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.statement; }

std::string nested_prefetch(std::size_t levels) {
    return "QUERY [0.1, 0.2] FROM c" + core::test_support::repeat(" PREFETCH (QUERY [0.1, 0.2]", levels) +
           core::test_support::repeat(")", levels);
}

class PrepareFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(PrepareFaults, PrepareOutcome) {
    const FaultCase& c = GetParam();
    auto backend = std::make_unique<FaultyBackend>();
    backend->failing = c.failing;
    const FaultyBackend& seen = *backend;
    auto executor = build_executor(std::move(backend), ExecutorSettings{}, nullptr);
    auto out = rest::test::run(prepare_statement(*executor, core::test_support::must_parse(c.statement)));
    const std::string unchanged = core::format_statement(core::test_support::must_parse(c.statement));
    if (out) EXPECT_EQ(core::format_statement(*out), c.prepared.empty() ? unchanged : c.prepared);
    else EXPECT_EQ(out.error().code, c.prepared) << out.error().message;
    EXPECT_EQ(seen.calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrepareFaults,
    ::testing::Values(
        // Unnamed row vectors go to the single named vector; an unreachable server leaves them as written.
        FaultCase{"UPSERT INTO c VALUES {id: 1, vector: [1.0, 2.0]}",
                  false,
                  "UPSERT INTO c VALUES {id: 1, vector: {v: [1.0, 2.0]}}",
                  {"collection_exists", "collection_info"}},
        FaultCase{"UPSERT INTO c VALUES {id: 1, vector: [1.0, 2.0]}", true, "", {"collection_exists"}},
        // An embedding clause cannot go on without the collection.
        FaultCase{"UPSERT INTO c VALUES {id: 1, body: 'x'} USING DENSE",
                  true,
                  "ZORV-TRANSPORT-CONNECT",
                  {"collection_exists"}},
        // Text under content, body or text (any case) asks for embedding targets; under another key it does not.
        FaultCase{"UPSERT INTO c VALUES {id: 1, BODY: 'x'}", true, "ZORV-TRANSPORT-CONNECT", {"collection_exists"}},
        FaultCase{"UPSERT INTO c VALUES {id: 1, title: 'x', text: ''}", true, "", {}},
        FaultCase{"QUERY [0.1, 0.2] FROM c LIMIT 1", true, "ZORV-TRANSPORT-CONNECT", {"collection_info"}},
        // The limit holds without an embedder too.
        FaultCase{nested_prefetch(65), false, "ZORV-VALIDATION-NESTING", {"collection_info"}},
        // A settled target, a query without FROM and a BATCH ask the server nothing.
        FaultCase{"QUERY {indices: [1], values: [0.5]} FROM c USING s AS SPARSE", true, "", {}},
        FaultCase{"BATCH { UPSERT INTO c VALUES {id: 1, vector: [1.0, 2.0]}; }", true, "", {}}));

}  // namespace
}  // namespace zorv::runtime
