// Every prefix of every corpus statement either parses or fails with one clean error, and
// whatever parses prints to text that parses again to the same tree and the same canonical text.
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

std::vector<std::string> corpus_lines(const std::string& name) {
    std::ifstream in(std::string(ZORV_TEST_DATA_DIR) + "/" + name);
    EXPECT_TRUE(in) << "no corpus " << name;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && !line.starts_with("--")) lines.push_back(line);
    }
    return lines;
}

// Printing is a fixed point, and the printed text parses to the same tree up to spans.
void expect_stable_print(const Statement& statement, const std::string& source) {
    const std::string text = format_statement(statement);
    auto again = parse_statement(text);
    ASSERT_TRUE(again) << source << "\n printed: " << text << "\n " << format_error(again.error());
    EXPECT_EQ(format_statement(*again), text) << source;
    EXPECT_TRUE(test_support::same_tree_after_print(statement, *again))
        << source << "\n tree changed through: " << text;
}

class Robustness : public ::testing::TestWithParam<std::string> {};

INSTANTIATE_TEST_SUITE_P(Corpora, Robustness,
                         ::testing::Values("query_corpus.zorv", "mutation_corpus.zorv", "ddl_corpus.zorv"),
                         [](const auto& info) { return info.param.substr(0, info.param.find('_')); });

TEST_P(Robustness, EveryPrefixOfTheCorpusParsesOrFailsCleanly) {
    std::size_t parsed = 0;
    std::size_t failed = 0;
    for (const std::string& line : corpus_lines(GetParam())) {
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
            expect_stable_print(*statement, prefix);
        }
    }
    EXPECT_GT(parsed, 0u);
    EXPECT_GT(failed, 0u);
}

// Corpus statements with a few tokens deleted, repeated, swapped or replaced: whatever still
// parses must print to text that parses to the same canonical text.
TEST_P(Robustness, MutatedCorpusStatementsRoundTrip) {
    std::mt19937 rng(7);
    std::size_t parsed = 0;
    for (const std::string& line : corpus_lines(GetParam())) {
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
            expect_stable_print(*statement, text);
        }
    }
    EXPECT_GT(parsed, 300u);
}

// Token soup drawn from the statement vocabulary: no input may crash the parser or the printer.
TEST(Robustness, RandomTokenSequencesNeverCrash) {
    static const char* const vocabulary[] = {
        "QUERY",    "WITH",      "AS",          "FROM",      "USING",      "WHERE",       "PREFETCH", "LIMIT",
        "OFFSET",   "PARAMS",    "GROUP",       "BY",        "SIZE",       "LOOKUP",      "PAYLOAD",  "VECTOR",
        "INCLUDE",  "EXCLUDE",   "TRUE",        "FALSE",     "NULL",       "AND",         "OR",       "NOT",
        "IN",       "BETWEEN",   "IS",          "EMPTY",     "MATCH",      "NESTED",      "MIN",      "SHOULD",
        "FORMULA",  "DEFAULTS",  "FUSION",      "RRF",       "DBSF",       "RECOMMEND",   "POSITIVE", "NEGATIVE",
        "STRATEGY", "CONTEXT",   "DISCOVER",    "TARGET",    "ORDER",      "ASC",         "DESC",     "START",
        "SAMPLE",   "RANDOM",    "MMR",         "DIVERSITY", "CANDIDATES", "RERANK",      "CROSS",    "ON",
        "FIELD",    "MODEL",     "TEXT",        "IMAGE",     "OBJECT",     "POINT",       "POINTS",   "HYBRID",
        "DENSE",    "SPARSE",    "MULTI",       "SCORE",     "THRESHOLD",  "SHARD",       "KEY",      "RELEVANCE",
        "FEEDBACK", "NAIVE",     "CASE",        "WHEN",      "THEN",       "ELSE",        "END",      "GEO_RADIUS",
        "DEFAULT",  "SHOW",      "COLLECTIONS", "x",         "a.b",        "tags[].name", "'s'",      "\"q\"",
        "1",        "-2",        "0.5",         "1e3",       "(",          ")",           "[",        "]",
        "{",        "}",         ",",           ":",         "?",          "=",           "!=",       "<",
        "<=",       ">",         ">=",          "+",         "-",          "*",           "/",        ";",
        ":p",       "exp_decay", "abs(",
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

// Token soup drawn from the lexemes of the corpus itself, so every statement kind it holds is fed
// its own clause words in random order.
TEST_P(Robustness, CorpusTokenSoupNeverCrashes) {
    std::vector<std::string> vocabulary;
    std::vector<std::string> starters;  // the first word of each statement
    for (const std::string& line : corpus_lines(GetParam())) {
        auto tokens = lex_all(line);
        ASSERT_TRUE(tokens) << line;
        for (const Token& t : *tokens) vocabulary.push_back(line.substr(t.span.start, t.span.end - t.span.start));
        if (!tokens->empty()) starters.push_back(vocabulary[vocabulary.size() - tokens->size()]);
    }
    ASSERT_FALSE(vocabulary.empty());
    std::mt19937 rng(20261212);
    std::uniform_int_distribution<std::size_t> pick(0, vocabulary.size() - 1);
    std::uniform_int_distribution<int> length(1, 30);
    for (int round = 0; round < 10000; ++round) {
        // Half the rounds start with the first word of a statement, to get past the dispatch.
        std::string text = round % 2 == 0 ? starters[rng() % starters.size()] + ' ' : std::string();
        for (int n = length(rng); n > 0; --n) text += vocabulary[pick(rng)] + ' ';
        auto script = parse_script(text);
        if (!script) {
            ASSERT_TRUE(script.error().span.has_value()) << text;
            EXPECT_LE(script.error().span->end, text.size()) << text;
            continue;
        }
        for (const Statement& statement : *script) {
            const std::string printed = format_statement(statement);
            auto again = parse_statement(printed);
            EXPECT_TRUE(again) << text << "\n printed: " << printed << "\n " << format_error(again.error());
        }
    }
}

}  // namespace
}  // namespace zorv::core
