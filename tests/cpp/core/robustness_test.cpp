// Every prefix of every corpus statement either parses or fails with one clean error, and
// whatever parses prints to text that parses again to the same canonical text and the same tree.
#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/fmt/statement.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

std::vector<std::string> corpus_lines() {
    std::ifstream in(std::string(ZORV_TEST_DATA_DIR) + "/query_corpus.zorv");
    EXPECT_TRUE(in) << "no query corpus";
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && !line.starts_with("--")) lines.push_back(line);
    }
    return lines;
}

TEST(Robustness, EveryPrefixOfTheCorpusParsesOrFailsCleanly) {
    std::size_t parsed = 0;
    std::size_t failed = 0;
    for (const std::string& line : corpus_lines()) {
        for (std::size_t len = 0; len <= line.size(); ++len) {
            const std::string prefix = line.substr(0, len);
            auto statement = parse_statement(prefix);
            if (!statement) {
                const ZorvError& e = statement.error();
                EXPECT_TRUE(e.code.starts_with("ZORV-")) << prefix;
                ASSERT_TRUE(e.span.has_value()) << prefix;
                EXPECT_LE(e.span->start, e.span->end) << prefix;
                EXPECT_LE(e.span->end, prefix.size()) << prefix;
                ++failed;
                continue;
            }
            ++parsed;
            const std::string text = format_statement(*statement);
            auto again = parse_statement(text);
            ASSERT_TRUE(again) << prefix << "\n printed: " << text << "\n " << format_error(again.error());
            EXPECT_EQ(format_statement(*again), text) << prefix;
            EXPECT_TRUE(test_support::same_tree_after_print(*statement, *again)) << prefix << "\n printed: " << text;
        }
    }
    EXPECT_GT(parsed, 0u);
    EXPECT_GT(failed, 0u);
}

// Corpus statements with a few tokens deleted, repeated, swapped or replaced: whatever still
// parses must print to text that parses to the same canonical text.
TEST(Robustness, MutatedCorpusStatementsRoundTrip) {
    std::mt19937 rng(7);
    std::size_t parsed = 0;
    for (const std::string& line : corpus_lines()) {
        auto tokens = lex_all(line);
        ASSERT_TRUE(tokens) << line;
        std::vector<std::string> lexemes;
        for (const Token& t : *tokens) lexemes.push_back(line.substr(t.span.start, t.span.end - t.span.start));
        for (int round = 0; round < 300; ++round) {
            std::vector<std::string> mutated = lexemes;
            std::uniform_int_distribution<int> ops(1, 3);
            for (int n = ops(rng); n > 0 && mutated.size() > 1; --n) {
                std::uniform_int_distribution<std::size_t> at(0, mutated.size() - 1);
                const std::size_t i = at(rng), j = at(rng);
                switch (rng() % 4) {
                    case 0: mutated.erase(mutated.begin() + static_cast<std::ptrdiff_t>(i)); break;
                    case 1: mutated.insert(mutated.begin() + static_cast<std::ptrdiff_t>(i), mutated[j]); break;
                    case 2: std::swap(mutated[i], mutated[j]); break;
                    default: mutated[i] = lexemes[rng() % lexemes.size()]; break;
                }
            }
            std::string text;
            for (const std::string& lexeme : mutated) text += lexeme + ' ';
            auto statement = parse_statement(text);
            if (!statement) continue;
            ++parsed;
            const std::string printed = format_statement(*statement);
            auto again = parse_statement(printed);
            ASSERT_TRUE(again) << text << "\n printed: " << printed << "\n " << format_error(again.error());
            EXPECT_EQ(format_statement(*again), printed) << text;
            EXPECT_TRUE(test_support::same_tree_after_print(*statement, *again)) << text << "\n printed: " << printed;
        }
    }
    EXPECT_GT(parsed, 300u);
}

// Token soup drawn from the statement vocabulary: no input may crash the parser or the printer.
TEST(Robustness, RandomTokenSequencesNeverCrash) {
    static const char* const vocabulary[] = {
        "QUERY", "WITH", "AS", "FROM", "USING", "WHERE", "PREFETCH", "LIMIT", "OFFSET", "PARAMS", "GROUP", "BY",
        "SIZE", "LOOKUP", "PAYLOAD", "VECTOR", "INCLUDE", "EXCLUDE", "TRUE", "FALSE", "NULL", "AND", "OR", "NOT",
        "IN", "BETWEEN", "IS", "EMPTY", "MATCH", "NESTED", "MIN", "SHOULD", "FORMULA", "DEFAULTS", "FUSION", "RRF",
        "DBSF", "RECOMMEND", "POSITIVE", "NEGATIVE", "STRATEGY", "CONTEXT", "DISCOVER", "TARGET", "ORDER", "ASC",
        "DESC", "START", "SAMPLE", "RANDOM", "MMR", "DIVERSITY", "CANDIDATES", "RERANK", "CROSS", "ON", "FIELD",
        "MODEL", "TEXT", "IMAGE", "OBJECT", "POINT", "POINTS", "HYBRID", "DENSE", "SPARSE", "MULTI", "SCORE",
        "THRESHOLD", "SHARD", "KEY", "RELEVANCE", "FEEDBACK", "NAIVE", "CASE", "WHEN", "THEN", "ELSE", "END",
        "GEO_RADIUS", "DEFAULT", "SHOW", "COLLECTIONS", "x", "a.b", "tags[].name", "'s'", "\"q\"", "1", "-2",
        "0.5", "1e3", "(", ")", "[", "]", "{", "}", ",", ":", "?", "=", "!=", "<", "<=", ">", ">=", "+", "-",
        "*", "/", ";", ":p", "exp_decay", "abs(",
    };
    constexpr std::size_t words = sizeof vocabulary / sizeof *vocabulary;
    std::mt19937 rng(20261211);
    std::uniform_int_distribution<std::size_t> pick(0, words - 1);
    std::uniform_int_distribution<int> length(1, 40);
    for (int round = 0; round < 20000; ++round) {
        std::string text = round % 2 == 0 ? "QUERY " : "";
        for (int n = length(rng); n > 0; --n) {
            text += vocabulary[pick(rng)];
            text += ' ';
        }
        auto script = parse_script(text);
        if (!script) continue;
        for (const Statement& statement : *script) {
            const std::string printed = format_statement(statement);
            auto again = parse_statement(printed);
            EXPECT_TRUE(again) << text << "\n printed: " << printed << "\n " << format_error(again.error());
        }
    }
}

}  // namespace
}  // namespace zorv::core
