// Canonical text of the definition statements, SET QUOTA and BATCH, and their print/parse round trip.
#include <gtest/gtest.h>

#include <string>

#include "core/fmt/collection.h"
#include "core/fmt/statement.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::TextCase;

class DdlCanonicalTextTest : public ::testing::TestWithParam<TextCase> {};

// `expected` empty: the text is canonical already.
TEST_P(DdlCanonicalTextTest, PrintsAndRoundTrips) { test_support::expect_canonical_round_trip(GetParam()); }

const TextCase kSimpleCases[] = {
    {"drop collection limit", "DROP COLLECTION limit"},
    {"DROP COLLECTION 'my-coll'", ""},
    {"drop index on collection c for 'a.b'", "DROP INDEX ON COLLECTION c FOR 'a.b'"},
    {"drop shard key 5 on collection c", "DROP SHARD KEY 5 ON COLLECTION c"},
    {"DROP SHARD KEY ? ON COLLECTION c", ""},
    {"create index on collection c for city", "CREATE INDEX ON COLLECTION c FOR city TYPE keyword"},
    {"CREATE INDEX ON COLLECTION c FOR body TYPE TEXT WITH (Tokenizer = 'word', stopwords = {languages: "
     "['english']}) WAIT TRUE",
     "CREATE INDEX ON COLLECTION c FOR body TYPE text WITH (Tokenizer = 'word', stopwords = {languages: "
     "['english']}) WAIT true"},
    {"CREATE INDEX ON COLLECTION c FOR n TYPE float WITH () WAIT false",
     "CREATE INDEX ON COLLECTION c FOR n TYPE float WAIT false"},
    {"CREATE SHARD KEY 'eu' ON COLLECTION c WITH (initial_state = 'active', SHARDS_NUMBER = 2, placement = [3, 1], "
     "replication_factor = 1)",
     "CREATE SHARD KEY 'eu' ON COLLECTION c WITH (shards_number = 2, replication_factor = 1, placement = [3, 1], "
     "initial_state = 'Active')"},
    {"CREATE SHARD KEY :k ON COLLECTION c WITH ()", "CREATE SHARD KEY :k ON COLLECTION c"},
    {"set quota (a = 1, 'b c' = 'x', d = [1.5, null]) wait false",
     "SET QUOTA (a = 1, 'b c' = 'x', d = [1.5, null]) WAIT false"},
    {"SET QUOTA ()", ""},
};
INSTANTIATE_TEST_SUITE_P(Simple, DdlCanonicalTextTest, ::testing::ValuesIn(kSimpleCases));

const TextCase kCollectionCases[] = {
    // One line while short: at most one definition and no clause, or no definition and one clause.
    {"create collection c (v vector(4, cosine))", "CREATE COLLECTION c (v VECTOR(4, COSINE))"},
    {"CREATE COLLECTION c USING MODEL 'm'", "CREATE COLLECTION c USING DENSE MODEL 'm'"},
    {"CREATE COLLECTION c HYBRID SPARSE VECTOR s DENSE VECTOR d",
     "CREATE COLLECTION c HYBRID DENSE VECTOR d SPARSE VECTOR s"},
    {"CREATE COLLECTION c USING HYBRID", "CREATE COLLECTION c HYBRID"},
    {"CREATE COLLECTION c HYBRID RERANK", ""},
    {"CREATE COLLECTION c WITH HNSW (memory = 'Cached', m = 16)",
     "CREATE COLLECTION c WITH HNSW (m = 16, memory = 'cached')"},
    {"CREATE COLLECTION c ()", "CREATE COLLECTION c"},
    {"CREATE COLLECTION c (v VECTOR(4, DOT) WITH MULTIVECTOR (comparator = 'MAX_SIM') WITH HNSW ())",
     "CREATE COLLECTION c (\n  v VECTOR(4, DOT) WITH MULTIVECTOR (comparator = 'max_sim')\n)"},
    // Definitions print dense first, then sparse, one per line when there are two or more.
    {"CREATE COLLECTION c (s SPARSE WITH SPARSE (modifier = 'IDF'), a VECTOR(4, DOT))",
     "CREATE COLLECTION c (\n  a VECTOR(4, DOT),\n  s SPARSE WITH SPARSE (modifier = 'idf')\n)"},
    {"CREATE COLLECTION c (v VECTOR(8, EUCLID) WITH VECTOR (datatype = 'u8', on_disk = true) WITH QUANTIZATION "
     "(always_ram = false, type = 'product', compression = 'X8')) WITH PARAMS (sharding_method = 'auto', "
     "shard_number = 2)",
     "CREATE COLLECTION c (\n  v VECTOR(8, EUCLID) WITH QUANTIZATION (type = 'product', compression = 'x8') WITH "
     "VECTOR (on_disk = true, datatype = 'uint8')\n)\nWITH PARAMS (shard_number = 2, sharding_method = 'auto')"},
    {"CREATE COLLECTION c (s SPARSE WITH INDEX (memory = 'cold', datatype = 'F16', on_disk = false, "
     "full_scan_threshold = 9))",
     "CREATE COLLECTION c (\n  s SPARSE WITH SPARSE (full_scan_threshold = 9, on_disk = false, datatype = 'float16', "
     "memory = 'cold')\n)"},
    // Without definitions: two clauses, or one past 80 characters, go one per line.
    {"CREATE COLLECTION c WITH WAL (wal_capacity_mb = 32) WITH HNSW (m = 16)",
     "CREATE COLLECTION c\nWITH HNSW (m = 16)\nWITH WAL (wal_capacity_mb = 32)"},
    {"CREATE COLLECTION c WITH STRICT_MODE (enabled = true, max_query_limit = 100, search_max_oversampling = 1.5)",
     "CREATE COLLECTION c\nWITH STRICT_MODE (enabled = true, max_query_limit = 100, search_max_oversampling = 1.5)"},
    {"CREATE COLLECTION c WITH OPTIMIZERS (max_optimization_threads = 'AUTO', deleted_threshold = 1)",
     "CREATE COLLECTION c\nWITH OPTIMIZERS (deleted_threshold = 1.0, max_optimization_threads = 'auto')"},
    {"CREATE COLLECTION c WITH QUANTIZATION (quantile = 0.99, type = 'Scalar', always_ram = false)",
     "CREATE COLLECTION c WITH QUANTIZATION (type = 'scalar', quantile = 0.99)"},
    {"CREATE COLLECTION c WITH QUANTIZATION (disabled = true, type = 'x')",
     "CREATE COLLECTION c WITH QUANTIZATION (disabled = true)"},
    {"CREATE COLLECTION c WITH PARAMS (shard_keys = ['a', 3, :k, ?], payload_memory = 'COLD')",
     "CREATE COLLECTION c\nWITH PARAMS (payload_memory = 'cold', shard_keys = ['a', 3, :k, ?])"},
    {"CREATE COLLECTION c WITH PARAMS (shard_keys = [:k])", ""},
    {"CREATE COLLECTION c WITH METADATA (owner = 'me', 'two words' = {a: [1]})", ""},
    // ALTER: one clause follows on the line, several go one per line, in the fixed order.
    {"alter collection c with hnsw (m = 16)", "ALTER COLLECTION c WITH HNSW (m = 16)"},
    {"ALTER COLLECTION c WITH SPARSE s (INDEX (on_disk = true)) WITH VECTOR v (VECTOR (memory = 'cold'), HNSW (m = "
     "0)) WITH QUANTIZATION (disabled = true) WITH PARAMS (replication_factor = 2)",
     "ALTER COLLECTION c\nWITH PARAMS (replication_factor = 2)\nWITH QUANTIZATION (disabled = true)\nWITH VECTOR v "
     "(HNSW (m = 0), VECTOR (memory = 'cold'))\nWITH SPARSE s (SPARSE (on_disk = true))"},
    {"ALTER COLLECTION c WITH VECTOR 'my vec' (QUANTIZATION (type = 'binary', encoding = 2))",
     "ALTER COLLECTION c WITH VECTOR 'my vec' (QUANTIZATION (type = 'binary', encoding = 'two_bits'))"},
    {"ALTER COLLECTION c WITH VECTOR (on_disk = true) WITH QUANTIZATION (type = 'turbo', bits = 2)",
     "ALTER COLLECTION c\nWITH VECTOR (on_disk = true)\nWITH QUANTIZATION (type = 'turbo', bits = 2.0)"},
};
INSTANTIATE_TEST_SUITE_P(Collection, DdlCanonicalTextTest, ::testing::ValuesIn(kCollectionCases));

const TextCase kBatchCases[] = {
    {"batch { query [1] from c; delete from c where id = 1 }",
     "BATCH {\n  QUERY [1.0] FROM c;\n  DELETE FROM c WHERE id = 1;\n}"},
    // Members that span lines keep their layout, indented by two more spaces.
    {"BATCH { UPSERT INTO c VALUES {id: 1}, {id: 2}; QUERY [1] FROM c WHERE a = 1 AND b = 2 PARAMS (exact = "
     "true) LIMIT 5 OFFSET 10 } WAIT true PARAMS (hnsw_ef = 64)",
     "BATCH {\n  UPSERT INTO c VALUES\n    {id: 1},\n    {id: 2};\n  QUERY [1.0]\n  FROM c\n  WHERE a = 1 AND b = "
     "2\n  PARAMS (exact = true)\n  LIMIT 5\n  OFFSET 10;\n} WAIT true PARAMS (hnsw_ef = 64)"},
    {"BATCH { QUERY ? FROM c; }", "BATCH {\n  QUERY ? FROM c;\n}"},
};
INSTANTIATE_TEST_SUITE_P(Batch, DdlCanonicalTextTest, ::testing::ValuesIn(kBatchCases));

// Forms the parser keeps as written but the printer folds.
TEST(DdlCanonicalText, LowerCasesTheShardingMethod) {
    auto statement = parse_statement("CREATE COLLECTION c WITH PARAMS (sharding_method = 'CUSTOM')");
    ASSERT_TRUE(statement);
    EXPECT_EQ(format_statement(*statement), "CREATE COLLECTION c WITH PARAMS (sharding_method = 'custom')");
}

// Records no parser builds still print.
TEST(DdlCanonicalText, PrintsRecordsTheParserDoesNotBuild) {
    CollectionSettings both;
    both.quantization = QuantizationSettings{QuantizationKind::Scalar};
    both.quantization_update = QuantizationUpdate{false, QuantizationSettings{QuantizationKind::Binary}};
    EXPECT_EQ(format_collection_config_clauses(both), std::vector<std::string>{"WITH QUANTIZATION (type = 'scalar')"});
    both.quantization_update = QuantizationUpdate{true, std::nullopt};
    EXPECT_EQ(format_collection_config_clauses(both),
              (std::vector<std::string>{"WITH QUANTIZATION (type = 'scalar')", "WITH QUANTIZATION (disabled = true)"}));

    CollectionSettings diffs;
    diffs.vector_diffs.push_back(VectorDiff{"v"});
    diffs.sparse_vector_diffs.push_back(SparseVectorDiff{"s"});
    EXPECT_EQ(format_collection_config_clauses(diffs),
              (std::vector<std::string>{"WITH VECTOR v ()", "WITH SPARSE s (SPARSE ())"}));
    EXPECT_EQ(format_hnsw_config(HnswSettings{}), std::nullopt);
    EXPECT_EQ(format_vector_storage(VectorStorageSettings{}), std::nullopt);
    EXPECT_EQ(format_config_entries({}), std::nullopt);
}

// A definition alone stays on one line up to 80 characters (the estimate counts ", " after it).
TEST(DdlCanonicalText, LongSingleDefinitionBreaksPastEightyCharacters) {
    const std::string short_name(48, 'v');  // header 19 + 3 + (48 + 21 + 2) = 93 > 80
    auto statement = parse_statement("CREATE COLLECTION c (" + short_name + " VECTOR(4, COSINE))");
    ASSERT_TRUE(statement);
    EXPECT_EQ(format_statement(*statement), "CREATE COLLECTION c (\n  " + short_name + " VECTOR(4, COSINE)\n)");
    auto fits = parse_statement("CREATE COLLECTION c (" + std::string(35, 'v') + " VECTOR(4, COSINE))");
    ASSERT_TRUE(fits);
    EXPECT_EQ(format_statement(*fits), "CREATE COLLECTION c (" + std::string(35, 'v') + " VECTOR(4, COSINE))");
}

}  // namespace
}  // namespace zorv::core
