#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast/query.h"
#include "core/lexer.h"
#include "core/parser/parser.h"
#include "core/parser/query.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using namespace zorv::core::test_support;

const Prefetch& first_item(const Query& query) {
    const PrefetchList* list = query.expression.prefetch_list();
    EXPECT_TRUE(list != nullptr && !list->empty());
    return list->at(0);
}

// ---------------------------------------------------------------- items and CTEs that parse

struct ItemCase {
    std::string_view text;
    std::vector<std::string> cte_names;  // the ctes list of the main body, as written
    std::string reference;               // the CTE name held by the first PREFETCH item
    std::optional<double> score_threshold;
    std::optional<PrefetchLookup> lookup;
    bool filtered = false;
};

void PrintTo(const ItemCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class PrefetchItemOk : public testing::TestWithParam<ItemCase> {};

TEST_P(PrefetchItemOk, Parses) {
    const ItemCase& c = GetParam();
    auto result = parse_statement(c.text);
    ASSERT_TRUE(result.has_value()) << format_error(result.error());
    const Query& query = *result->get<StatementKind::Query>();
    std::vector<std::string> names;
    for (const CteDefinition& cte : query.ctes) names.push_back(cte.name);
    EXPECT_EQ(names, c.cte_names);
    const Prefetch& item = first_item(query);
    ASSERT_TRUE(item.source.is(PrefetchSource::Kind::Cte));
    EXPECT_EQ(item.source.cte_name(), c.reference);
    EXPECT_EQ(item.score_threshold, c.score_threshold);
    EXPECT_EQ(item.lookup, c.lookup);
    if (c.lookup && c.lookup->shard_key && item.lookup && item.lookup->shard_key) {
        // Trees compare without spans: check a placeholder key's own.
        const auto* expected = std::get_if<Placeholder>(&c.lookup->shard_key->value);
        const auto* actual = std::get_if<Placeholder>(&item.lookup->shard_key->value);
        if (expected != nullptr && actual != nullptr) {
            EXPECT_EQ(actual->span.get(), expected->span.get());
        }
    }
    EXPECT_EQ(item.filter.has_value(), c.filtered);
}

PrefetchLookup lookup(std::string collection, std::optional<std::string> vector = std::nullopt,
                      std::optional<ShardKey> shard = std::nullopt) {
    return PrefetchLookup{std::move(collection), std::move(vector), std::move(shard)};
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PrefetchItemOk,
    testing::Values(
        // Quoted and keyword names, compared without regard to case and kept as written.
        ItemCase{"WITH \"my stage\" AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH ('MY STAGE')",
                 {"my stage"},
                 "MY STAGE"},
        ItemCase{"WITH limit AS (QUERY [1]), Dense AS (QUERY [2]) QUERY FUSION RRF FROM c PREFETCH (LIMIT, dense)",
                 {"limit", "Dense"},
                 "LIMIT"},
        ItemCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a SCORE THRESHOLD 1)", {"a"}, "a", 1.0},
        ItemCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a WHERE x = 1 LOOKUP FROM o)",
                 {"a"},
                 "a",
                 std::nullopt,
                 lookup("o"),
                 true},
        ItemCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a LOOKUP FROM 'o x' SHARD 7)",
                 {"a"},
                 "a",
                 std::nullopt,
                 lookup("o x", std::nullopt, ShardKey{std::uint64_t{7}})},
        ItemCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a LOOKUP FROM o VECTOR v SHARD :k)",
                 {"a"},
                 "a",
                 std::nullopt,
                 lookup("o", "v", ShardKey{Placeholder::named("k", Span{87, 89})})}));

// ---------------------------------------------------------------- errors with code, message and span

struct ErrorCase {
    std::string_view text;
    std::string_view code;
    std::string message;
    std::string_view needle;  // empty: the end of the input
    int nth = 0;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class PrefetchError : public testing::TestWithParam<ErrorCase> {};

TEST_P(PrefetchError, Fails) {
    const ErrorCase& c = GetParam();
    auto result = parse_statement(c.text);
    ASSERT_FALSE(result.has_value()) << "parsed without error";
    const ZorvError& error = result.error();
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.message, c.message);
    EXPECT_EQ(error.kind, c.code.starts_with("ZORV-VALIDATION-") ? ErrorKind::Validation : ErrorKind::Parse);
    EXPECT_EQ(error.span, span_of(c.text, c.needle, c.nth));
    EXPECT_TRUE(error.fields.empty());
    EXPECT_EQ(error.cause, nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PrefetchError,
    testing::Values(
        // The span is the repeated name as written, quotes included; the message shows it unquoted.
        ErrorCase{"WITH a AS (QUERY [1]), 'A' AS (QUERY [2]) QUERY FUSION RRF FROM c PREFETCH (a)",
                  "ZORV-PARSE-DUPLICATE-CTE", "duplicate CTE 'A'", "'A'"},
        // The duplicate is refused before AS is looked for.
        ErrorCase{"WITH a AS (QUERY [1]), A", "ZORV-PARSE-DUPLICATE-CTE", "duplicate CTE 'A'", "A", 1},
        ErrorCase{"WITH a (QUERY [1]) QUERY [2] FROM c", "ZORV-PARSE-EXPECTED", "expected AS but got '('", "("},
        ErrorCase{"WITH a AS ([1]) QUERY [2] FROM c", "ZORV-PARSE-EXPECTED", "expected QUERY but got '['", "["},
        ErrorCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a SCORE 0.3)", "ZORV-PARSE-EXPECTED",
                  "expected THRESHOLD but got '0.3'", "0.3"},
        ErrorCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a SCORE THRESHOLD x)", "ZORV-PARSE-NUMBER",
                  "expected a number, got 'x'", "x"},
        ErrorCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a LOOKUP FROM)", "ZORV-PARSE-IDENTIFIER",
                  "expected identifier or quoted name, got ')'", ")", 1},
        ErrorCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a LOOKUP FROM o VECTOR)",
                  "ZORV-PARSE-IDENTIFIER", "expected identifier or quoted name, got ')'", ")", 1},
        // A nested body judges its own list while it is read, before the enclosing list is judged.
        ErrorCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (zz, QUERY FUSION DBSF PREFETCH (yy))",
                  "ZORV-VALIDATION-PREFETCH-CTE", "PREFETCH references unknown CTE 'yy'", "FUSION", 1},
        // The first unknown reference of a list is the one reported.
        ErrorCase{"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a, Zz, yy)", "ZORV-VALIDATION-PREFETCH-CTE",
                  "PREFETCH references unknown CTE 'Zz'", "FUSION"}));

// ---------------------------------------------------------------- the item reader on its own

TEST(PrefetchItemReader, StopsAfterTheItemAndReleasesItsLevels) {
    constexpr std::string_view text = "QUERY [1] PREFETCH (QUERY [2] WHERE x = 1) LOOKUP FROM o, b";
    auto tokens = lex_all(text);
    ASSERT_TRUE(tokens.has_value());
    Parser parser(text, std::move(*tokens));
    auto item = parse_prefetch_item(parser, {});
    ASSERT_TRUE(item.has_value()) << format_error(item.error());
    EXPECT_EQ(parser.current().kind, TokenKind::Comma);
    EXPECT_EQ(parser.depth(), 0u);
    ASSERT_TRUE(item->source.is(PrefetchSource::Kind::Query));
    const Query& nested = item->source.query();
    EXPECT_TRUE(nested.ctes.empty());
    EXPECT_TRUE(nested.collection.is_inherited());
    EXPECT_FALSE(item->filter.has_value());
    EXPECT_EQ(item->lookup, lookup("o"));
    // The inner item's filter belongs to the innermost body.
    const Prefetch& inner = first_item(nested);
    EXPECT_TRUE(inner.source.query().filter.has_value());
}

}  // namespace
}  // namespace zorv::core
