// Numeric lists that the parser's lexing folds into values give exactly the trees and errors of
// the token path (a parser made from lex_all's tokens, which never folds).
#include <gtest/gtest.h>

#include <bit>
#include <fstream>
#include <string>
#include <vector>

#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

Result<Statement> parse_through_tokens(const std::string& text) {
    auto tokens = lex_all(text);
    if (!tokens) return std::unexpected(std::move(tokens.error()));
    Parser parser(text, std::move(*tokens));
    return parse_statement_from(parser);
}

std::string describe(const Result<Statement>& result) {
    if (result) return "parsed";
    const ZorvError& e = result.error();
    std::string span = e.span ? std::to_string(e.span->start) + ".." + std::to_string(e.span->end) : "none";
    return format_error(e) + " kind " + std::to_string(static_cast<int>(e.kind)) + " span " + span;
}

void expect_same_as_token_path(const std::string& text) {
    auto folded = parse_statement(text);
    auto plain = parse_through_tokens(text);
    ASSERT_EQ(describe(folded), describe(plain)) << text;
    if (folded) {
        EXPECT_TRUE(*folded == *plain) << text;
    }
}

std::size_t folded_lists(const std::string& text) {
    auto lexed = lex_for_parser(text);
    return lexed ? lexed->lists.size() : 0;
}

struct ListCase {
    std::string list;
    bool folds;  // whether at least one list of it takes the folded path
};

void PrintTo(const ListCase& c, std::ostream* os) { *os << '"' << c.list << '"'; }

class FoldedList : public ::testing::TestWithParam<ListCase> {};

INSTANTIATE_TEST_SUITE_P(
    Lists, FoldedList,
    ::testing::Values(
        ListCase{"[1, 2, 3]", true}, ListCase{"[-1, -22, 0, -0, 007]", true},
        ListCase{"[0.5, -1.25e-3, 2E+5, 3e2, 1.0e0, -0.0, 0e999]", true}, ListCase{"[1, 2.5, -3]", true},
        ListCase{"[9223372036854775807, 9223372036854775808, 18446744073709551615, -9223372036854775808]", true},
        ListCase{"[123456789012345678901234567890.5, 0.30000000000000004, 9007199254740993.0, 1e22, 1e23]", true},
        ListCase{"[ 1 ,\n\t2\r\n, 3 ]", true}, ListCase{"[[1, 2], [3, 4]]", true}, ListCase{"[1, 2]-3", true},
        ListCase{"[18446744073709551616]", false}, ListCase{"[-9223372036854775809]", false},
        ListCase{"[4.9e-324, 2.2250738585072011e-308]", true}, ListCase{"[1e-400, -1e-400]", false},
        ListCase{"[1.7976931348623157e308, 1e309]", false}, ListCase{"[1, -- note\n 2]", false},
        ListCase{"[1, 2,]", false}, ListCase{"[1., 2]", false}, ListCase{"[1e, 2]", false}, ListCase{"[-.5]", false},
        ListCase{"[]", false}, ListCase{"[1, ?, :p]", false}, ListCase{"[1 2]", false}, ListCase{"[1-2]", false},
        ListCase{"[0.1, 'a']", false}, ListCase{"[1.5.2]", false}, ListCase{"[1x]", false}, ListCase{"[1, 2", false}));

TEST_P(FoldedList, GivesTheTreeOrErrorOfTheTokenPath) {
    const ListCase& c = GetParam();
    const std::vector<std::string> statements = {
        "QUERY " + c.list + " FROM c LIMIT 2",
        "UPSERT INTO c VALUES {id: 7, vector: [0.5, 1], tags: " + c.list + "}",
    };
    EXPECT_EQ(folded_lists(c.list) > 0, c.folds);
    for (const std::string& text : statements) expect_same_as_token_path(text);
}

TEST(FoldedList, PayloadIntegersStayIntegers) {
    auto statement =
        parse_statement("UPSERT INTO c VALUES {id: 1, vector: [1, 2.5], n: [1, -2, 18446744073709551615]}");
    ASSERT_TRUE(statement) << format_error(statement.error());
    EXPECT_TRUE(*statement == *parse_through_tokens("UPSERT INTO c VALUES {id: 1, vector: [1, 2.5], n: [1, -2, "
                                                    "18446744073709551615]}"));
}

TEST(FoldedList, NestingLimitStillCountsAFoldedList) {
    const std::string text =
        "QUERY " + test_support::repeat("[", 128) + "[1, 2]" + test_support::repeat("]", 128) + " FROM c";
    EXPECT_GT(folded_lists(text), 0u);
    auto statement = parse_statement(text);
    ASSERT_FALSE(statement);
    EXPECT_EQ(statement.error().code, "ZORV-PARSE-NESTING");
    expect_same_as_token_path(text);
}

// Every prefix of every corpus statement, with its lists folded where they can be.
TEST(FoldedList, CorpusPrefixesMatchTheTokenPath) {
    for (const char* name : {"query_corpus.zorv", "mutation_corpus.zorv"}) {
        std::ifstream in(std::string(ZORV_TEST_DATA_DIR) + "/" + name);
        ASSERT_TRUE(in) << name;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line.starts_with("--")) continue;
            for (std::size_t len = 0; len <= line.size(); ++len) expect_same_as_token_path(line.substr(0, len));
        }
    }
}

// Tokens outside folded lists are lex_all's; a folded list keeps only its brackets.
TEST(FoldedList, TokensAreLexAllsWithoutTheFoldedElements) {
    const std::string text = "QUERY [1, -2.5e1] FROM c WHERE x = -3 AND y IN ['a'] LIMIT [7]-1";
    auto all = lex_all(text);
    auto lexed = lex_for_parser(text);
    ASSERT_TRUE(all && lexed);
    ASSERT_EQ(lexed->lists.size(), 2u);
    std::vector<Token> expected;
    for (std::size_t k = 0; k < all->size(); ++k) {
        expected.push_back((*all)[k]);
        if ((*all)[k].kind != TokenKind::LBracket || (*all)[k + 1].kind == TokenKind::String) continue;
        while ((*all)[k + 1].kind != TokenKind::RBracket) ++k;
    }
    ASSERT_EQ(lexed->tokens.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(lexed->tokens[k].text, expected[k].text) << k;
        EXPECT_EQ(lexed->tokens[k].span, expected[k].span) << k;
        EXPECT_EQ(lexed->tokens[k].kind, expected[k].kind) << k;
    }
    const std::vector<LexedNumber>& n = lexed->numbers;
    ASSERT_EQ(n.size(), 3u);
    EXPECT_EQ(n[0].kind, LexedNumber::Kind::Int);
    EXPECT_EQ(std::bit_cast<std::int64_t>(n[0].bits), 1);
    EXPECT_EQ(n[1].kind, LexedNumber::Kind::Float);
    EXPECT_EQ(std::bit_cast<double>(n[1].bits), -25.0);
    EXPECT_EQ(std::bit_cast<std::int64_t>(n[2].bits), 7);
}

}  // namespace
}  // namespace zorv::core
