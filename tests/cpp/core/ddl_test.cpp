// CREATE, DROP, ALTER COLLECTION, SET QUOTA and BATCH: the records they parse to and their errors.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "core/fmt/statement.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::ErrorCase;
using test_support::expect_error;
using test_support::must_parse;
using test_support::repeat;

constexpr ErrorKind P = ErrorKind::Parse;
constexpr ErrorKind V = ErrorKind::Validation;

TEST(CreateCollection, BareNameHasDenseModeAndNothingElse) {
    const CreateCollection create = must_parse<StatementKind::CreateCollection>("CREATE COLLECTION articles");
    EXPECT_EQ(create, (CreateCollection{"articles", CreateCollectionMode{}, {}, {}, std::nullopt}));
    EXPECT_EQ(must_parse<StatementKind::CreateCollection>("CREATE COLLECTION articles ()"), create);
}

TEST(CreateCollection, DenseAndSparseDefinitionsGoToTheirOwnLists) {
    const CreateCollection create = must_parse<StatementKind::CreateCollection>(
        "CREATE COLLECTION c (bm25 SPARSE, dense VECTOR(384, COSINE), 'e 2' VECTOR(1e2, MANHATTAN),)");
    ASSERT_EQ(create.vectors.size(), 2u);
    EXPECT_EQ(create.vectors[0], (DenseVectorDef{"dense", 384, DistanceMetric::Cosine}));
    EXPECT_EQ(create.vectors[1], (DenseVectorDef{"e 2", 100, DistanceMetric::Manhattan}));
    EXPECT_EQ(create.sparse_vectors, std::vector<SparseVectorDef>{SparseVectorDef{"bm25"}});
}

TEST(CreateCollection, VectorSizeBounds) {
    for (const char* size : {"1", "65536", "128.0", "1e2"}) {
        const auto create = must_parse<StatementKind::CreateCollection>(std::string("CREATE COLLECTION c (v VECTOR(") +
                                                                        size + ", DOT))");
        ASSERT_EQ(create.vectors.size(), 1u) << size;
        EXPECT_EQ(create.vectors[0].size, static_cast<std::uint64_t>(std::stod(size))) << size;
    }
}

TEST(CreateCollection, LaterBlocksOfAKindReplaceEarlierOnes) {
    const auto create = must_parse<StatementKind::CreateCollection>(
        "CREATE COLLECTION c (v VECTOR(8, COSINE) WITH HNSW (m = 16) WITH HNSW (m = 32) WITH QUANTIZATION "
        "(type = 'scalar') WITH QUANTIZATION (disabled = true) WITH VECTOR (on_disk = true))");
    ASSERT_EQ(create.vectors.size(), 1u);
    EXPECT_EQ(create.vectors[0].hnsw, (HnswSettings{32}));
    // A disabling block leaves no quantization.
    EXPECT_FALSE(create.vectors[0].quantization.has_value());
    EXPECT_EQ(create.vectors[0].vectors, (VectorStorageSettings{true}));
}

TEST(CreateCollection, Modes) {
    using Mode = CreateCollectionMode;
    const std::pair<const char*, Mode> cases[] = {
        {"HYBRID DENSE VECTOR d SPARSE VECTOR s", Mode{Mode::Hybrid{"d", "s"}}},
        {"HYBRID SPARSE VECTOR a SPARSE VECTOR b", Mode{Mode::Hybrid{std::nullopt, "b"}}},
        {"HYBRID", Mode{Mode::Hybrid{}}},
        {"HYBRID RERANK", Mode{Mode::Rerank{}}},
        {"USING HYBRID", Mode{Mode::Hybrid{}}},
        {"USING MODEL 'm'", Mode{Mode::Dense{"m"}}},
        {"USING DENSE MODEL 'x/y'", Mode{Mode::Dense{"x/y"}}},
    };
    for (const auto& [text, mode] : cases) {
        EXPECT_EQ(must_parse<StatementKind::CreateCollection>(std::string("CREATE COLLECTION c ") + text).mode, mode)
            << text;
    }
}

TEST(CreateIndex, TypeOptionsAndWait) {
    EXPECT_EQ(must_parse<StatementKind::CreateIndex>("CREATE INDEX ON COLLECTION c FOR city"),
              (CreateIndex{"c", "city", "keyword", {}, std::nullopt}));
    EXPECT_EQ(must_parse<StatementKind::CreateIndex>("CREATE INDEX ON COLLECTION c FOR city TYPE KEYWORD").field_type,
              "keyword");
    const CreateIndex index = must_parse<StatementKind::CreateIndex>(
        "CREATE INDEX ON COLLECTION c FOR 'a.b' TYPE Text WITH (IS_TENANT = false, on_disk = true, stopwords = "
        "{languages: ['english'], Custom: []}) WAIT FALSE");
    EXPECT_EQ(index.field, "a.b");
    EXPECT_EQ(index.field_type, "text");
    ASSERT_EQ(index.options.size(), 3u);
    EXPECT_EQ(index.options[0], (LiteralEntry{"IS_TENANT", Literal::boolean(false)}));
    EXPECT_EQ(index.wait, false);
}

TEST(CreateShardKey, OptionsAreReadInAnyCase) {
    const CreateShardKey create = must_parse<StatementKind::CreateShardKey>(
        "CREATE SHARD KEY 'eu' ON COLLECTION c WITH (SHARDS_NUMBER = 2, replication_factor = 4294967295, "
        "placement = [0, 7], initial_state = 'partialsnapshot')");
    EXPECT_EQ(create, (CreateShardKey{"c", ShardKey{std::string("eu")}, 2u, 4294967295u,
                                      std::vector<std::uint64_t>{0, 7}, "PartialSnapshot"}));
    EXPECT_EQ(must_parse<StatementKind::CreateShardKey>("CREATE SHARD KEY 3 ON COLLECTION c WITH ()"),
              (CreateShardKey{"c", ShardKey{std::uint64_t{3}}}));
}

TEST(Drop, EachKind) {
    EXPECT_EQ(must_parse<StatementKind::DropCollection>("drop collection 'my-coll'"), DropCollection{"my-coll"});
    EXPECT_EQ(must_parse<StatementKind::DropIndex>("DROP INDEX ON COLLECTION c FOR f"), (DropIndex{"c", "f"}));
    EXPECT_EQ(must_parse<StatementKind::DropShardKey>("DROP SHARD KEY :k ON COLLECTION c"),
              (DropShardKey{"c", ShardKey{Placeholder::named("k")}}));
}

TEST(SetQuota, EntriesAndWait) {
    EXPECT_EQ(must_parse<StatementKind::SetQuota>("SET QUOTA () WAIT TRUE"), (SetQuota{{}, true}));
    EXPECT_EQ(must_parse<StatementKind::SetQuota>("SET QUOTA (max = 3, Tier = 'pro')"),
              (SetQuota{{{"max", Literal::int64(3)}, {"Tier", Literal::str("pro")}}, std::nullopt}));
}

TEST(AlterCollection, HoldsItsSettings) {
    const AlterCollection alter =
        must_parse<StatementKind::AlterCollection>("ALTER COLLECTION 'c 1' WITH HNSW (m = 4)");
    EXPECT_EQ(alter.collection, "c 1");
    EXPECT_EQ(alter.config->hnsw, (HnswSettings{4}));
}

TEST(Batch, MembersWaitAndParams) {
    const Batch batch = must_parse<StatementKind::Batch>(
        "BATCH { QUERY [1] FROM a; DELETE FROM b WHERE id = 1; } WAIT false PARAMS (hnsw_ef = 8)");
    ASSERT_EQ(batch.statements.size(), 2u);
    EXPECT_EQ(batch.statements[0].kind(), StatementKind::Query);
    EXPECT_EQ(batch.statements[1].kind(), StatementKind::Delete);
    EXPECT_EQ(batch.wait, false);
    ASSERT_TRUE(batch.params.has_value());
    EXPECT_EQ(batch.params->hnsw_ef, 8u);
    // Every member kind that a BATCH takes.
    const Batch all = must_parse<StatementKind::Batch>(
        "BATCH { QUERY [1] FROM a; UPSERT INTO a VALUES {id: 1}; DELETE FROM a WHERE id = 1; CLEAR PAYLOAD FROM a "
        "WHERE id = 1; DELETE PAYLOAD k FROM a WHERE id = 1; DELETE VECTOR v FROM a WHERE id = 1; UPDATE a SET "
        "VECTOR = [1.0] WHERE id = 1; UPDATE a SET PAYLOAD = {k: 1} WHERE id = 1 }");
    EXPECT_EQ(all.statements.size(), 8u);
}

// ---- errors ---------------------------------------------------------------------------------

class DdlErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(DdlErrorTest, FailsWithCodeMessageAndSpan) { expect_error(parse_statement(GetParam().text), GetParam()); }

const char* const kSizeMessage = "vector size must be a positive integer";

const ErrorCase kCreateErrors[] = {
    {"CREATE COLLECTION c (v VECTOR(0, COSINE))", "ZORV-PARSE-SYNTAX", P, kSizeMessage, "0"},
    {"CREATE COLLECTION c (v VECTOR(-4, COSINE))", "ZORV-PARSE-SYNTAX", P, kSizeMessage, "-4"},
    {"CREATE COLLECTION c (v VECTOR(3.5, COSINE))", "ZORV-PARSE-SYNTAX", P, kSizeMessage, "3.5"},
    {"CREATE COLLECTION c (v VECTOR(1e30, COSINE))", "ZORV-PARSE-SYNTAX", P, kSizeMessage, "1e30"},
    {"CREATE COLLECTION c (v VECTOR(65537, COSINE))", "ZORV-PARSE-VECTOR-SIZE", P, "vector size must not exceed 65536",
     "65537"},
    {"CREATE COLLECTION c (v VECTOR(x, COSINE))", "ZORV-PARSE-NUMBER", P, "expected a number, got 'x'", "x"},
    {"CREATE COLLECTION c (v VECTOR(8, L2))", "ZORV-PARSE-SYNTAX", P,
     "expected distance metric (COSINE, DOT, EUCLID, MANHATTAN)", "L2"},
    {"CREATE COLLECTION c (v VECTOR(8, DOT) WITH SPARSE (modifier = 'idf'))", "ZORV-PARSE-SYNTAX", P,
     "expected HNSW, QUANTIZATION, MULTIVECTOR, or VECTOR after WITH for vector configuration", "SPARSE"},
    {"CREATE COLLECTION c (s SPARSE WITH HNSW (m = 4))", "ZORV-PARSE-SYNTAX", P,
     "expected SPARSE or INDEX after WITH for sparse vector configuration", "HNSW"},
    {"CREATE COLLECTION c (v FOO)", "ZORV-PARSE-SYNTAX", P, "expected VECTOR or SPARSE after vector name", "FOO"},
    {"CREATE COLLECTION c (a VECTOR(4, DOT) b VECTOR(4, DOT))", "ZORV-PARSE-SYNTAX", P, "expected comma or )", "b"},
    {"CREATE COLLECTION c (a VECTOR(4, DOT),", "ZORV-PARSE-EXPECTED", P, "expected RPAREN but got ''", ""},
    {"CREATE COLLECTION c HYBRID DENSE x", "ZORV-PARSE-SYNTAX", P, "expected VECTOR after DENSE/SPARSE", "x"},
    {"CREATE COLLECTION c USING HYBRID DENSE MODEL 'x'", "ZORV-VALIDATION-CREATE-MODEL", V,
     "HYBRID does not accept a single dense MODEL; configure the executor model or provide explicit vector "
     "dimensions",
     "DENSE"},
    {"CREATE COLLECTION c USING DENSE 'x'", "ZORV-PARSE-EXPECTED", P, "expected MODEL but got 'x'", "'x'"},
    {"CREATE TABLE t", "ZORV-PARSE-EXPECTED", P, "expected COLLECTION but got 'TABLE'", "TABLE"},
    {"CREATE INDEX ON COLLECTION c FOR f TYPE 'keyword'", "ZORV-PARSE-INDEX-TYPE", P,
     "index TYPE must be an unquoted canonical type name", "'keyword'"},
    {"CREATE INDEX ON COLLECTION c FOR f TYPE Blob", "ZORV-PARSE-INDEX-TYPE", P, "unknown index field type 'blob'",
     "Blob"},
    {"CREATE INDEX ON COLLECTION c FOR f WAIT yes", "ZORV-PARSE-BOOL", P, "expected true or false", "yes"},
    {"DROP TABLE x", "ZORV-PARSE-EXPECTED", P, "expected COLLECTION but got 'TABLE'", "TABLE"},
    {"DROP INDEX ON c FOR f", "ZORV-PARSE-EXPECTED", P, "expected COLLECTION but got 'c'", "c"},
};
INSTANTIATE_TEST_SUITE_P(Create, DdlErrorTest, ::testing::ValuesIn(kCreateErrors));

// Index option errors carry the span of the WITH keyword.
const char* const kIndex = "CREATE INDEX ON COLLECTION c FOR f WITH ";
const std::pair<std::string, std::string> kIndexOptionErrors[] = {
    {"(on_disk = 1)", "on_disk must be true or false"},
    {"(Phrase_Matching = 'yes')", "Phrase_Matching must be true or false"},
    {"(memory = 'warm')", "memory must be 'cold', 'cached', or 'pinned'"},
    {"(memory = 1)", "memory must be a string ('cold', 'cached', or 'pinned')"},
    {"(tokenizer = 1)", "tokenizer must be a string"},
    {"(min_token_len = -1)", "min_token_len must be a non-negative integer"},
    {"(max_token_len = 2.0)", "max_token_len must be a non-negative integer"},
    {"(stopwords = ['a', 1])", "stopwords must be a list of strings"},
    {"(stopwords = {Custom: 'x'})", "stopwords custom must be a list of strings"},
    {"(stopwords = {languages: [1]})", "stopwords languages must be a list of strings"},
    {"(stopwords = {extra: []})", "unknown stopwords set key 'extra'. Expected: languages, custom"},
    {"(stopwords = 5)",
     "stopwords must be a list of strings, a language name, or {languages: [\u2026], custom: [\u2026]}"},
    {"(fancy = true)", "unknown index option: fancy"},
};

TEST(CreateIndex, OptionErrorsCarryTheSpanOfWith) {
    for (const auto& [list, message] : kIndexOptionErrors) {
        const std::string text = kIndex + list;
        expect_error(parse_statement(text), ErrorCase{text, "ZORV-VALIDATION-CONFIG", V, message, "WITH"});
    }
}

TEST(CreateIndex, AcceptedOptions) {
    for (const char* list : {"(memory = 'pinned', range = true)", "(tokenizer = 'word', stemmer = 'english')",
                             "(min_token_len = 0)", "(stopwords = 'english')", "(stopwords = ['a', 'the'])",
                             "(stopwords = {languages: ['english'], custom: ['foo']})", "(stopwords = {})"}) {
        EXPECT_TRUE(parse_statement(std::string(kIndex) + list)) << list;
    }
}

// Shard-key option errors carry the span of the WITH keyword.
const std::pair<std::string, std::string> kShardOptionErrors[] = {
    {"(shards_number = 0)", "shards_number must be a positive integer"},
    {"(shards_number = 2.0)", "shards_number must be a positive integer"},
    {"(Shards_Number = 18446744073709551615)", "shards_number must be a positive integer"},
    {"(replication_factor = 4294967296)", "replication_factor must fit in an unsigned 32-bit integer"},
    {"(placement = [])", "placement must be a non-empty list of peer ids"},
    {"(placement = 3)", "placement must be a non-empty list of peer ids"},
    {"(placement = [1, -2])", "placement entries must be non-negative integers (peer ids)"},
    {"(initial_state = 1)", "initial_state must be a string"},
    {"(initial_state = 'zombie')", "unknown replica state 'zombie'"},
    {"(Foo = 1)",
     "unknown CREATE SHARD KEY parameter 'Foo'. Expected: shards_number, replication_factor, placement, "
     "initial_state"},
};

TEST(CreateShardKey, OptionErrorsCarryTheSpanOfWith) {
    for (const auto& [list, message] : kShardOptionErrors) {
        const std::string text = "CREATE SHARD KEY 'eu' ON COLLECTION c WITH " + list;
        expect_error(parse_statement(text), ErrorCase{text, "ZORV-PARSE-SHARD-KEY-CONFIG", P, message, "WITH"});
    }
}

const ErrorCase kStatementErrors[] = {
    {"SET QUOTA (a = 1) WAIT 1", "ZORV-PARSE-QUOTA", P, "WAIT requires true or false", "1", 1},
    {"SET QUOTA (a = 1) WAIT", "ZORV-PARSE-QUOTA", P, "WAIT requires true or false", ""},
    {"SET QUOTAS (a = 1)", "ZORV-PARSE-EXPECTED", P, "expected QUOTA but got 'QUOTAS'", "QUOTAS"},
    {"ALTER COLLECTION c", "ZORV-PARSE-ALTER-CONFIG", P, "ALTER COLLECTION requires at least one WITH clause", ""},
    {"ALTER COLLECTION c SET", "ZORV-PARSE-ALTER-CONFIG", P, "ALTER COLLECTION requires at least one WITH clause",
     "SET"},
    {"BATCH QUERY [1] FROM c", "ZORV-PARSE-EXPECTED", P, "expected LBRACE but got 'QUERY'", "QUERY"},
    {"BATCH { DELETE FROM c WHERE id = 1;", "ZORV-PARSE-SYNTAX", P, "unterminated BATCH block, expected '}'", ""},
    {"BATCH {", "ZORV-PARSE-SYNTAX", P, "unterminated BATCH block, expected '}'", ""},
    {"BATCH { DELETE FROM c WHERE id = 1", "ZORV-PARSE-SYNTAX", P, "expected ';' or '}' after batch member", ""},
    {"BATCH { QUERY [1] FROM c QUERY [2] FROM c }", "ZORV-PARSE-SYNTAX", P, "expected ';' or '}' after batch member",
     "QUERY", 1},
    {"BATCH { QUERY [1] FROM c } WAIT maybe", "ZORV-PARSE-BOOL", P, "expected true or false", "maybe"},
    {"BATCH { QUERY [1] FROM c; FOO }", "ZORV-PARSE-STATEMENT", P, "expected a ZORV statement keyword, got 'FOO'",
     "FOO"},
};
INSTANTIATE_TEST_SUITE_P(Statements, DdlErrorTest, ::testing::ValuesIn(kStatementErrors));

// BATCH errors that belong to no place in the text.
TEST(Batch, RefusesEmptyAndForeignMembersWithoutSpan) {
    const std::pair<const char*, const char*> cases[] = {
        {"BATCH { }", "ZORV-VALIDATION-BATCH-EMPTY"},
        {"BATCH { ; }", "ZORV-PARSE-STATEMENT"},
        {"BATCH { SHOW COLLECTIONS }", "ZORV-VALIDATION-BATCH-MEMBER"},
        {"BATCH { QUERY [1] FROM c; SCROLL FROM c LIMIT 5 }", "ZORV-VALIDATION-BATCH-MEMBER"},
        {"BATCH { DROP COLLECTION c }", "ZORV-VALIDATION-BATCH-MEMBER"},
        // The first foreign member in text order, even when a nested BATCH follows it.
        {"BATCH { SHOW QUOTAS; BATCH { QUERY [1] FROM c } }", "ZORV-VALIDATION-BATCH-MEMBER"},
    };
    const char* const messages[] = {"BATCH requires at least one member statement",
                                    nullptr,
                                    "BATCH members must be queries or mutations, got SHOW",
                                    "BATCH members must be queries or mutations, got SCROLL",
                                    "BATCH members must be queries or mutations, got DROP",
                                    "BATCH members must be queries or mutations, got SHOW"};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        auto result = parse_statement(cases[i].first);
        ASSERT_FALSE(result) << cases[i].first;
        EXPECT_EQ(result.error().code, cases[i].second) << cases[i].first;
        if (messages[i] == nullptr) continue;
        EXPECT_EQ(result.error().message, messages[i]);
        EXPECT_EQ(result.error().kind, ErrorKind::Validation);
        EXPECT_FALSE(result.error().span.has_value());
    }
}

// A nested BATCH is refused at its keyword, so text nested any deeper never recurses.
TEST(Batch, RefusesANestedBatchAtItsKeyword) {
    for (const std::string& text : {std::string("BATCH { BATCH { QUERY [1] FROM c } }"),
                                    std::string("BATCH { QUERY [1] FROM c; BATCH { ") + "BATCH {" + " (((("}) {
        auto result = parse_statement(text);
        ASSERT_FALSE(result) << text;
        EXPECT_EQ(result.error().code, "ZORV-VALIDATION-BATCH-MEMBER");
        EXPECT_EQ(result.error().message, "BATCH members must be queries or mutations, got BATCH");
        EXPECT_FALSE(result.error().span.has_value());
    }
    const std::string deep = repeat("BATCH { ", 100000);
    auto result = parse_statement(deep);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, "ZORV-VALIDATION-BATCH-MEMBER");
}

// The BATCH body is one level of the 128-level limit.
TEST(Batch, BodyCountsAgainstTheNestingLimit) {
    // A payload nested as deep as a statement may go on its own ...
    std::string member;
    for (std::size_t depth = 1;; ++depth) {
        const std::string candidate =
            "UPSERT INTO c VALUES {id: 1, p: " + repeat("[", depth) + repeat("]", depth) + "}";
        if (!parse_statement(candidate)) break;
        member = candidate;
    }
    ASSERT_FALSE(member.empty());
    // ... goes one level too deep inside a BATCH.
    const std::string text = "BATCH { " + member + " }";
    auto result = parse_statement(text);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().code, "ZORV-PARSE-NESTING");
    EXPECT_EQ(result.error().message, "statement nests deeper than 128 levels; flatten the expression");
}

// Every statement of the DDL corpus parses, and prints to text that parses to the same tree.
TEST(DdlCorpus, EveryStatementParsesAndRoundTrips) {
    std::ifstream in(std::string(ZORV_TEST_DATA_DIR) + "/ddl_corpus.zorv");
    ASSERT_TRUE(in);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.starts_with("--")) continue;
        auto statement = parse_statement(line);
        ASSERT_TRUE(statement) << line << "\n " << format_error(statement.error());
        const std::string printed = format_statement(*statement);
        auto again = parse_statement(printed);
        ASSERT_TRUE(again) << printed;
        EXPECT_EQ(format_statement(*again), printed);
        EXPECT_TRUE(test_support::same_tree_after_print(*statement, *again)) << line;
    }
}

}  // namespace
}  // namespace zorv::core
