// Reading and replacing the shard key of a statement.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/fmt/statement.h"
#include "core/rewrite/shard_key.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::must_parse;

// The key as its display text, or "none".
std::string read_key(const std::string& text) {
    const Statement statement = must_parse(text);
    const ShardKey* key = statement_shard_key(statement);
    return key != nullptr ? shard_key_display(*key) : "none";
}

class ReadShardKey : public testing::TestWithParam<test_support::TextCase> {};

TEST_P(ReadShardKey, FindsTheSlotOfTheKind) { EXPECT_EQ(read_key(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    ShardKeys, ReadShardKey,
    testing::Values(
        test_support::TextCase{"QUERY [1.0] FROM c SHARD 'a'", "'a'"},
        // a lookup's shard key is not the statement's
        test_support::TextCase{"QUERY [1.0] FROM c PREFETCH (QUERY [1.0] LOOKUP FROM o SHARD 'k')", "none"},
        test_support::TextCase{"SCROLL FROM c SHARD 7 LIMIT 1", "7"},
        test_support::TextCase{"COUNT FROM c SHARD :k", ":k"},
        test_support::TextCase{"DELETE FROM c WHERE id = 1 SHARD ?", "?"},
        test_support::TextCase{"UPSERT INTO c VALUES {id: 1}", "none"},
        test_support::TextCase{"CREATE SHARD KEY 'a' ON COLLECTION c", "none"},
        test_support::TextCase{"BATCH { QUERY [1.0] FROM a SHARD 'a'; DELETE FROM b WHERE id = 1 SHARD 'a' }", "'a'"},
        test_support::TextCase{"BATCH { QUERY [1.0] FROM a SHARD 'a'; DELETE FROM b WHERE id = 1 SHARD 'b' }", "none"},
        test_support::TextCase{"BATCH { QUERY [1.0] FROM a SHARD 'a'; DELETE FROM b WHERE id = 1 }", "none"},
        test_support::TextCase{"BATCH { QUERY [1.0] FROM b SHARD 5 }", "5"},
        // the same placeholder at two places is two keys
        test_support::TextCase{"BATCH { QUERY [1.0] FROM a SHARD :k; DELETE FROM b WHERE id = 1 SHARD :k }", "none"}));

std::optional<ShardKey> keyword(std::string text) { return ShardKey{ShardKey::Value(std::move(text))}; }

TEST(SetShardKey, WritesEveryQueryBodyButNotLookups) {
    Statement statement =
        must_parse("WITH a AS (QUERY [1.0]) QUERY FUSION RRF FROM c PREFETCH (a, QUERY [2.0] LOOKUP FROM o SHARD 'l')");
    ASSERT_TRUE(set_statement_shard_key(statement, keyword("t")));
    EXPECT_EQ(format_statement(statement),
              "WITH\n  a AS (QUERY [1.0] SHARD 't')\nQUERY FUSION RRF\nFROM c\n"
              "PREFETCH (a, QUERY [2.0] SHARD 't' LOOKUP FROM o SHARD 'l')\nSHARD 't'");
    EXPECT_EQ(shard_key_display(*statement_shard_key(statement)), "'t'");
}

TEST(SetShardKey, EmptyKeywordOrNoneClears) {
    Statement statement = must_parse("SCROLL FROM c SHARD 'x' LIMIT 1");
    ASSERT_TRUE(set_statement_shard_key(statement, keyword("")));
    EXPECT_EQ(statement_shard_key(statement), nullptr);
    ASSERT_TRUE(set_statement_shard_key(statement, ShardKey{ShardKey::Value(std::uint64_t{9})}));
    EXPECT_EQ(format_statement(statement), "SCROLL FROM c SHARD 9 LIMIT 1");
    ASSERT_TRUE(set_statement_shard_key(statement, std::nullopt));
    EXPECT_EQ(format_statement(statement), "SCROLL FROM c LIMIT 1");
}

TEST(SetShardKey, RefusesKindsWithoutASlotAndChangesNothing) {
    for (const char* text :
         {"CREATE COLLECTION c", "SHOW COLLECTIONS", "SET QUOTA (a = 1)", "CREATE SHARD KEY 'a' ON COLLECTION c"}) {
        Statement statement = must_parse(text);
        const Statement before = statement;
        EXPECT_FALSE(set_statement_shard_key(statement, keyword("k"))) << text;
        EXPECT_EQ(format_statement(statement), format_statement(before)) << text;
    }
}

// The parser admits only queries and mutations into a BATCH; a hand-built one may hold others.
TEST(SetShardKey, BatchWithAMemberWithoutASlotChangesNoMember) {
    Statement statement = must_parse("BATCH { DELETE FROM a WHERE id = 1 SHARD 'x'; QUERY [1.0] FROM b }");
    statement.get<StatementKind::Batch>()->statements.push_back(Statement{ShowCollections{}});
    const Statement before = statement;
    EXPECT_FALSE(set_statement_shard_key(statement, keyword("k")));
    EXPECT_EQ(format_statement(statement), format_statement(before));
}

TEST(SetShardKey, BatchSetsEveryMember) {
    Statement statement = must_parse("BATCH { UPSERT INTO a VALUES {id: 1}; DELETE FROM b WHERE id = 1 SHARD 'old' }");
    ASSERT_TRUE(set_statement_shard_key(statement, keyword("n")));
    EXPECT_EQ(format_statement(statement),
              "BATCH {\n  UPSERT INTO a VALUES {id: 1} SHARD 'n';\n  DELETE FROM b WHERE id = 1 SHARD 'n';\n}");
    EXPECT_EQ(shard_key_display(*statement_shard_key(statement)), "'n'");
}

}  // namespace
}  // namespace zorv::core
