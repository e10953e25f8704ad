// The placeholder scan and the two gates before planning.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/params/scan.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::must_parse;

using test_support::span_of;

TEST(PlaceholderScan, StatementWithoutPlaceholdersPassesBothGates) {
    const Statement statement = must_parse("QUERY [1, 2] FROM c WHERE a = 1 LIMIT 3");
    const PlaceholderSet set = scan_placeholders(statement);
    EXPECT_FALSE(set.first_unbound.has_value());
    EXPECT_FALSE(set.first_unbound_value.has_value());
    EXPECT_TRUE(set.named.empty());
    EXPECT_EQ(set.positional_count, 0U);
    EXPECT_FALSE(set.has_row_placeholder);
    EXPECT_TRUE(ensure_fully_bound(statement).has_value());
    EXPECT_TRUE(check_placeholders(statement).has_value());
}

struct ScanCase {
    std::string text;
    std::set<std::string> named;
    std::uint64_t positional_count;
    // The first placeholder's error, from ensure_fully_bound, and its span text.
    std::string message;
    std::string span_text;
    // Empty when check_placeholders passes (only structural placeholders).
    std::string value_message;
    bool rows = false;
};

void PrintTo(const ScanCase& c, std::ostream* os) { *os << c.text; }

class PlaceholderScanCases : public testing::TestWithParam<ScanCase> {};

TEST_P(PlaceholderScanCases, CollectNamesCountAndFirstError) {
    const ScanCase& c = GetParam();
    const Statement statement = must_parse(c.text);
    const PlaceholderSet set = scan_placeholders(statement);
    EXPECT_EQ(set.named, c.named);
    EXPECT_EQ(set.positional_count, c.positional_count);
    EXPECT_EQ(set.has_row_placeholder, c.rows);
    const PlaceholderNames names = placeholder_names(statement);
    EXPECT_EQ(names.named, c.named);
    EXPECT_EQ(names.positional_count, c.positional_count);

    auto bound = ensure_fully_bound(statement);
    ASSERT_FALSE(bound.has_value());
    EXPECT_EQ(bound.error().code, "ZORV-BIND-MISSING-PARAM");
    EXPECT_EQ(bound.error().kind, ErrorKind::Validation);
    EXPECT_EQ(bound.error().message, c.message);
    EXPECT_EQ(bound.error().span, span_of(c.text, c.span_text));

    auto values = check_placeholders(statement);
    if (c.value_message.empty()) {
        EXPECT_TRUE(values.has_value());
    } else {
        ASSERT_FALSE(values.has_value());
        EXPECT_EQ(values.error().message, c.value_message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scan, PlaceholderScanCases,
    testing::Values(
        ScanCase{"QUERY [1] FROM c WHERE b = :b AND a = :a AND c IN (:b)",
                 {"a", "b"},
                 0,
                 "missing value for named parameter ':b'",
                 ":b",
                 "missing value for named parameter ':b'"},
        ScanCase{"QUERY [1] FROM c WHERE a = ? AND b = ? AND c = ? AND d = ?",
                 {},
                 4,
                 "missing value for positional parameter '?0'",
                 "?",
                 "missing value for positional parameter '?0'"},
        // A shard key is structural: only the full gate refuses it.
        ScanCase{"QUERY [1] FROM c SHARD :k", {"k"}, 0, "missing value for named parameter ':k'", ":k", ""},
        // The scan meets a QUERY's SHARD before its LIMIT, wherever the text writes them.
        ScanCase{"QUERY [1] FROM c SHARD :k LIMIT :n",
                 {"k", "n"},
                 0,
                 "missing value for named parameter ':k'",
                 ":k",
                 "missing value for named parameter ':n'"},
        ScanCase{
            "UPSERT INTO c VALUES :rows", {"rows"}, 0, "missing value for named parameter ':rows'", ":rows", "", true},
        // Structural first, value later: each gate reports its own.
        ScanCase{"QUERY :v FROM c WHERE a = :a",
                 {"a", "v"},
                 0,
                 "missing value for named parameter ':v'",
                 ":v",
                 "missing value for named parameter ':a'"},
        ScanCase{
            "UPDATE c SET VECTOR d = :v WHERE id = 1", {"v"}, 0, "missing value for named parameter ':v'", ":v", ""},
        ScanCase{"QUERY FORMULA x * :w + ? FROM c PREFETCH (QUERY [1])",
                 {"w"},
                 1,
                 "missing value for named parameter ':w'",
                 ":w",
                 "missing value for named parameter ':w'"},
        // A collection's listed shard keys are values; a SHARD KEY statement's key is structural.
        ScanCase{"CREATE COLLECTION c WITH PARAMS (sharding_method = 'custom', shard_keys = ['eu', :k])",
                 {"k"},
                 0,
                 "missing value for named parameter ':k'",
                 ":k",
                 "missing value for named parameter ':k'"},
        ScanCase{"CREATE SHARD KEY :k ON COLLECTION c", {"k"}, 0, "missing value for named parameter ':k'", ":k", ""},
        // A BATCH gathers its members' placeholders into one set.
        ScanCase{"BATCH { DELETE FROM c WHERE id = ?; UPDATE c SET PAYLOAD = {a: :m} WHERE id = 1 }",
                 {"m"},
                 1,
                 "missing value for positional parameter '?0'",
                 "?",
                 "missing value for positional parameter '?0'"},
        // Deep inside payload dicts and lists.
        ScanCase{"UPDATE c SET PAYLOAD = {a: {b: [1, {c: :deep}]}} WHERE id = 1",
                 {"deep"},
                 0,
                 "missing value for named parameter ':deep'",
                 ":deep",
                 "missing value for named parameter ':deep'"},
        ScanCase{"SCROLL FROM c LIMIT ?",
                 {},
                 1,
                 "missing value for positional parameter '?0'",
                 "?",
                 "missing value for positional parameter '?0'"}));

TEST(PlaceholderScan, ScriptPositionalIndexesCountAcrossStatements) {
    auto statements = parse_script("QUERY [1] FROM c LIMIT ?; QUERY [2] FROM c WHERE a = ? LIMIT ?");
    ASSERT_TRUE(statements);
    EXPECT_EQ(scan_placeholders((*statements)[1]).positional_count, 3U);
    auto bound = ensure_fully_bound((*statements)[1]);
    ASSERT_FALSE(bound);
    EXPECT_EQ(bound.error().message, "missing value for positional parameter '?1'");
}

// Quoted regions as the text binder steps over them, against the lexer's STRING tokens.
TEST(PlaceholderTextRegions, MatchTheLexersStringTokens) {
    const std::vector<std::string> pieces = {"r",  "'", "\"", "`",  "a",  "1", " ",  ".",  "-",  "e",
                                             "[]", "_", "$",  "\\", ":x", "?", "--", "\n", "''", "'''"};
    std::uint64_t state = 12345;
    const auto next = [&state] {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::size_t>(state >> 33);
    };
    int compared = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const std::size_t length = 1 + next() % 12;
        for (std::size_t i = 0; i < length; ++i) text += pieces[next() % pieces.size()];
        auto tokens = lex_all(text);
        if (!tokens) continue;
        std::vector<std::pair<std::size_t, std::size_t>> strings;
        for (const Token& token : *tokens) {
            if (token.kind == TokenKind::String) strings.emplace_back(token.span.start, token.span.end);
        }
        ASSERT_EQ(placeholder_text_regions(text), strings) << text;
        ++compared;
    }
    EXPECT_GT(compared, 1000);
}

TEST(PlaceholderTextRegions, RawStringsOpenOnlyWhereATokenStarts) {
    // `bar'x'` is the word bar and then a quoted 'x'; `1r'x'` is a number and then a raw string.
    EXPECT_EQ(scan_placeholder_text("bar'x\\'", 2), std::nullopt);
    EXPECT_EQ(scan_placeholder_text("bar'x\\'", 3), 7U);
    EXPECT_EQ(scan_placeholder_text("1r'x\\' ", 1), 6U);
    EXPECT_EQ(scan_placeholder_text("a.r'x'", 2), std::nullopt);
    EXPECT_EQ(scan_placeholder_text("r\"a\"", 0), 4U);
    EXPECT_EQ(scan_placeholder_text("'''a''' ", 0), 7U);
    EXPECT_EQ(scan_placeholder_text("'it''s' ", 0), 7U);
    EXPECT_EQ(scan_placeholder_text("'open", 0), 5U);
    EXPECT_EQ(scan_placeholder_text("x", 0), std::nullopt);
}

}  // namespace
}  // namespace zorv::core
