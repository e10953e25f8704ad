// Batch keys, the executor's pending run, the query and update batch builders, and BATCH.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/parser/parser.h"
#include "plan/batch.h"
#include "plan/planner.h"

namespace zorv::plan {
namespace {

core::Statement must_parse(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement) << text << ": " << (statement ? "" : core::format_error(statement.error()));
    return statement ? std::move(*statement) : core::Statement{};
}

PlanOp query(std::string collection, std::optional<std::uint64_t> timeout = std::nullopt,
             std::optional<Consistency> consistency = std::nullopt) {
    return make_op<PlanOpKind::Query>(QueryOp{std::move(collection), {}, timeout, consistency});
}

PlanOp remove(std::string collection, bool wait, std::uint64_t id = 1) {
    PlanPointsSelector selector;
    selector.points = std::vector<PlanPointId>{id};
    return make_op<PlanOpKind::Delete>(PointSelectionOp{std::move(collection), wait, std::move(selector)});
}

TEST(StatementBatchKey, SameKeyDecidesTheRun) {
    struct Case {
        const char* first;
        const char* second;
        bool same;
    };
    for (const Case& c : {
             Case{"QUERY [1.0] FROM a", "QUERY [2.0] FROM a LIMIT 3", true},
             Case{"QUERY [1.0] FROM a", "QUERY [1.0] FROM A", false},
             Case{"QUERY [1.0] FROM a PARAMS (timeout = 5)", "QUERY [1.0] FROM a", false},
             Case{"QUERY [1.0] FROM a PARAMS (consistency = 2)", "QUERY [1.0] FROM a PARAMS (consistency = 3)", false},
             Case{"QUERY [1.0] FROM a PARAMS (consistency = majority)",
                  "QUERY [1.0] FROM a PARAMS (consistency = majority, hnsw_ef = 8)", true},
             Case{"UPSERT INTO a VALUES {id: 1}", "DELETE FROM a WHERE id = 1", false},
             Case{"UPSERT INTO a VALUES {id: 1} WAIT true", "DELETE FROM a WHERE id = 1", true},
             Case{"UPDATE a SET PAYLOAD = {x: 1} OVERWRITE WHERE id = 1", "UPDATE a SET PAYLOAD = {x: 1} WHERE id = 2",
                  true},
             Case{"DELETE FROM a WHERE id = 1", "QUERY [1.0] FROM a", false},
         }) {
        const auto first = statement_batch_key(must_parse(c.first));
        const auto second = statement_batch_key(must_parse(c.second));
        ASSERT_TRUE(first && second) << c.first << " / " << c.second;
        EXPECT_EQ(*first == *second, c.same) << c.first << " / " << c.second;
    }
}

TEST(StatementBatchKey, StatementsThatRunAlone) {
    for (const char* text : {
             "QUERY [1.0] FROM a GROUP BY g LIMIT 3",
             "QUERY POINTS (1, 2) FROM a",
             "QUERY CROSS RERANK 'q' MODEL 'm' FROM a PREFETCH (QUERY [1.0] LIMIT 5) LIMIT 3",
             "SCROLL FROM a LIMIT 1",
             "COUNT FROM a",
             "BATCH { DELETE FROM a WHERE id = 1 }",
         }) {
        EXPECT_FALSE(statement_batch_key(must_parse(text)).has_value()) << text;
    }
}

TEST(PendingRun, PushFlushesOnKeyChangeAndRunsKeylessAlone) {
    PendingRun run;
    auto push = push_run_op(run, query("c"));
    EXPECT_FALSE(push.flushed || push.single);
    push = push_run_op(run, query("c"));
    EXPECT_FALSE(push.flushed || push.single);
    push = push_run_op(run, remove("c", true));
    ASSERT_TRUE(push.flushed);
    EXPECT_EQ(*push.flushed, (std::vector<PlanOp>{query("c"), query("c")}));
    EXPECT_EQ(run.key, (BatchKey{BatchKey::Mutation{"c", true}}));
    push = push_run_op(run, make_op<PlanOpKind::ShowCollections>());
    ASSERT_TRUE(push.flushed && push.single);
    EXPECT_EQ(*push.flushed, std::vector<PlanOp>{remove("c", true)});
    EXPECT_EQ(push.single->kind(), PlanOpKind::ShowCollections);
    EXPECT_FALSE(run.key.has_value());
    push = push_run_op(run, make_op<PlanOpKind::ShowCollections>());
    EXPECT_FALSE(push.flushed.has_value());
    EXPECT_TRUE(push.single.has_value());
}

TEST(PendingRun, TakenWhenTheNextStatementCannotJoin) {
    PendingRun run;
    EXPECT_FALSE(take_run_on_key_change(run, must_parse("SHOW COLLECTIONS")));
    push_run_op(run, remove("c", true));
    EXPECT_FALSE(take_run_on_key_change(run, must_parse("CLEAR PAYLOAD FROM c WHERE id = 1")));
    EXPECT_EQ(run.operations.size(), 1U);
    const auto taken = take_run_on_key_change(run, must_parse("UPSERT INTO c VALUES {id: 1}"));
    ASSERT_TRUE(taken);
    EXPECT_EQ(*taken, std::vector<PlanOp>{remove("c", true)});
    EXPECT_FALSE(run.key.has_value());
    EXPECT_TRUE(run.operations.empty());
}

struct BuildCase {
    const char* name;
    std::vector<PlanOp> ops;
    const char* message;  // nullptr when the build succeeds
};

void PrintTo(const BuildCase& c, std::ostream* os) { *os << c.name; }

class QueryBatchBuild : public testing::TestWithParam<BuildCase> {};

TEST_P(QueryBatchBuild, FromOpsAndFromMembersAgree) {
    const BuildCase& c = GetParam();
    const auto borrowed = query_batch_from_members(c.ops);
    const auto owned = query_batch_from_ops(c.ops);
    if (c.message == nullptr) {
        ASSERT_TRUE(borrowed && owned);
        EXPECT_EQ(borrowed->searches.size(), c.ops.size());
        EXPECT_EQ(owned->collection, borrowed->collection);
        return;
    }
    for (const auto* result : {&borrowed, &owned}) {
        ASSERT_FALSE(*result);
        EXPECT_EQ(result->error().code, "ZORV-BATCH-INVARIANT");
        EXPECT_EQ(result->error().kind, core::ErrorKind::Execution);
        EXPECT_EQ(result->error().message, c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QueryBatchBuild,
    testing::Values(BuildCase{"empty", {}, "cannot build query batch from empty operations"},
                    BuildCase{"count_first",
                              {make_op<PlanOpKind::Count>(CountOp{"a"}), query("a")},
                              "query batch contained a non-query operation"},
                    BuildCase{"collection_before_options",
                              {query("a", 1), query("b", 2)},
                              "query batch contained multiple collections"},
                    BuildCase{"same_factor",
                              {query("a", {}, Consistency::factor(2)), query("a", {}, Consistency::factor(2))},
                              nullptr},
                    BuildCase{"factor_vs_majority",
                              {query("a", {}, Consistency::factor(2)), query("a", {}, Consistency::majority())},
                              "query batch members disagree on timeout / consistency"}),
    [](const auto& info) { return std::string(info.param.name); });

class UpdateBatchBuild : public testing::TestWithParam<BuildCase> {};

TEST_P(UpdateBatchBuild, FromOpsAndFromMembersAgree) {
    const BuildCase& c = GetParam();
    const auto borrowed = update_batch_from_members(c.ops);
    const auto owned = update_batch_from_ops(c.ops);
    if (c.message == nullptr) {
        ASSERT_TRUE(borrowed && owned);
        EXPECT_EQ(borrowed->operations, owned->operations);
        return;
    }
    for (const auto* result : {&borrowed, &owned}) {
        ASSERT_FALSE(*result);
        EXPECT_EQ(result->error().code, "ZORV-BATCH-INVARIANT");
        EXPECT_EQ(result->error().kind, core::ErrorKind::Execution);
        EXPECT_EQ(result->error().message, c.message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UpdateBatchBuild,
    testing::Values(
        BuildCase{"empty", {}, "cannot build update batch from empty operations"},
        BuildCase{"query_member", {remove("a", true), query("a")}, "mutation batch contained a non-mutation operation"},
        BuildCase{"wait_before_collection",
                  {remove("a", true), remove("b", false)},
                  "mutation batch members disagree on wait"},
        BuildCase{"collections",
                  {remove("a", false), remove("b", false)},
                  "mutation batch contained multiple collections"},
        BuildCase{"one_batch", {remove("a", false, 1), remove("a", false, 2)}, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateBatch, KeepsOrderNamesAndRoundTrips) {
    std::vector<PlanOp> ops;
    for (const char* text :
         {"UPSERT INTO c VALUES {id: 1, vector: [0.5], a: 1} WAIT true", "UPDATE c SET PAYLOAD = {a: 2} WHERE id = 1",
          "UPDATE c SET PAYLOAD = {a: 3} OVERWRITE WHERE a = 2", "DELETE VECTOR v FROM c WHERE id = 1",
          "UPDATE c SET VECTOR VALUES {id: 1, vector: [1]}", "DELETE PAYLOAD a FROM c WHERE id = 1",
          "CLEAR PAYLOAD FROM c WHERE id = 1", "DELETE FROM c WHERE id = 1"}) {
        auto op = plan_statement(must_parse(text));
        ASSERT_TRUE(op) << text;
        ops.push_back(std::move(*op));
    }
    const auto batch = update_batch_from_members(ops);
    ASSERT_TRUE(batch);
    EXPECT_EQ(batch->collection, "c");
    EXPECT_TRUE(batch->wait);
    EXPECT_EQ(batch->operation_names,
              (std::vector<std::string>{"UPSERT", "UPDATE_PAYLOAD", "OVERWRITE_PAYLOAD", "DELETE_VECTOR",
                                        "UPDATE_VECTOR", "DELETE_PAYLOAD", "CLEAR_PAYLOAD", "DELETE"}));
    EXPECT_EQ(batch->operations[2].name(), "overwrite_payload");
    EXPECT_EQ(batch->operations[6].name(), "clear_payload");
    for (const PlanOp& op : ops) {
        auto [collection, operation] = *to_update_operation(op);
        EXPECT_EQ(update_operation_to_plan(std::move(operation), collection, true), op);
    }
    EXPECT_FALSE(to_update_operation(query("c")).has_value());
}

TEST(BatchLowering, HeaderWaitReplacesTheMembersDefault) {
    struct Case {
        const char* text;
        bool wait;
        std::optional<bool> header;
    };
    for (const Case& c :
         {Case{"BATCH { UPSERT INTO c VALUES {id: 1}; UPSERT INTO c VALUES {id: 2} }", true, {}},
          Case{"BATCH { UPSERT INTO c VALUES {id: 1}; DELETE FROM c WHERE id = 2 } WAIT false", false, false}}) {
        auto op = plan_statement(must_parse(c.text));
        ASSERT_TRUE(op) << c.text;
        const PlanBatch& batch = op->get<PlanOpKind::Batch>();
        EXPECT_EQ(batch.key, (BatchKey{BatchKey::Mutation{"c", c.wait}}));
        EXPECT_EQ(batch.wait, c.header);
        for (const PlanOp& member : batch.members) EXPECT_EQ(plan_batch_key(member), batch.key) << c.text;
    }
}

TEST(BatchLowering, RefusedMembers) {
    struct Case {
        const char* text;
        const char* code;
        const char* message;
    };
    for (const Case& c : {
             Case{"BATCH { CLEAR PAYLOAD FROM a WHERE id = 1; DELETE FROM A WHERE id = 1 }",
                  "ZORV-VALIDATION-BATCH-MIXED",
                  "BATCH members must share one collection and one family, got DELETE next to CLEAR PAYLOAD"},
             Case{"BATCH { DELETE FROM a WHERE id = 1; UPSERT INTO a VALUES {id: 2} WAIT true } PARAMS (timeout = 3)",
                  "ZORV-VALIDATION-BATCH-PARAMS",
                  "PARAMS timeout / consistency have no representation on mutation batches"},
             Case{"BATCH { DELETE FROM a WHERE id = 1; UPSERT INTO a VALUES {id: 2} WAIT true }",
                  "ZORV-VALIDATION-BATCH-WAIT", "move member WAIT to the BATCH header"},
             Case{"BATCH { QUERY [1.0] FROM a PARAMS (timeout = 3) } PARAMS (exact = true, hnsw_ef = 64)",
                  "ZORV-VALIDATION-BATCH-PARAMS",
                  "PARAMS hnsw_ef has no representation on a BATCH header; keep it on member queries"},
             Case{"BATCH { QUERY [1.0] FROM a } PARAMS (idf = global)", "ZORV-VALIDATION-BATCH-PARAMS",
                  "PARAMS idf has no representation on a BATCH header; keep it on member queries"},
             // A member's own planning error comes back unchanged.
             Case{"BATCH { DELETE FROM a WHERE id = 1; DELETE VECTOR v, v FROM a WHERE id = 1 }",
                  "ZORV-PLAN-DELETE-VECTOR", "DELETE VECTOR contains duplicate vector name 'v'"},
         }) {
        auto op = plan_statement(must_parse(c.text));
        ASSERT_FALSE(op) << c.text;
        EXPECT_EQ(op.error().code, c.code) << c.text;
        EXPECT_EQ(op.error().message, c.message) << c.text;
        EXPECT_EQ(op.error().kind, core::ErrorKind::Validation) << c.text;
    }
}

TEST(StatementKindUpperName, SplitsWords) {
    EXPECT_EQ(statement_kind_upper_name(core::StatementKind::CreateCollection), "CREATE COLLECTION");
    EXPECT_EQ(statement_kind_upper_name(core::StatementKind::Query), "QUERY");
    EXPECT_EQ(statement_kind_upper_name(core::StatementKind::ShowShardKeys), "SHOW SHARD KEYS");
}

}  // namespace
}  // namespace zorv::plan
