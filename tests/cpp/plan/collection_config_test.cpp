#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <ostream>
#include <string>

#include "core/parser/parser.h"
#include "plan/collection_config.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/collection_body.h"

namespace zorv::plan {
namespace {

using core::Literal;

struct BodyCase {
    std::string text;
    std::string body;
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.text; }

core::Result<PlanOp> plan_text(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement.has_value()) << text << "\n  " << (statement ? "" : core::format_error(statement.error()));
    if (!statement) return std::unexpected(statement.error());
    return plan_statement(*statement);
}

// Both body forms of a planned CREATE or ALTER COLLECTION, checked to agree.
std::string body_text(const PlanOp& op) {
    std::string text;
    JsonValue value;
    if (op.kind() == PlanOpKind::CreateCollection) {
        value = collection_config_body(op.get<PlanOpKind::CreateCollection>());
        write_collection_config_body(text, op.get<PlanOpKind::CreateCollection>());
    } else {
        value = collection_update_body(op.get<PlanOpKind::AlterCollection>());
        write_collection_update_body(text, op.get<PlanOpKind::AlterCollection>());
    }
    EXPECT_EQ(text, json_text(value));
    return text;
}

class CollectionBodies : public ::testing::TestWithParam<BodyCase> {};

TEST_P(CollectionBodies, LowerAndWrite) {
    auto op = plan_text(GetParam().text);
    ASSERT_TRUE(op.has_value()) << core::format_error(op.error());
    EXPECT_EQ(body_text(*op), GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(
    Create, CollectionBodies,
    ::testing::Values(
        BodyCase{"CREATE COLLECTION docs (v VECTOR(4, DOT))", R"({"vectors":{"v":{"distance":"Dot","size":4}}})"},
        // Names in byte order, sparse modifier idf by default, WAL only with what was given.
        BodyCase{"CREATE COLLECTION docs (B VECTOR(4, COSINE), a VECTOR(8, DOT), s SPARSE) WITH WAL "
                 "(wal_capacity_mb = 32)",
                 R"({"sparse_vectors":{"s":{"modifier":"idf"}},"vectors":{"B":{"distance":"Cosine","size":4},)"
                 R"("a":{"distance":"Dot","size":8}},"wal_config":{"wal_capacity_mb":32}})"},
        BodyCase{"CREATE COLLECTION docs", "{}"},
        BodyCase{"CREATE COLLECTION docs (a VECTOR(4, DOT), a VECTOR(8, EUCLID))",
                 R"({"vectors":{"a":{"distance":"Euclid","size":8}}})"},
        BodyCase{"CREATE COLLECTION docs (s SPARSE WITH SPARSE (modifier = 'NONE'), t SPARSE WITH INDEX (on_disk = "
                 "true, full_scan_threshold = 10) WITH SPARSE (datatype = 'uint8', memory = 'cold'))",
                 R"({"sparse_vectors":{"s":{"modifier":"none"},"t":{"index":{"datatype":"uint8",)"
                 R"("full_scan_threshold":10,"memory":"cold","on_disk":true},"modifier":"idf"}}})"},
        BodyCase{"CREATE COLLECTION docs WITH WAL ()", R"({"wal_config":{}})"},
        BodyCase{"CREATE COLLECTION docs WITH WAL (WAL_Capacity_MB = 4, wal_segments_ahead = 0)",
                 R"({"wal_config":{"wal_capacity_mb":4,"wal_segments_ahead":0}})"},
        BodyCase{"CREATE COLLECTION c (m VECTOR(128, DOT) WITH MULTIVECTOR (comparator = 'max_sim') WITH HNSW (m = 0))",
                 R"({"vectors":{"m":{"distance":"Dot","hnsw_config":{"m":0},)"
                 R"("multivector_config":{"comparator":"max_sim"},"size":128}}})"},
        // The collection-wide storage clause fills only what a vector left unset.
        BodyCase{"CREATE COLLECTION c (a VECTOR(4, DOT) WITH VECTOR (on_disk = false), b VECTOR(4, MANHATTAN)) "
                 "WITH VECTOR (on_disk = true, memory = 'pinned', datatype = 'float16')",
                 R"({"vectors":{"a":{"datatype":"float16","distance":"Dot","memory":"pinned","on_disk":false,)"
                 R"("size":4},"b":{"datatype":"float16","distance":"Manhattan","memory":"pinned","on_disk":true,)"
                 R"("size":4}}})"},
        BodyCase{"CREATE COLLECTION c WITH VECTOR (on_disk = true)", "{}"},
        // Quantization kinds: scalar type, product compression, turbo bit names.
        BodyCase{"CREATE COLLECTION c WITH QUANTIZATION (type = 'scalar')",
                 R"({"quantization_config":{"scalar":{"type":"int8"}}})"},
        BodyCase{"CREATE COLLECTION c WITH QUANTIZATION (type = 'scalar', quantile = 0.99, always_ram = true)",
                 R"({"quantization_config":{"scalar":{"always_ram":true,"quantile":0.99,"type":"int8"}}})"},
        BodyCase{"CREATE COLLECTION c WITH QUANTIZATION (type = 'product')",
                 R"({"quantization_config":{"product":{"compression":"x4"}}})"},
        BodyCase{"CREATE COLLECTION c WITH QUANTIZATION (type = 'product', compression = 'X32', memory = 'pinned')",
                 R"({"quantization_config":{"product":{"compression":"x32","memory":"pinned"}}})"},
        BodyCase{"CREATE COLLECTION c WITH QUANTIZATION (type = 'binary', encoding = 'two_bits', "
                 "query_encoding = 'scalar8bits')",
                 R"({"quantization_config":{"binary":{"encoding":"two_bits","query_encoding":"scalar8bits"}}})"},
        BodyCase{"CREATE COLLECTION c WITH QUANTIZATION (type = 'turbo')", R"({"quantization_config":{"turbo":{}}})"},
        BodyCase{"CREATE COLLECTION c WITH QUANTIZATION (type = 'turbo', bits = 1.5)",
                 R"({"quantization_config":{"turbo":{"bits":"bits1_5"}}})"},
        BodyCase{"CREATE COLLECTION c WITH QUANTIZATION (type = 'turbo', bits = 2.0)",
                 R"({"quantization_config":{"turbo":{"bits":"bits2"}}})"},
        BodyCase{"CREATE COLLECTION c WITH QUANTIZATION (disabled = true)", "{}"},
        BodyCase{"CREATE COLLECTION c WITH OPTIMIZERS (deleted_threshold = 0.2, max_optimization_threads = 'auto')",
                 R"({"optimizers_config":{"deleted_threshold":0.2,"max_optimization_threads":"auto"}})"},
        BodyCase{"CREATE COLLECTION c WITH OPTIMIZERS (max_optimization_threads = 4, prevent_unoptimized = true)",
                 R"({"optimizers_config":{"max_optimization_threads":4,"prevent_unoptimized":true}})"},
        // Read fan-out settings and shard keys are not part of the creation body.
        BodyCase{"CREATE COLLECTION c WITH PARAMS (replication_factor = 2, shard_number = 3, sharding_method = "
                 "'CUSTOM', on_disk_payload = true, payload_memory = 'cold', read_fan_out_factor = 2, "
                 "shard_keys = ['eu'])",
                 R"({"on_disk_payload":true,"payload":{"memory":"cold"},"replication_factor":2,)"
                 R"("shard_number":3,"sharding_method":"custom"})"},
        BodyCase{"CREATE COLLECTION c WITH STRICT_MODE (Enabled = true, max_query_limit = 100, max_timeout = 30, "
                 "search_max_oversampling = 2, multivector_config = {m: {max_vectors: 8}}, "
                 "sparse_config = {s: {}}, max_resident_memory_percent = 100)",
                 R"({"strict_mode_config":{"enabled":true,"max_query_limit":100,"max_resident_memory_percent":100,)"
                 R"("max_timeout":30,"multivector_config":{"m":{"max_vectors":8}},)"
                 R"("search_max_oversampling":2.0,"sparse_config":{"s":{}}}})"},
        BodyCase{"CREATE COLLECTION c WITH STRICT_MODE ()", R"({"strict_mode_config":{}})"},
        BodyCase{"CREATE COLLECTION c WITH METADATA (owner = 'ml', tags = ['a', 'b'], v = 3)",
                 R"({"metadata":{"owner":"ml","tags":["a","b"],"v":3}})"}));

INSTANTIATE_TEST_SUITE_P(
    Alter, CollectionBodies,
    ::testing::Values(
        BodyCase{"ALTER COLLECTION docs WITH PARAMS (replication_factor = 2)",
                 R"({"params":{"replication_factor":2}})"},
        BodyCase{"ALTER COLLECTION docs WITH PARAMS (payload_memory = 'cold', read_fan_out_delay_ms = 50)",
                 R"({"params":{"payload":{"memory":"cold"},"read_fan_out_delay_ms":50}})"},
        BodyCase{"ALTER COLLECTION docs WITH HNSW (ef_construct = 256)", R"({"hnsw_config":{"ef_construct":256}})"},
        BodyCase{"ALTER COLLECTION docs WITH QUANTIZATION (disabled = true)", R"({"quantization_config":"Disabled"})"},
        BodyCase{"ALTER COLLECTION docs WITH QUANTIZATION (type = 'product', compression = 'x16')",
                 R"({"quantization_config":{"product":{"compression":"x16"}}})"},
        BodyCase{"ALTER COLLECTION docs WITH VECTOR (on_disk = false) WITH VECTOR e (HNSW (m = 16), QUANTIZATION "
                 "(disabled = true))",
                 R"({"vectors":{"":{"on_disk":false},"e":{"hnsw_config":{"m":16},"quantization_config":"Disabled"}}})"},
        BodyCase{"ALTER COLLECTION docs WITH VECTOR 'title vec' (VECTOR (memory = 'cold'))",
                 R"({"vectors":{"title vec":{"memory":"cold"}}})"},
        // Without a modifier the sparse diff leaves it alone.
        BodyCase{"ALTER COLLECTION docs WITH SPARSE s (INDEX (full_scan_threshold = 100)) WITH SPARSE t (SPARSE "
                 "(modifier = 'none'))",
                 R"({"sparse_vectors":{"s":{"index":{"full_scan_threshold":100}},"t":{"modifier":"none"}}})"},
        BodyCase{"ALTER COLLECTION docs WITH OPTIMIZERS (max_optimization_threads = 'auto') WITH STRICT_MODE "
                 "(max_points_count = 1000) WITH METADATA (team = 'ml')",
                 R"({"metadata":{"team":"ml"},"optimizers_config":{"max_optimization_threads":"auto"},)"
                 R"("strict_mode_config":{"max_points_count":1000}})"}));

struct RefusalCase {
    std::string text;
    std::string code;
    std::string message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.text; }

class CollectionRefusals : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(CollectionRefusals, FailWithTheirMessage) {
    auto op = plan_text(GetParam().text);
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, GetParam().code);
    EXPECT_EQ(op.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(op.error().message, GetParam().message);
    EXPECT_FALSE(op.error().span.has_value());
}

constexpr const char* kConfig = "ZORV-PLAN-COLLECTION-CONFIG";

INSTANTIATE_TEST_SUITE_P(
    Text, CollectionRefusals,
    ::testing::Values(
        RefusalCase{"CREATE COLLECTION c WITH WAL (wal_capacity_mb = 0)", kConfig,
                    "wal_capacity_mb must be a positive integer"},
        RefusalCase{"CREATE COLLECTION c WITH WAL (wal_retain_closed = -1)", kConfig,
                    "wal_retain_closed must be a non-negative integer"},
        RefusalCase{"CREATE COLLECTION c WITH STRICT_MODE (max_query_limit = 0)", kConfig,
                    "max_query_limit must be a positive integer"},
        RefusalCase{"ALTER COLLECTION c WITH PARAMS (replication_factor = 2, shard_number = 2)", kConfig,
                    "shard_number / sharding_method / shard_keys are supported only for CREATE COLLECTION (use "
                    "CREATE/DROP SHARD KEY)"},
        RefusalCase{"ALTER COLLECTION c WITH PARAMS (sharding_method = 'auto')", kConfig,
                    "shard_number / sharding_method / shard_keys are supported only for CREATE COLLECTION (use "
                    "CREATE/DROP SHARD KEY)"}));

// What the parser already refuses, on trees built here.
core::AlterCollection alter_with(core::CollectionSettings settings) {
    return core::AlterCollection{"c", core::Box<core::CollectionSettings>(std::move(settings))};
}

void expect_refusal(const core::Result<PlanCollectionUpdate>& result, const std::string& code,
                    const std::string& message) {
    ASSERT_FALSE(result.has_value()) << message;
    EXPECT_EQ(result.error().code, code);
    EXPECT_EQ(result.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(result.error().message, message);
}

constexpr const char* kDiff = "ZORV-PLAN-VECTOR-DIFF";
constexpr const char* kDatatype =
    "datatype cannot be changed per vector: the Qdrant VectorParamsDiff wire shape has no datatype field. Recreate "
    "the collection or set the datatype at CREATE COLLECTION";

TEST(AlterCollectionTrees, RefuseWhatOnlyCreationSets) {
    core::CollectionSettings wal;
    wal.wal = core::LiteralDict{};
    expect_refusal(lower_alter_collection(alter_with(wal)), kConfig,
                   "WITH WAL is supported only for CREATE COLLECTION");

    core::CollectionSettings wal_options;
    wal_options.wal = core::LiteralDict{{"wal_capacity_mb", Literal::param("cap", core::Span{3, 7})}};
    auto with_span = lower_alter_collection(alter_with(wal_options));
    ASSERT_FALSE(with_span.has_value());
    EXPECT_EQ(with_span.error().span, (core::Span{3, 7}));

    core::CollectionSettings storage;
    storage.vectors = core::VectorStorageSettings{true, std::nullopt, core::VectorDatatype::Float16};
    expect_refusal(lower_alter_collection(alter_with(storage)), kDiff, kDatatype);

    core::CollectionSettings named;
    named.vector_diffs.push_back(
        core::VectorDiff{"new", std::nullopt, std::nullopt,
                         core::VectorStorageSettings{std::nullopt, std::nullopt, core::VectorDatatype::Uint8}});
    expect_refusal(lower_alter_collection(alter_with(named)), kDiff, kDatatype);
}

TEST(AlterCollectionTrees, RefuseASecondDiffForOneName) {
    core::CollectionSettings unnamed;
    unnamed.vectors = core::VectorStorageSettings{true, std::nullopt, std::nullopt};
    unnamed.vector_diffs.push_back(core::VectorDiff{"", std::nullopt, std::nullopt,
                                                    core::VectorStorageSettings{false, std::nullopt, std::nullopt}});
    expect_refusal(lower_alter_collection(alter_with(unnamed)), kDiff, "duplicate vector diff for '<default>'");

    core::CollectionSettings sparse;
    sparse.sparse_vector_diffs.push_back(core::SparseVectorDiff{"s", std::nullopt, "idf"});
    sparse.sparse_vector_diffs.push_back(core::SparseVectorDiff{"s", std::nullopt, "none"});
    expect_refusal(lower_alter_collection(alter_with(sparse)), kDiff, "duplicate sparse vector diff for 's'");
}

TEST(AlterCollectionTrees, ShardingIsRefusedBeforeStrictModeIsRead) {
    core::CollectionSettings settings;
    settings.params = core::CollectionParamsSettings{};
    settings.params->shard_keys = std::vector<core::ShardKey>{};
    settings.strict_mode = core::LiteralDict{{"bogus", Literal::int64(1)}};
    expect_refusal(lower_alter_collection(alter_with(settings)), kConfig,
                   "shard_number / sharding_method / shard_keys are supported only for CREATE COLLECTION (use "
                   "CREATE/DROP SHARD KEY)");
}

TEST(AlterCollectionTrees, ARemovalWinsAndAnUpdateBeatsAPlainClause) {
    core::QuantizationSettings scalar;
    core::QuantizationSettings product;
    product.qtype = core::QuantizationKind::Product;
    core::CollectionSettings settings;
    settings.quantization = scalar;
    settings.quantization_update = core::QuantizationUpdate{true, product};
    auto disabled = lower_alter_collection(alter_with(settings));
    ASSERT_TRUE(disabled.has_value());
    EXPECT_EQ(disabled->quantization_config, PlanQuantizationDiff(QuantizationDisabled{}));

    settings.quantization_update = core::QuantizationUpdate{false, product};
    auto updated = lower_alter_collection(alter_with(settings));
    ASSERT_TRUE(updated.has_value());
    EXPECT_EQ(updated->quantization_config, PlanQuantizationDiff(lower_quantization(product)));

    EXPECT_EQ(lower_alter_collection(alter_with({})).value(), PlanCollectionUpdate{});
}

struct OptionCase {
    Literal value;
    std::optional<std::uint64_t> nonnegative;  // nothing: refused
    std::optional<std::uint64_t> positive;
};

void PrintTo(const OptionCase& c, std::ostream* os) { *os << core::literal_debug(c.value); }

class IntegerOptions : public ::testing::TestWithParam<OptionCase> {};

TEST_P(IntegerOptions, ReadOnlyExactNonNegativeIntegers) {
    const OptionList options{{"Size", GetParam().value}};
    auto nonnegative = read_nonnegative_option(options, "size");
    auto positive = read_positive_option(options, "size");
    if (GetParam().nonnegative) {
        ASSERT_TRUE(nonnegative.has_value());
        EXPECT_EQ(*nonnegative, GetParam().nonnegative);
    } else {
        ASSERT_FALSE(nonnegative.has_value());
        EXPECT_EQ(nonnegative.error().message, "size must be a non-negative integer");
    }
    if (GetParam().positive) {
        ASSERT_TRUE(positive.has_value());
        EXPECT_EQ(*positive, GetParam().positive);
    } else {
        ASSERT_FALSE(positive.has_value());
        EXPECT_EQ(positive.error().message, "size must be a positive integer");
    }
}

INSTANTIATE_TEST_SUITE_P(Values, IntegerOptions,
                         ::testing::Values(OptionCase{Literal::int64(4), 4, 4},
                                           OptionCase{Literal::int64(0), 0, std::nullopt},
                                           OptionCase{Literal::int64(-1), std::nullopt, std::nullopt},
                                           OptionCase{Literal::f64(4.0), 4, 4},
                                           OptionCase{Literal::f64(0.0), 0, std::nullopt},
                                           OptionCase{Literal::f64(4.5), std::nullopt, std::nullopt},
                                           OptionCase{Literal::f64(1.8446744073709552e19), std::nullopt, std::nullopt},
                                           OptionCase{Literal::uint64(4), std::nullopt, std::nullopt},
                                           OptionCase{Literal::str("4"), std::nullopt, std::nullopt},
                                           OptionCase{Literal::boolean(true), std::nullopt, std::nullopt}));

TEST(CreateCollectionTrees, WalNamesAreCheckedBeforeValues) {
    core::CreateCollection create;
    create.collection = "c";
    core::CollectionSettings settings;
    settings.wal = core::LiteralDict{{"wal_capacity_mb", Literal::f64(4.5)}, {"wal_size", Literal::int64(1)}};
    create.config = core::Box<core::CollectionSettings>(settings);
    auto unknown = lower_create_collection(create);
    ASSERT_FALSE(unknown.has_value());
    EXPECT_EQ(unknown.error().message,
              "unknown WAL parameter 'wal_size'. Expected: wal_capacity_mb, wal_segments_ahead, wal_retain_closed");

    create.config->get()->wal->pop_back();
    auto fractional = lower_create_collection(create);
    ASSERT_FALSE(fractional.has_value());
    EXPECT_EQ(fractional.error().code, kConfig);
    EXPECT_EQ(fractional.error().message, "wal_capacity_mb must be a positive integer");
}

TEST(OptionReaders, FindTheFirstMatchIgnoringCaseAndPointAtAPlaceholder) {
    const OptionList options{{"A", Literal::int64(1)}, {"a", Literal::int64(2)}};
    ASSERT_NE(find_option(options, "a"), nullptr);
    EXPECT_EQ(*find_option(options, "a"), Literal::int64(1));
    EXPECT_EQ(find_option(options, "b"), nullptr);
    EXPECT_EQ(read_positive_option(options, "b").value(), std::nullopt);

    const OptionList placeholder{{"wal_capacity_mb", Literal::param("cap", core::Span{5, 9})}};
    auto result = read_positive_option(placeholder, "wal_capacity_mb");
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().span, (core::Span{5, 9}));
}

struct StrictCase {
    core::LiteralDict options;
    std::string message;
};

void PrintTo(const StrictCase& c, std::ostream* os) { *os << c.message; }

class StrictModeRefusals : public ::testing::TestWithParam<StrictCase> {};

TEST_P(StrictModeRefusals, FailWithTheirMessage) {
    auto result = lower_strict_mode(GetParam().options);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, kConfig);
    EXPECT_EQ(result.error().message, GetParam().message);
}

Literal dict(core::LiteralDict entries) { return Literal::dict(std::move(entries)); }

INSTANTIATE_TEST_SUITE_P(
    Trees, StrictModeRefusals,
    ::testing::Values(
        // Names are checked before any value.
        StrictCase{{{"enabled", Literal::int64(1)}, {"bogus", Literal::int64(1)}},
                   "unknown STRICT_MODE parameter 'bogus'"},
        StrictCase{{{"enabled", Literal::int64(1)}}, "enabled must be true or false"},
        StrictCase{{{"search_max_oversampling", Literal::str("2")}}, "search_max_oversampling must be a number"},
        StrictCase{{{"search_max_oversampling", Literal::f64(std::numeric_limits<double>::infinity())}},
                   "search_max_oversampling must be a number"},
        StrictCase{{{"max_resident_memory_percent", Literal::int64(0)}},
                   "max_resident_memory_percent must be an integer in [1, 100]"},
        StrictCase{{{"max_resident_memory_percent", Literal::int64(101)}},
                   "max_resident_memory_percent must be an integer in [1, 100]"},
        StrictCase{{{"max_resident_memory_percent", Literal::f64(50.0)}},
                   "max_resident_memory_percent must be an integer in [1, 100]"},
        StrictCase{{{"multivector_config", Literal::int64(1)}}, "multivector_config must be an object"},
        StrictCase{{{"multivector_config", dict({{"m", Literal::int64(1)}})}},
                   "multivector_config 'm' must be an object"},
        StrictCase{{{"multivector_config", dict({{"m", dict({{"max_length", Literal::int64(1)}})}})}},
                   "unknown multivector_config key 'max_length'. Expected: max_vectors"},
        StrictCase{{{"sparse_config", dict({{"text", dict({{"max_length", Literal::int64(0)}})}})}},
                   "max_length must be a positive integer"},
        StrictCase{{{"sparse_config", dict({{"text", dict({{"MAX_LENGTH", Literal::f64(3.0)}})}})}},
                   "max_length must be a positive integer"}));

TEST(StrictMode, AcceptsNegativeOversamplingAndZeroForNonNegativeFields) {
    auto config = lower_strict_mode(
        {{"Max_Query_Limit", Literal::int64(7)},
         {"max_query_limit", Literal::int64(0)},
         {"search_max_oversampling", Literal::f64(-1.5)},
         {"search_max_hnsw_ef", Literal::int64(0)},
         {"sparse_config", dict({{"t", dict({{"max_length", Literal::int64(5)}})}, {"t", dict({})}})}});
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->max_query_limit, 7U);
    EXPECT_EQ(config->search_max_oversampling, -1.5);
    EXPECT_EQ(config->search_max_hnsw_ef, 0U);
    EXPECT_EQ(config->sparse_config, (VectorNameMap<PlanSparseLimit>{{"t", PlanSparseLimit{}}}));
}

TEST(Quantization, TurboBitsNamesAndPlainNumbers) {
    const std::pair<double, std::string> cases[] = {{1.5, "bits1_5"}, {2.0, "bits2"}, {4.0, "bits4"},
                                                    {1.0, "bits1"},   {3.0, "bits3"}, {0.5, "bits0.5"}};
    for (const auto& [bits, name] : cases) {
        core::QuantizationSettings turbo;
        turbo.qtype = core::QuantizationKind::Turbo;
        turbo.bits = bits;
        EXPECT_EQ(std::get<PlanQuantization::Turbo>(lower_quantization(turbo).kind).bits, name) << bits;
    }
}

TEST(CreateSteps, ReadFanOutAndShardKeysNeedSeveralRequests) {
    const std::pair<std::string, bool> cases[] = {
        {"CREATE COLLECTION docs (v VECTOR(4, DOT))", false},
        {"CREATE COLLECTION docs (v VECTOR(4, DOT)) WITH PARAMS (sharding_method = 'custom', shard_keys = ['eu', 7])",
         true},
        {"CREATE COLLECTION docs WITH PARAMS (read_fan_out_delay_ms = 50)", true},
        {"CREATE COLLECTION docs WITH PARAMS (read_fan_out_factor = 2)", true},
        {"CREATE COLLECTION docs WITH PARAMS (sharding_method = 'custom', shard_number = 2)", false},
    };
    for (const auto& [text, multi] : cases) {
        auto op = plan_text(text);
        ASSERT_TRUE(op.has_value()) << text;
        EXPECT_EQ(needs_create_steps(op->get<PlanOpKind::CreateCollection>()), multi) << text;
    }
    CreateCollectionOp empty_keys{"docs", {}};
    empty_keys.config.shard_keys.emplace();
    EXPECT_FALSE(needs_create_steps(empty_keys));
}

TEST(CreateSteps, ShardKeysKeepTheirKinds) {
    auto op = plan_text("CREATE COLLECTION docs WITH PARAMS (sharding_method = 'custom', shard_keys = ['eu', 7])");
    ASSERT_TRUE(op.has_value());
    const auto& config = op->get<PlanOpKind::CreateCollection>().config;
    EXPECT_EQ(config.sharding_method, PlanShardingMethod::Custom);
    ASSERT_TRUE(config.shard_keys.has_value());
    EXPECT_EQ(*config.shard_keys, (std::vector<PlanShardKey>{std::string("eu"), std::uint64_t{7}}));
}

TEST(EntryWriters, WriteNullForUnsetAndDisabledForARemoval) {
    JsonObject obj;
    put_hnsw_config_entry(obj, std::nullopt);
    put_quantization_diff_entry(obj, std::nullopt);
    put_sparse_index_entry(obj, PlanSparseIndexParams{});
    EXPECT_EQ(json_text(obj), R"({"hnsw_config":null,"index":{},"quantization_config":null})");
    put_quantization_diff_entry(obj, QuantizationDisabled{});
    EXPECT_EQ(obj.at("quantization_config"), JsonValue("Disabled"));

    std::string text;
    {
        JsonObjectWriter writer(text);
        write_hnsw_config_entry(writer, PlanHnswConfig{.m = 8});
        write_quantization_diff_entry(writer, QuantizationDisabled{});
        write_sparse_index_entry(writer, std::nullopt);
    }
    EXPECT_EQ(text, R"({"hnsw_config":{"m":8},"quantization_config":"Disabled","index":null})");
}

TEST(BlockWriters, NonFiniteFloatsBecomeNullAndTheSingleFormIsTheVectorItself) {
    PlanOptimizersConfig optimizers;
    optimizers.deleted_threshold = std::nan("");
    EXPECT_EQ(json_text(optimizers_config_to_value(optimizers)), R"({"deleted_threshold":null})");

    PlanCollectionConfig config;
    config.vectors = PlanVectors(PlanVectorParams{.size = 3, .distance = PlanDistance::Euclid});
    EXPECT_EQ(json_text(collection_config_to_value(config)), R"({"vectors":{"distance":"Euclid","size":3}})");
    config.vectors = PlanVectors(VectorNameMap<PlanVectorParams>{});
    EXPECT_EQ(json_text(collection_config_to_value(config)), R"({"vectors":{}})");
    EXPECT_EQ(json_text(payload_storage_to_value(std::nullopt)), "{}");

    // A metadata name given twice keeps the later value.
    config.metadata = OptionList{{"owner", Literal::str("ml")}, {"owner", Literal::str("search")}};
    config.vectors.reset();
    EXPECT_EQ(json_text(collection_config_to_value(config)), R"({"metadata":{"owner":"search"}})");
}

// Every statement of the corpus lowers and writes both body forms.
TEST(CollectionCorpus, EveryStatementLowersAndWrites) {
    std::ifstream in(std::string(ZORV_TEST_DATA_DIR) + "/collection_corpus.zorv");
    ASSERT_TRUE(in.good());
    std::string line;
    int statements = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line.starts_with("--")) continue;
        ++statements;
        auto op = plan_text(line);
        ASSERT_TRUE(op.has_value()) << line << "\n  " << core::format_error(op.error());
        const std::string body = body_text(*op);
        EXPECT_TRUE(body.starts_with("{") && body.ends_with("}")) << line;
    }
    EXPECT_GT(statements, 0);
}

}  // namespace
}  // namespace zorv::plan
