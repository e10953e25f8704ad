// SCROLL, COUNT and FACET: the trees they build, their clause-order rules and their errors.
#include <gtest/gtest.h>

#include <string>

#include "core/ast/statement.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using namespace zorv::core::test_support;

Filter compare(std::string field, std::int64_t value) {
    return Filter{Filter::Compare{std::move(field), CompareOp::Eq, Literal::int64(value)}};
}

// ---- SCROLL ---------------------------------------------------------------------------------

TEST(Scroll, LimitAloneGivesNothingElse) {
    Scroll expected;
    expected.collection = "c";
    expected.limit = 10;
    EXPECT_EQ(must_parse<StatementKind::Scroll>("SCROLL FROM c LIMIT 10"), expected);
}

TEST(Scroll, EveryClauseInOrder) {
    const std::string text =
        "SCROLL FROM c WHERE a = 1 AFTER 100 ORDER BY price DESC START FROM 10 SHARD 'eu' WITH PAYLOAD true "
        "WITH VECTOR LIMIT :n";
    Scroll expected;
    expected.collection = "c";
    expected.filter = Box<Filter>(compare("a", 1));
    expected.after = PointId{std::uint64_t{100}};
    expected.order_by = OrderClause{"price", OrderDirection::Desc, Literal::int64(10)};
    expected.shard_key = ShardKey{std::string("eu")};
    expected.with_payload = PayloadSelector::all();
    expected.with_vector = VectorSelector::all();
    expected.limit_param = Placeholder::named("n");
    const Scroll scroll = must_parse<StatementKind::Scroll>(text);
    EXPECT_EQ(scroll, expected);
    EXPECT_EQ(scroll.limit_param->span.get(), span_of(text, ":n"));
}

TEST(Scroll, OrderWithoutDirectionIsAscending) {
    Scroll scroll = must_parse<StatementKind::Scroll>("SCROLL FROM c ORDER BY price LIMIT 5");
    ASSERT_TRUE(scroll.order_by.has_value());
    EXPECT_EQ(*scroll.order_by, (OrderClause{"price", OrderDirection::Asc, std::nullopt}));
}

TEST(Scroll, PositionalLimitTakesTheNextIndexOfTheParse) {
    const std::string text = "SCROLL FROM c WHERE a = ? LIMIT ?";
    Scroll scroll = must_parse<StatementKind::Scroll>(text);
    EXPECT_EQ(scroll.limit, std::nullopt);
    ASSERT_TRUE(scroll.limit_param.has_value());
    EXPECT_EQ(scroll.limit_param->text(), "?1");
    EXPECT_EQ(scroll.limit_param->span.get(), span_of(text, "?", 1));
}

// ---- COUNT ----------------------------------------------------------------------------------

TEST(Count, CollectionAlone) {
    Count expected;
    expected.collection.name = "c";
    EXPECT_EQ(must_parse<StatementKind::Count>("COUNT FROM c"), expected);
}

TEST(Count, AllClausesInGrammarOrder) {
    Count count = must_parse<StatementKind::Count>("COUNT FROM c WHERE a = 1 SHARD 'x' WITH (exact = true)");
    ASSERT_TRUE(count.filter.has_value());
    EXPECT_EQ(**count.filter, compare("a", 1));
    EXPECT_EQ(count.shard_key, ShardKey{std::string("x")});
    EXPECT_EQ(count.exact, true);
}

TEST(Count, ExactKeyIgnoresCaseAndEmptyOptionsSetNothing) {
    EXPECT_EQ(must_parse<StatementKind::Count>("COUNT FROM c WITH (Exact = false)").exact, false);
    EXPECT_EQ(must_parse<StatementKind::Count>("COUNT FROM c WITH ()").exact, std::nullopt);
}

// ---- FACET ----------------------------------------------------------------------------------

TEST(Facet, ThreeHeadFormsAgree) {
    Facet expected;
    expected.key = "city";
    expected.collection.name = "c";
    EXPECT_EQ(must_parse<StatementKind::Facet>("FACET city FROM c"), expected);
    EXPECT_EQ(must_parse<StatementKind::Facet>("FACET FROM c KEY city"), expected);
    EXPECT_EQ(must_parse<StatementKind::Facet>("FACET FROM c city"), expected);
}

TEST(Facet, ClausesInAnyOrder) {
    Facet a = must_parse<StatementKind::Facet>("FACET city FROM c LIMIT 5 EXACT WHERE a = 1");
    Facet b = must_parse<StatementKind::Facet>("FACET city FROM c WHERE a = 1 EXACT TRUE LIMIT 5");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.limit, 5u);
    EXPECT_EQ(a.exact, true);
    EXPECT_EQ(must_parse<StatementKind::Facet>("FACET city FROM c EXACT FALSE SHARD 3").exact, false);
}

TEST(Facet, OptionsMaySpreadOverSeveralWithClauses) {
    Facet facet = must_parse<StatementKind::Facet>("FACET city FROM c WITH (limit = 3) WITH (EXACT = true)");
    EXPECT_EQ(facet.limit, 3u);
    EXPECT_EQ(facet.exact, true);
}

TEST(Facet, PlaceholderLimitKeepsItsText) {
    const std::string text = "FACET city FROM c LIMIT :top";
    Facet facet = must_parse<StatementKind::Facet>(text);
    EXPECT_EQ(facet.limit, std::nullopt);
    ASSERT_TRUE(facet.limit_param.has_value());
    EXPECT_EQ(facet.limit_param->text(), ":top");
    EXPECT_EQ(facet.limit_param->span.get(), span_of(text, ":top"));
}

// ---- errors ---------------------------------------------------------------------------------

class ReadStatementErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ReadStatementErrorTest, FailsWithCodeMessageAndSpan) {
    const ErrorCase& c = GetParam();
    expect_error(parse_statement(c.text), c);
}

const char* const kCountOrder = "duplicate or out-of-order COUNT clause (grammar order: WHERE, SHARD, WITH)";

const ErrorCase kReadErrors[] = {
    // SCROLL: LIMIT is required and last; a clause out of order is left for LIMIT or the caller.
    {"SCROLL FROM c", "ZORV-PARSE-EXPECTED", ErrorKind::Parse, "expected LIMIT but got ''", ""},
    {"SCROLL FROM c LIMIT 0", "ZORV-PARSE-POSITIVE-INTEGER", ErrorKind::Parse,
     "SCROLL LIMIT must be a positive integer", "0"},
    {"SCROLL FROM c AFTER -1 LIMIT 5", "ZORV-PARSE-POINT-ID", ErrorKind::Parse,
     "SCROLL AFTER requires an unsigned integer or string point ID", "-1"},
    {"SCROLL FROM c LIMIT 5 WHERE a = 1", "ZORV-PARSE-TRAILING", ErrorKind::Parse, "unexpected trailing token 'WHERE'",
     "WHERE"},
    {"SCROLL FROM c SHARD 'x' WHERE a = 1 LIMIT 5", "ZORV-PARSE-EXPECTED", ErrorKind::Parse,
     "expected LIMIT but got 'WHERE'", "WHERE"},
    {"SCROLL FROM c AFTER 1 AFTER 2 LIMIT 5", "ZORV-PARSE-EXPECTED", ErrorKind::Parse, "expected LIMIT but got 'AFTER'",
     "AFTER", 1},
    {"SCROLL FROM c WITH VECTOR WITH PAYLOAD true LIMIT 1", "ZORV-PARSE-EXPECTED", ErrorKind::Parse,
     "expected LIMIT but got 'WITH'", "WITH", 1},
    // COUNT
    {"COUNT FROM c SHARD 'x' WHERE a = 1", "ZORV-PARSE-CLAUSE-ORDER", ErrorKind::Parse, kCountOrder, "WHERE"},
    {"COUNT FROM c WHERE a = 1 WHERE b = 2", "ZORV-PARSE-CLAUSE-ORDER", ErrorKind::Parse, kCountOrder, "WHERE", 1},
    {"COUNT FROM c WITH (exact = true) WITH (exact = true)", "ZORV-PARSE-CLAUSE-ORDER", ErrorKind::Parse, kCountOrder,
     "WITH", 1},
    {"COUNT FROM c WITH (exact = 1)", "ZORV-PARSE-COUNT-CONFIG", ErrorKind::Parse,
     "COUNT 'exact' must be true or false", "WITH"},
    {"COUNT FROM c WITH (fast = true)", "ZORV-PARSE-COUNT-CONFIG", ErrorKind::Parse,
     "unknown COUNT parameter 'fast'. Expected: exact", "WITH"},
    {"COUNT c", "ZORV-PARSE-EXPECTED", ErrorKind::Parse, "expected FROM but got 'c'", "c"},
    // FACET
    {"FACET city FROM c LIMIT 5 LIMIT 6", "ZORV-PARSE-DUPLICATE-CLAUSE", ErrorKind::Parse,
     "duplicate FACET LIMIT clause", "LIMIT", 1},
    {"FACET city FROM c LIMIT :n WITH (limit = 6)", "ZORV-PARSE-DUPLICATE-CLAUSE", ErrorKind::Parse,
     "duplicate FACET LIMIT clause", "WITH"},
    {"FACET city FROM c EXACT EXACT", "ZORV-PARSE-DUPLICATE-CLAUSE", ErrorKind::Parse, "duplicate FACET EXACT clause",
     "EXACT", 1},
    {"FACET city FROM c WITH (exact = false) EXACT", "ZORV-PARSE-DUPLICATE-CLAUSE", ErrorKind::Parse,
     "duplicate FACET EXACT clause", "EXACT"},
    {"FACET city FROM c EXACT WITH (exact = true)", "ZORV-PARSE-DUPLICATE-CLAUSE", ErrorKind::Parse,
     "duplicate FACET EXACT clause", "WITH"},
    {"FACET city FROM c WITH (limit = 0)", "ZORV-PARSE-FACET-CONFIG", ErrorKind::Parse,
     "FACET limit must be a positive integer", "WITH"},
    {"FACET city FROM c WITH (limit = 18446744073709551615)", "ZORV-PARSE-FACET-CONFIG", ErrorKind::Parse,
     "FACET limit must be a positive integer", "WITH"},
    {"FACET city FROM c WITH (exact = 'yes')", "ZORV-PARSE-FACET-CONFIG", ErrorKind::Parse,
     "FACET 'exact' must be true or false", "WITH"},
    {"FACET city FROM c WITH (size = 3)", "ZORV-PARSE-FACET-CONFIG", ErrorKind::Parse,
     "unknown FACET parameter 'size'. Expected: exact, limit", "WITH"},
    {"FACET city FROM c LIMIT 0", "ZORV-PARSE-POSITIVE-INTEGER", ErrorKind::Parse,
     "FACET LIMIT must be a positive integer", "0"},
    {"FACET city FROM c WHERE a = 1 WHERE b = 2", "ZORV-PARSE-TRAILING", ErrorKind::Parse,
     "unexpected trailing token 'WHERE'", "WHERE", 1},
    {"FACET city FROM c SHARD 'a' SHARD 'b'", "ZORV-PARSE-TRAILING", ErrorKind::Parse,
     "unexpected trailing token 'SHARD'", "SHARD", 1},
    {"FACET city", "ZORV-PARSE-EXPECTED", ErrorKind::Parse, "expected FROM but got ''", ""},
};
INSTANTIATE_TEST_SUITE_P(Read, ReadStatementErrorTest, ::testing::ValuesIn(kReadErrors));

}  // namespace
}  // namespace zorv::core
