// The settings lists of the collection DDL: every ZORV-VALIDATION-CONFIG message with the span of
// its whole list, the clause loop and its once-only rules, and the values the blocks read.
#include <gtest/gtest.h>

#include <string>

#include "core/parser/parser.h"
#include "core/parser/settings.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::ErrorCase;
using test_support::expect_error;
using test_support::must_parse;

constexpr ErrorKind P = ErrorKind::Parse;
constexpr ErrorKind V = ErrorKind::Validation;

// A settings list inside a statement: `head` + `list` + `tail`; the error spans the list.
struct ConfigCase {
    std::string head;
    std::string list;
    std::string message;
    std::string tail;
};

void PrintTo(const ConfigCase& c, std::ostream* os) { *os << c.head << c.list << c.tail; }

class ConfigErrorTest : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigErrorTest, FailsWithTheSpanOfTheWholeList) {
    const ConfigCase& c = GetParam();
    const std::string text = c.head + c.list + c.tail;
    const auto at = static_cast<int>(test_support::span_of(text, c.list).start == c.head.size() ? 0 : 1);
    expect_error(parse_statement(text), ErrorCase{text, "ZORV-VALIDATION-CONFIG", V, c.message, c.list, at});
}

const char* const kHnsw = "CREATE COLLECTION c WITH HNSW ";
const char* const kVector = "CREATE COLLECTION c WITH VECTOR ";
const char* const kSparse = "CREATE COLLECTION c (s SPARSE WITH SPARSE ";
const char* const kQuant = "CREATE COLLECTION c WITH QUANTIZATION ";
const char* const kMulti = "CREATE COLLECTION c (v VECTOR(4, DOT) WITH MULTIVECTOR ";
const char* const kParams = "ALTER COLLECTION c WITH PARAMS ";
const char* const kOpt = "CREATE COLLECTION c WITH OPTIMIZERS ";
const char* const kWal = "CREATE COLLECTION c WITH WAL ";
const char* const kStrict = "ALTER COLLECTION c WITH STRICT_MODE ";

const ConfigCase kBlockErrors[] = {
    // HNSW
    {kHnsw, "(foo = 1)",
     "unknown HNSW parameter 'foo'. Expected: m, ef_construct, full_scan_threshold, max_indexing_threads, on_disk, "
     "payload_m, inline_storage, memory"},
    {kHnsw, "(M = 'x')", "M must be an integer"},
    {kHnsw, "(m = 2)", "m must be 0 or >= 4"},
    {kHnsw, "(m = -1)", "m must be 0 or >= 4"},
    {kHnsw, "(m = 3.0)", "m must be 0 or >= 4"},
    {kHnsw, "(ef_construct = 0)", "ef_construct must be a positive integer"},
    {kHnsw, "(payload_m = 1.5)", "payload_m must be an integer"},
    // An integral float past the unsigned 64-bit range is no integer.
    {kHnsw, "(m = 1e20)", "m must be an integer"},
    {kHnsw, "(ef_construct = 1e30)", "ef_construct must be an integer"},
    {kHnsw, "(on_disk = 1)", "on_disk must be true or false"},
    {kHnsw, "(memory = 'hot')", "memory must be 'cold', 'cached', or 'pinned'"},
    {kHnsw, "(memory = 5)", "memory must be a string ('cold', 'cached', or 'pinned')"},
    // VECTOR
    {kVector, "(size = 3)", "unknown VECTOR parameter 'size'. Expected: on_disk, memory, datatype"},
    {kVector, "(datatype = 'f64')", "datatype must be float32, float16, uint8, or turbo4"},
    {kVector, "(datatype = 16)", "datatype must be a string (float32, float16, uint8, or turbo4)"},
    {kVector, "(on_disk = 'yes')", "on_disk must be true or false"},
    // SPARSE / INDEX
    {kSparse, "(foo = 1)",
     "unknown SPARSE/INDEX parameter 'foo'. Expected: modifier, full_scan_threshold, on_disk, datatype, memory", ")"},
    {kSparse, "(modifier = 'bm25')", "modifier must be none or idf for SPARSE vector", ")"},
    {kSparse, "(modifier = 1)", "modifier must be a string (none or idf) for SPARSE vector", ")"},
    {kSparse, "(datatype = 'turbo4')", "datatype must be float32, uint8, float16, or default for SPARSE index", ")"},
    {kSparse, "(datatype = 1)", "datatype must be a string for SPARSE index", ")"},
    {kSparse, "(memory = 'warm')", "memory must be 'cold', 'cached', or 'pinned', got 'warm'", ")"},
    {kSparse, "(memory = 3)", "memory must be a string ('cold', 'cached', or 'pinned')", ")"},
    {kSparse, "(full_scan_threshold = -1)", "full_scan_threshold must be a non-negative integer", ")"},
    {kSparse, "(full_scan_threshold = 1e30)", "full_scan_threshold must be a non-negative integer", ")"},
    // A non-boolean on_disk is refused, not ignored.
    {kSparse, "(ON_DISK = 'yes')", "ON_DISK must be true or false", ")"},
    // QUANTIZATION
    {kQuant, "()", "QUANTIZATION config requires a 'type' (scalar, binary, product, turbo)"},
    {kQuant, "(disabled = false)", "QUANTIZATION config requires a 'type' (scalar, binary, product, turbo)"},
    {kQuant, "(type = 1)", "QUANTIZATION 'type' must be a string"},
    {kQuant, "(type = 'Fancy')", "unknown QUANTIZATION type 'Fancy'. Expected scalar, binary, product, turbo"},
    {kQuant, "(type = 'scalar', bits = 2)", "unknown QUANTIZATION parameter 'bits' for type 'scalar'"},
    {kQuant, "(type = 'BINARY', quantile = 0.5)", "unknown QUANTIZATION parameter 'quantile' for type 'binary'"},
    {kQuant, "(type = 'scalar', quantile = 1.5)", "quantile must be between 0.0 and 1.0"},
    {kQuant, "(type = 'scalar', quantile = 'x')", "quantile must be between 0.0 and 1.0"},
    // A non-boolean always_ram is refused, not read as false.
    {kQuant, "(type = 'scalar', Always_Ram = 1)", "Always_Ram must be true or false"},
    {kQuant, "(type = 'binary', encoding = 3)",
     "encoding must be one_bit (1), two_bits (2), or one_and_half_bits (1.5) for BINARY quantization"},
    {kQuant, "(type = 'binary', encoding = 2.5)",
     "encoding must be one_bit (1), two_bits (2), or one_and_half_bits (1.5) for BINARY quantization"},
    {kQuant, "(type = 'binary', encoding = [1])", "encoding must be a string or number for BINARY quantization"},
    {kQuant, "(type = 'binary', query_encoding = 'x')",
     "query_encoding must be default, binary, scalar4bits, or scalar8bits for BINARY quantization"},
    {kQuant, "(type = 'binary', query_encoding = 1)", "query_encoding must be a string for BINARY quantization"},
    {kQuant, "(type = 'product', compression = 'x2')",
     "compression must be x4, x8, x16, x32, or x64 for PRODUCT quantization"},
    {kQuant, "(type = 'product', compression = 4)", "compression must be a string for PRODUCT quantization"},
    {kQuant, "(type = 'turbo', bits = 3)", "bits must be one of 1, 1.5, 2, or 4 for TURBO quantization"},
    {kQuant, "(type = 'turbo', bits = '2')", "bits must be a number (1, 1.5, 2, or 4) for TURBO quantization"},
    {kQuant, "(type = 'scalar', memory = 'warm')", "memory must be 'cold', 'cached', or 'pinned', got 'warm'"},
    // MULTIVECTOR
    {kMulti, "()", "MULTIVECTOR config requires 'comparator'", ")"},
    {kMulti, "(comparator = 1)", "MULTIVECTOR comparator must be a string", ")"},
    {kMulti, "(comparator = 'DOT')", "MULTIVECTOR comparator must be 'max_sim', got 'dot'", ")"},
};
INSTANTIATE_TEST_SUITE_P(Blocks, ConfigErrorTest, ::testing::ValuesIn(kBlockErrors));

const ConfigCase kClauseErrors[] = {
    // PARAMS
    {kParams, "(foo = 1)",
     "unknown PARAMS parameter 'foo'. Expected: replication_factor, write_consistency_factor, read_fan_out_factor, "
     "read_fan_out_delay_ms, on_disk_payload, payload_memory, shard_number, sharding_method, shard_keys"},
    {kParams, "(replication_factor = 0)", "replication_factor must be a positive integer"},
    {kParams, "(Replication_Factor = 'two')", "Replication_Factor must be an integer"},
    {kParams, "(replication_factor = 2.0)", "replication_factor must be an integer"},
    {kParams, "(shard_number = -3)", "shard_number must be a positive integer"},
    {kParams, "(read_fan_out_delay_ms = -1)", "read_fan_out_delay_ms must be a non-negative integer"},
    {kParams, "(on_disk_payload = 1)", "on_disk_payload must be true or false"},
    {kParams, "(payload_memory = 'pinned')", "payload_memory does not support 'pinned'"},
    {kParams, "(payload_memory = 'warm')", "payload_memory must be 'cold', 'cached', or 'pinned'"},
    {kParams, "(payload_memory = 1)", "payload_memory must be a string ('cold', 'cached', or 'pinned')"},
    {kParams, "(sharding_method = 'random')", "sharding_method must be 'auto' or 'custom'"},
    {kParams, "(sharding_method = 1)", "sharding_method must be a string ('auto' or 'custom')"},
    {kParams, "(shard_keys = 'a')", "shard_keys must be a list of strings or non-negative integers"},
    {kParams, "(shard_keys = [])", "shard_keys must be a non-empty list of strings or non-negative integers"},
    {kParams, "(shard_keys = [-1])", "shard_keys entries must all be strings or non-negative integers"},
    // OPTIMIZERS
    {kOpt, "(foo = 1)",
     "unknown OPTIMIZERS parameter 'foo'. Expected: deleted_threshold, vacuum_min_vector_number, "
     "default_segment_number, max_segment_size, memmap_threshold, indexing_threshold, flush_interval_sec, "
     "max_optimization_threads, prevent_unoptimized"},
    {kOpt, "(deleted_threshold = 'x')", "deleted_threshold must be a number"},
    {kOpt, "(deleted_threshold = 2)", "deleted_threshold must be between 0.0 and 1.0"},
    {kOpt, "(deleted_threshold = 1.5)", "deleted_threshold must be between 0.0 and 1.0"},
    {kOpt, "(prevent_unoptimized = 1)", "prevent_unoptimized must be true or false"},
    {kOpt, "(Max_Optimization_Threads = true)", "Max_Optimization_Threads must be a positive integer or 'auto'"},
    {kOpt, "(max_optimization_threads = 0)", "max_optimization_threads must be a positive integer or 'auto'"},
    {kOpt, "(max_optimization_threads = 'many')", "max_optimization_threads must be a positive integer or 'auto'"},
    {kOpt, "(max_optimization_threads = 1e30)", "max_optimization_threads must be a positive integer or 'auto'"},
    {kOpt, "(max_segment_size = 2.5)", "max_segment_size must be an integer"},
    {kOpt, "(max_segment_size = 1e20)", "max_segment_size must be an integer"},
    {kOpt, "(flush_interval_sec = 0)", "flush_interval_sec must be a positive integer"},
    {kOpt, "(memmap_threshold = -5)", "memmap_threshold must be a non-negative integer"},
    // WAL
    {kWal, "(foo = 1)",
     "unknown WAL parameter 'foo'. Expected: wal_capacity_mb, wal_segments_ahead, wal_retain_closed"},
    {kWal, "(wal_capacity_mb = '32')", "wal_capacity_mb must be an integer"},
    // STRICT_MODE
    {kStrict, "(foo = 1)",
     "unknown STRICT_MODE parameter 'foo'. Expected: enabled, max_query_limit, max_timeout, "
     "unindexed_filtering_retrieve, unindexed_filtering_update, search_max_hnsw_ef, search_allow_exact, "
     "search_max_oversampling, upsert_max_batchsize, search_max_batchsize, max_collection_vector_size_bytes, "
     "read_rate_limit, write_rate_limit, max_collection_payload_size_bytes, max_points_count, "
     "filter_max_conditions, condition_max_size, multivector_config, sparse_config, max_payload_index_count, "
     "max_resident_memory_percent"},
    {kStrict, "(max_timeout = 1.5)", "max_timeout must be an integer"},
    {kStrict, "(sparse_config = 5)", "sparse_config must be an object"},
    {kStrict, "(Enabled = 1)", "Enabled must be true or false"},
    {kStrict, "(search_max_oversampling = 'x')", "search_max_oversampling must be a number"},
    // Blocks inside an ALTER vector diff keep the list span.
    {"ALTER COLLECTION c WITH VECTOR v (HNSW ", "(m = 2)", "m must be 0 or >= 4", ")"},
};
INSTANTIATE_TEST_SUITE_P(Clauses, ConfigErrorTest, ::testing::ValuesIn(kClauseErrors));

// ---- the clause loop, once-only merging and vector diffs ---------------------------------------

class ClauseLoopErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ClauseLoopErrorTest, FailsWithCodeMessageAndSpan) { expect_error(parse_statement(GetParam().text), GetParam()); }

const char* const kCreateClauses =
    "expected HNSW, VECTOR, OPTIMIZERS, PARAMS, QUANTIZATION, WAL, STRICT_MODE, or METADATA after WITH, got ";
const char* const kAlterClauses =
    "expected HNSW, VECTOR, SPARSE, OPTIMIZERS, PARAMS, QUANTIZATION, STRICT_MODE, or METADATA after WITH, got ";
const char* const kConfig = "ZORV-VALIDATION-CONFIG";
const char* const kDiff = "ZORV-PARSE-VECTOR-DIFF";

const ErrorCase kLoopErrors[] = {
    {"CREATE COLLECTION c WITH FOO (x = 1)", kConfig, V, std::string(kCreateClauses) + "'FOO'", "FOO"},
    {"ALTER COLLECTION c WITH FOO (x = 1)", kConfig, V, std::string(kAlterClauses) + "'FOO'", "FOO"},
    {"CREATE COLLECTION c WITH", kConfig, V, std::string(kCreateClauses) + "''", ""},
    {"CREATE COLLECTION c WITH SPARSE s (SPARSE (modifier = 'idf'))", kConfig, V,
     std::string(kCreateClauses) + "'SPARSE'", "SPARSE"},
    {"ALTER COLLECTION c WITH WAL (wal_capacity_mb = 1)", kConfig, V,
     "WITH WAL is supported only for CREATE COLLECTION", "("},
    {"ALTER COLLECTION c WITH WAL", kConfig, V, "WITH WAL is supported only for CREATE COLLECTION", ""},
    // Once-only: the span is the token after the repeated clause.
    {"CREATE COLLECTION c WITH HNSW (m = 16) WITH HNSW (ef_construct = 100)", kConfig, V,
     "HNSW clause may only appear once", ""},
    {"CREATE COLLECTION c WITH VECTOR (on_disk = true) WITH VECTOR (memory = 'cold') WITH HNSW (m = 4)", kConfig, V,
     "VECTOR clause may only appear once", "WITH", 2},
    {"ALTER COLLECTION c WITH OPTIMIZERS () WITH OPTIMIZERS ()", kConfig, V, "OPTIMIZERS clause may only appear once",
     ""},
    {"ALTER COLLECTION c WITH PARAMS () WITH PARAMS ()", kConfig, V, "PARAMS clause may only appear once", ""},
    {"CREATE COLLECTION c WITH QUANTIZATION (disabled = true) WITH QUANTIZATION (type = 'scalar')", kConfig, V,
     "QUANTIZATION clause may only appear once", ""},
    {"CREATE COLLECTION c WITH WAL () WITH WAL ()", kConfig, V, "WAL clause may only appear once", ""},
    {"ALTER COLLECTION c WITH STRICT_MODE () WITH STRICT_MODE ()", kConfig, V,
     "STRICT_MODE clause may only appear once", ""},
    {"ALTER COLLECTION c WITH METADATA () WITH METADATA ()", kConfig, V, "METADATA clause may only appear once", ""},
    {"ALTER COLLECTION c WITH VECTOR v (HNSW (m = 16)) WITH VECTOR v (VECTOR (on_disk = true))", kConfig, V,
     "VECTOR diff 'v' may only appear once", ""},
    {"ALTER COLLECTION c WITH SPARSE s (INDEX (on_disk = true)) WITH SPARSE s (SPARSE (modifier = 'idf'))", kConfig, V,
     "SPARSE vector diff 's' may only appear once", ""},
    // Vector diffs
    {"ALTER COLLECTION c WITH VECTOR v ()", kDiff, P,
     "vector diff 'v' requires at least one of HNSW (...), QUANTIZATION (...), or VECTOR (...)", ")"},
    {"ALTER COLLECTION c WITH VECTOR v (VECTOR (datatype = 'uint8', on_disk = true))", kDiff, P,
     "datatype cannot be changed per vector: the Qdrant VectorParamsDiff wire shape has no datatype field", "VECTOR",
     1},
    {"ALTER COLLECTION c WITH VECTOR v (VECTOR ())", kDiff, P,
     "VECTOR (...) in vector diff 'v' requires on_disk or memory", "VECTOR", 1},
    {"ALTER COLLECTION c WITH VECTOR v (HNSW ())", kDiff, P,
     "HNSW (...) in vector diff 'v' requires at least one setting", "HNSW"},
    {"ALTER COLLECTION c WITH VECTOR v (HNSW (m = 16), HNSW (m = 32))", kDiff, P,
     "duplicate HNSW block in vector diff 'v'", "HNSW", 1},
    {"ALTER COLLECTION c WITH VECTOR v (QUANTIZATION (disabled = true), QUANTIZATION (disabled = true))", kDiff, P,
     "duplicate QUANTIZATION block in vector diff 'v'", "QUANTIZATION", 1},
    {"ALTER COLLECTION c WITH VECTOR v (VECTOR (on_disk = true), VECTOR (memory = 'cold'))", kDiff, P,
     "duplicate VECTOR block in vector diff 'v'", "VECTOR", 2},
    {"ALTER COLLECTION c WITH VECTOR v (FOO (x = 1))", kDiff, P,
     "expected HNSW (...), QUANTIZATION (...), or VECTOR (...) in vector diff 'v', got 'FOO'", "FOO"},
    {"ALTER COLLECTION c WITH VECTOR v (HNSW (m = 16),", kDiff, P,
     "expected HNSW (...), QUANTIZATION (...), or VECTOR (...) in vector diff 'v', got ''", ""},
    {"ALTER COLLECTION c WITH VECTOR v (HNSW (m = 16),)", "ZORV-PARSE-TRAILING-COMMA", P,
     "trailing commas are not allowed", ")", 1},
    {"ALTER COLLECTION c WITH VECTOR v (HNSW (m = 16) VECTOR (on_disk = true))", "ZORV-PARSE-EXPECTED", P,
     "expected RPAREN but got 'VECTOR'", "VECTOR", 1},
    {"ALTER COLLECTION c WITH SPARSE s (FOO (x = 1))", kDiff, P,
     "expected SPARSE (...) or INDEX (...) in sparse vector diff 's', got 'FOO'", "FOO"},
    {"ALTER COLLECTION c WITH SPARSE s (", kDiff, P,
     "expected SPARSE (...) or INDEX (...) in sparse vector diff 's', got ''", ""},
    {"ALTER COLLECTION c WITH SPARSE s (SPARSE ())", kDiff, P,
     "SPARSE (...) in sparse vector diff 's' requires at least one setting", "SPARSE", 1},
    {"ALTER COLLECTION c WITH SPARSE s (INDEX (on_disk = true), INDEX (on_disk = false))", "ZORV-PARSE-EXPECTED", P,
     "expected RPAREN but got ','", ","},
    // Errors of the list reader keep their own codes.
    {"CREATE COLLECTION c WITH HNSW (m = 16, M = 32)", "ZORV-PARSE-DUPLICATE-KEY", P, "duplicate configuration key 'M'",
     "M"},
    {"CREATE COLLECTION c WITH PARAMS (shard_number = 2,)", "ZORV-PARSE-TRAILING-COMMA", P,
     "trailing commas are not allowed", ")"},
};
INSTANTIATE_TEST_SUITE_P(Loop, ClauseLoopErrorTest, ::testing::ValuesIn(kLoopErrors));

// ---- value rules ------------------------------------------------------------------------------

// An integral float from 2^64 up is no integer: converting it would be undefined.
TEST(SettingsValueRules, IntegralFloatsPastTheUnsignedRangeAreNoIntegers) {
    EXPECT_EQ(integral_float(18446744073709549568.0), 18446744073709549568u);  // the largest below 2^64
    EXPECT_EQ(integral_float(18446744073709551616.0), std::nullopt);
    EXPECT_EQ(integral_float(-0.5), std::nullopt);
    const LiteralDict list{{"N", Literal::f64(1e30)}, {"ok", Literal::f64(3.0)}};
    const Span span{4, 9};
    auto positive = config_positive_integer(list, "n", span);
    ASSERT_FALSE(positive);
    EXPECT_EQ(positive.error().message, "n must be a positive integer");
    EXPECT_EQ(positive.error().span, span);
    auto nonnegative = config_nonnegative_integer(list, "n", span);
    ASSERT_FALSE(nonnegative);
    EXPECT_EQ(nonnegative.error().message, "n must be a non-negative integer");
    auto integral = config_positive_integer(list, "OK", span);
    ASSERT_TRUE(integral);
    EXPECT_EQ(*integral, std::optional<std::uint64_t>(3));
    auto absent = config_positive_integer(list, "absent", span);
    ASSERT_TRUE(absent);
    EXPECT_EQ(*absent, std::optional<std::uint64_t>());
}

// ---- values -------------------------------------------------------------------------------------

CollectionSettings create_config(const std::string& clauses) {
    CreateCollection create = must_parse<StatementKind::CreateCollection>("CREATE COLLECTION c " + clauses);
    EXPECT_TRUE(create.config.has_value()) << clauses;
    return create.config ? **create.config : CollectionSettings{};
}

CollectionSettings alter_config(const std::string& clauses) {
    return *must_parse<StatementKind::AlterCollection>("ALTER COLLECTION c " + clauses).config;
}

TEST(SettingsBlocks, HnswReadsEachSetting) {
    const CollectionSettings s = create_config(
        "WITH HNSW (m = 16.0, EF_CONSTRUCT = 100, full_scan_threshold = 0, max_indexing_threads = 2, on_disk = true, "
        "payload_m = 8, inline_storage = false, memory = 'PINNED')");
    HnswSettings expected{16, 100, 0, 2, true, 8, false, StorageTier::Pinned};
    EXPECT_EQ(s.hnsw, expected);
    EXPECT_EQ(create_config("WITH HNSW (m = 0)").hnsw->m, 0u);
    EXPECT_EQ(create_config("WITH HNSW ()").hnsw, HnswSettings{});
}

TEST(SettingsBlocks, VectorStorageReadsDatatypeAliases) {
    EXPECT_EQ(create_config("WITH VECTOR (datatype = 'F16', memory = 'cached')").vectors,
              (VectorStorageSettings{std::nullopt, StorageTier::Cached, VectorDatatype::Float16}));
    EXPECT_EQ(create_config("WITH VECTOR ()").vectors, VectorStorageSettings{});
}

TEST(SettingsBlocks, SparseBlockGivesIndexOnlyWhenAnIndexSettingIsSet) {
    auto sparse = [](const std::string& block) {
        const auto create =
            must_parse<StatementKind::CreateCollection>("CREATE COLLECTION c (s SPARSE WITH " + block + ")");
        return create.sparse_vectors.empty() ? SparseVectorDef{} : create.sparse_vectors.front();
    };
    EXPECT_EQ(sparse("SPARSE (modifier = 'IDF')"), (SparseVectorDef{"s", std::nullopt, "idf"}));
    EXPECT_EQ(sparse("INDEX (datatype = 'default')"), (SparseVectorDef{"s", std::nullopt, std::nullopt}));
    EXPECT_EQ(sparse("INDEX (memory = 'cold')").index,
              (SparseIndexSettings{std::nullopt, std::nullopt, std::nullopt, StorageTier::Cold}));
    // A later block replaces the settings it gives and keeps the others.
    EXPECT_EQ(sparse("INDEX (on_disk = true, full_scan_threshold = 5, datatype = 'u8') WITH SPARSE "
                     "(full_scan_threshold = 7, modifier = 'none')"),
              (SparseVectorDef{"s", SparseIndexSettings{7, true, VectorDatatype::Uint8, std::nullopt}, "none"}));
}

TEST(SettingsBlocks, QuantizationKindsReadTheirSettings) {
    auto quantization = [](const std::string& list) {
        return create_config("WITH QUANTIZATION " + list).quantization.value_or(QuantizationSettings{});
    };
    QuantizationSettings scalar{QuantizationKind::Scalar, true, 0.99};
    EXPECT_EQ(quantization("(type = 'Scalar', quantile = 0.99, always_ram = true)"), scalar);
    EXPECT_EQ(quantization("(type = 'binary', encoding = 2)").encoding, "two_bits");
    EXPECT_EQ(quantization("(type = 'binary', encoding = 1.5)").encoding, "one_and_half_bits");
    EXPECT_EQ(quantization("(type = 'binary', encoding = 'OneAndHalfBits')").encoding, "one_and_half_bits");
    EXPECT_EQ(quantization("(type = 'binary', encoding = 1.0)").encoding, "one_bit");
    EXPECT_EQ(quantization("(type = 'binary', query_encoding = 'Scalar8Bits')").query_encoding, "scalar8bits");
    EXPECT_EQ(quantization("(type = 'product', compression = 'X16')").compression, "x16");
    EXPECT_EQ(quantization("(type = 'turbo', bits = 1.5, memory = 'cold')").bits, 1.5);
    EXPECT_EQ(quantization("(type = 'turbo', bits = 2)").bits, 2.0);
}

TEST(SettingsBlocks, DisablingQuantizationIgnoresTheRestOfTheBlock) {
    const CollectionSettings s = create_config("WITH QUANTIZATION (disabled = true, type = 'nonsense', x = 1)");
    EXPECT_EQ(s.quantization_update, (QuantizationUpdate{true, std::nullopt}));
    EXPECT_FALSE(s.quantization.has_value());
    // A configuring block sets both fields.
    const CollectionSettings on = create_config("WITH QUANTIZATION (type = 'scalar')");
    EXPECT_EQ(on.quantization_update, (QuantizationUpdate{false, on.quantization}));
}

TEST(SettingsBlocks, MultivectorAcceptsMaxSimInAnyCase) {
    const auto create = must_parse<StatementKind::CreateCollection>(
        "CREATE COLLECTION c (v VECTOR(4, DOT) WITH MULTIVECTOR (comparator = 'MAX_SIM', other = 1))");
    ASSERT_EQ(create.vectors.size(), 1u);
    EXPECT_TRUE(create.vectors[0].multivector);
}

TEST(CollectionClauses, OptimizersReadTheirValues) {
    const CollectionSettings s = create_config(
        "WITH OPTIMIZERS (deleted_threshold = 1, vacuum_min_vector_number = 10, default_segment_number = 2.0, "
        "max_segment_size = 5, memmap_threshold = 0, indexing_threshold = 0, flush_interval_sec = 3, "
        "max_optimization_threads = 'AUTO', prevent_unoptimized = false)");
    OptimizerSettings expected{1.0, 10, 2, 5, 0, 0, 3, ThreadCount{true, 0}, false};
    EXPECT_EQ(s.optimizers, expected);
    EXPECT_EQ(create_config("WITH OPTIMIZERS (max_optimization_threads = 4.0)").optimizers->max_optimization_threads,
              (ThreadCount{false, 4}));
}

TEST(CollectionClauses, ParamsReadTheirValues) {
    const CollectionSettings s = create_config(
        "WITH PARAMS (replication_factor = 2, write_consistency_factor = 1, read_fan_out_factor = 3, "
        "read_fan_out_delay_ms = 0, on_disk_payload = true, payload_memory = 'Cold', shard_number = 4, "
        "sharding_method = 'CUSTOM', shard_keys = ['a', 3, :k, ?])");
    CollectionParamsSettings expected{2, 1, 3, 0, true, StorageTier::Cold, 4, "CUSTOM", std::vector<ShardKey>{}};
    expected.shard_keys = std::vector<ShardKey>{ShardKey{std::string("a")}, ShardKey{std::uint64_t{3}},
                                                ShardKey{Placeholder::named("k")},
                                                ShardKey{Placeholder::positional(0)}};
    EXPECT_EQ(s.params, expected);
    EXPECT_EQ(create_config("WITH PARAMS ()").params, CollectionParamsSettings{});
}

TEST(CollectionClauses, EntryListsAreStoredAsWritten) {
    const CollectionSettings s = create_config(
        "WITH WAL (wal_capacity_mb = 32, WAL_RETAIN_CLOSED = 1) WITH STRICT_MODE (search_max_oversampling = 1.5, "
        "sparse_config = {bm25: {max_length: 9}}) WITH METADATA (owner = 'me', tags = ['a'])");
    EXPECT_EQ(s.wal, (LiteralDict{{"wal_capacity_mb", Literal::int64(32)}, {"WAL_RETAIN_CLOSED", Literal::int64(1)}}));
    ASSERT_TRUE(s.strict_mode.has_value());
    EXPECT_EQ(s.strict_mode->size(), 2u);
    EXPECT_EQ(s.metadata, (LiteralDict{{"owner", Literal::str("me")}, {"tags", Literal::list({Literal::str("a")})}}));
    EXPECT_EQ(create_config("WITH METADATA ()").metadata, LiteralDict{});
}

TEST(CollectionClauses, AlterReadsCollectionBlocksAndVectorDiffs) {
    EXPECT_EQ(alter_config("WITH VECTOR (on_disk = true)").vectors, (VectorStorageSettings{true}));
    const CollectionSettings s = alter_config(
        "WITH VECTOR v (VECTOR (memory = 'cold'), HNSW (m = 0)) WITH VECTOR V (QUANTIZATION "
        "(disabled = true)) WITH SPARSE s (SPARSE (modifier = 'IDF')) WITH SPARSE t (INDEX (on_disk = true))");
    ASSERT_EQ(s.vector_diffs.size(), 2u);
    EXPECT_EQ(s.vector_diffs[0],
              (VectorDiff{"v", HnswSettings{0}, std::nullopt, VectorStorageSettings{std::nullopt, StorageTier::Cold}}));
    EXPECT_EQ(s.vector_diffs[1], (VectorDiff{"V", std::nullopt, QuantizationUpdate{true}, std::nullopt}));
    ASSERT_EQ(s.sparse_vector_diffs.size(), 2u);
    EXPECT_EQ(s.sparse_vector_diffs[0], (SparseVectorDiff{"s", std::nullopt, "idf"}));
    EXPECT_EQ(s.sparse_vector_diffs[1], (SparseVectorDiff{"t", SparseIndexSettings{std::nullopt, true}, std::nullopt}));
}

}  // namespace
}  // namespace zorv::core
