// What the embedding leaves of an UPSERT agree on for the collection it may create, and the
// conflicts that refuse to guess.
#include "runtime/executor/auto_create.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace zorv::runtime {
namespace {

struct AgreeCase {
    std::string using_clause;
    std::string message;  // "" when the leaves agree on `shape`
    AutoCollectionShape shape;
};

void PrintTo(const AgreeCase& c, std::ostream* os) { *os << c.using_clause; }

class AgreeAutoCollection : public ::testing::TestWithParam<AgreeCase> {};

TEST_P(AgreeAutoCollection, LeavesAgreeOrConflict) {
    const AgreeCase& c = GetParam();
    const auto upsert =
        core::test_support::must_parse<core::StatementKind::Upsert>("UPSERT INTO n VALUES {id: 1} " + c.using_clause);
    ASSERT_TRUE(upsert.embedding);
    auto shape = agree_auto_collection("n", embed::collect_tree_leaves(*upsert.embedding));
    if (c.message.empty()) {
        ASSERT_TRUE(shape) << shape.error().message;
        EXPECT_EQ(*shape, c.shape);
        return;
    }
    ASSERT_FALSE(shape);
    EXPECT_EQ(shape.error().code, "ZORV-EMBEDDING-TOPOLOGY");
    EXPECT_EQ(shape.error().kind, core::ErrorKind::Execution);
    EXPECT_EQ(shape.error().message, c.message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AgreeAutoCollection,
    ::testing::Values(
        AgreeCase{"USING DENSE INTO a, DENSE INTO b",
                  "cannot auto-create collection 'n': conflicting dense vector names 'a' vs 'b'; create the "
                  "collection explicitly",
                  {}},
        AgreeCase{"USING SPARSE INTO s, HYBRID SPARSE VECTOR t",
                  "cannot auto-create collection 'n': conflicting sparse vector names 's' vs 't'; create the "
                  "collection explicitly",
                  {}},
        AgreeCase{"USING DENSE MODEL 'x', SPARSE MODEL 'y'",
                  "cannot auto-create collection 'n': conflicting embedding models 'x' vs 'y'; create the "
                  "collection explicitly",
                  {}},
        // The first name and model given hold; leaves that give none agree with them.
        AgreeCase{"USING DENSE, DENSE MODEL 'x' INTO a, SPARSE INTO s, DENSE INTO a", "", {"a", "s", "x", true, true}},
        AgreeCase{"USING SPARSE", "", {std::nullopt, std::nullopt, std::nullopt, false, true}}));

}  // namespace
}  // namespace zorv::runtime
