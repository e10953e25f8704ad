#include <gtest/gtest.h>

#include "plan/wait.h"
#include "test_support.h"

namespace zorv::plan {
namespace {

using core::StatementKind;
using core::test_support::must_parse;

TEST(Wait, UpsertWaitsOnlyWhenToldOrWhenItEmbeds) {
    EXPECT_FALSE(upsert_wait(must_parse<StatementKind::Upsert>("UPSERT INTO c VALUES {id: 1}")));
    EXPECT_TRUE(upsert_wait(must_parse<StatementKind::Upsert>("UPSERT INTO c VALUES {id: 1} EMBED body INTO dense")));
    EXPECT_TRUE(upsert_wait(must_parse<StatementKind::Upsert>(
        "UPSERT INTO c VALUES {id: 1} USING DENSE MODEL 'm' INTO dense ON FIELD body")));
    EXPECT_FALSE(upsert_wait(
        must_parse<StatementKind::Upsert>("UPSERT INTO c VALUES {id: 1} EMBED body INTO dense WAIT false")));
    EXPECT_TRUE(upsert_wait(must_parse<StatementKind::Upsert>("UPSERT INTO c VALUES {id: 1} WAIT true")));
}

TEST(Wait, OtherPointMutationsWaitUnlessToldNot) {
    EXPECT_TRUE(point_mutation_wait(must_parse<StatementKind::Delete>("DELETE FROM c WHERE id = 7").wait));
    EXPECT_FALSE(point_mutation_wait(must_parse<StatementKind::Delete>("DELETE FROM c WHERE id = 7 WAIT false").wait));
}

}  // namespace
}  // namespace zorv::plan
