// The WITH clauses of CREATE and ALTER COLLECTION: the clause loop, the once-only merge, the
// collection-wide clauses (PARAMS, OPTIMIZERS, WAL, STRICT_MODE, METADATA) and ALTER's vector diffs.
#include "core/parser/collection_config.h"

#include <array>
#include <string>

#include "core/parser/settings.h"
#include "core/text.h"

namespace zorv::core {
namespace {

using Kind = Literal::Kind;

template <std::size_t N>
std::string joined(const std::array<std::string_view, N>& names) {
    std::string out;
    for (std::string_view name : names) {
        if (!out.empty()) out += ", ";
        out += name;
    }
    return out;
}

std::unexpected<ZorvError> must_be(std::string_view key, std::string_view what, Span span) {
    return config_error(escape_for_message(key) + " must be " + std::string(what), span);
}

bool is_integer(const Literal& value) { return value.is(Kind::Int) || value.is(Kind::UInt); }
bool is_number(const Literal& value) { return is_integer(value) || value.is(Kind::Float); }

// Unknown keys fail with "unknown {clause} parameter '{key}'. Expected: {keys}".
template <std::size_t N>
Result<void> check_known_key(std::string_view clause, const LiteralEntry& entry,
                             const std::array<std::string_view, N>& keys, Span span) {
    if (is_one_of(entry.first, keys)) return {};
    return config_error("unknown " + std::string(clause) + " parameter " + quote_for_message(entry.first) +
                            ". Expected: " + joined(keys),
                        span);
}

constexpr std::array<std::string_view, 9> params_keys = {"replication_factor",  "write_consistency_factor",
                                                         "read_fan_out_factor", "read_fan_out_delay_ms",
                                                         "on_disk_payload",     "payload_memory",
                                                         "shard_number",        "sharding_method",
                                                         "shard_keys"};

constexpr std::array<std::string_view, 9> optimizers_keys = {"deleted_threshold",      "vacuum_min_vector_number",
                                                             "default_segment_number", "max_segment_size",
                                                             "memmap_threshold",       "indexing_threshold",
                                                             "flush_interval_sec",     "max_optimization_threads",
                                                             "prevent_unoptimized"};

constexpr std::array<std::string_view, 3> wal_keys = {"wal_capacity_mb", "wal_segments_ahead", "wal_retain_closed"};

constexpr std::array<std::string_view, 21> strict_mode_keys = {"enabled",
                                                               "max_query_limit",
                                                               "max_timeout",
                                                               "unindexed_filtering_retrieve",
                                                               "unindexed_filtering_update",
                                                               "search_max_hnsw_ef",
                                                               "search_allow_exact",
                                                               "search_max_oversampling",
                                                               "upsert_max_batchsize",
                                                               "search_max_batchsize",
                                                               "max_collection_vector_size_bytes",
                                                               "read_rate_limit",
                                                               "write_rate_limit",
                                                               "max_collection_payload_size_bytes",
                                                               "max_points_count",
                                                               "filter_max_conditions",
                                                               "condition_max_size",
                                                               "multivector_config",
                                                               "sparse_config",
                                                               "max_payload_index_count",
                                                               "max_resident_memory_percent"};

Result<void> check_shard_keys_value(const Literal& value, Span span) {
    if (!value.is(Kind::List))
        return config_error("shard_keys must be a list of strings or non-negative integers", span);
    if (value.as_list().empty()) {
        return config_error("shard_keys must be a non-empty list of strings or non-negative integers", span);
    }
    for (const Literal& item : value.as_list()) {
        const bool ok = item.is(Kind::Str) || item.is(Kind::UInt) || item.is_placeholder() ||
                        (item.is(Kind::Int) && item.as_int() >= 0);
        if (!ok) return config_error("shard_keys entries must all be strings or non-negative integers", span);
    }
    return {};
}

std::vector<ShardKey> shard_keys_of(const Literal& value) {
    std::vector<ShardKey> keys;
    for (const Literal& item : value.as_list()) {
        if (item.is(Kind::Str)) keys.push_back(ShardKey{item.as_str()});
        else if (item.is(Kind::Int)) keys.push_back(ShardKey{static_cast<std::uint64_t>(item.as_int())});
        else if (item.is(Kind::UInt)) keys.push_back(ShardKey{item.as_uint()});
        else keys.push_back(ShardKey{item.as_placeholder()});
    }
    return keys;
}

// params-clause: PARAMS settings-list
Result<CollectionParamsSettings> parse_params_clause(Parser& parser) {
    const auto [list, span] = ZORV_TRY(read_settings_list(parser));
    for (const LiteralEntry& entry : list) {
        ZORV_CHECK(check_known_key("PARAMS", entry, params_keys, span));
        ZORV_CHECK(check_params_entry(entry, span));
    }
    CollectionParamsSettings params;
    params.replication_factor = ZORV_TRY(config_positive_integer(list, "replication_factor", span));
    params.write_consistency_factor = ZORV_TRY(config_positive_integer(list, "write_consistency_factor", span));
    params.read_fan_out_factor = ZORV_TRY(config_positive_integer(list, "read_fan_out_factor", span));
    params.read_fan_out_delay_ms = ZORV_TRY(config_nonnegative_integer(list, "read_fan_out_delay_ms", span));
    params.on_disk_payload = config_bool(list, "on_disk_payload");
    params.payload_memory = ZORV_TRY(config_storage_tier(list, "payload_memory", span, false));
    params.shard_number = ZORV_TRY(config_positive_integer(list, "shard_number", span));
    if (const LiteralEntry* entry = find_config_entry(list, "sharding_method")) {
        params.sharding_method = entry->second.as_str();
    }
    if (const LiteralEntry* entry = find_config_entry(list, "shard_keys")) {
        params.shard_keys = shard_keys_of(entry->second);
    }
    return params;
}

Result<void> check_deleted_threshold(const Literal& value, Span span) {
    const bool in_range = value.is(Kind::Int)    ? (value.as_int() == 0 || value.as_int() == 1)
                          : value.is(Kind::UInt) ? value.as_uint() <= 1
                                                 : (value.as_float() >= 0.0 && value.as_float() <= 1.0);
    if (!in_range) return config_error("deleted_threshold must be between 0.0 and 1.0", span);
    return {};
}

Result<void> check_thread_count(const Literal& value, Span span) {
    bool ok = false;
    if (value.is(Kind::Str)) ok = equals_ignore_case(value.as_str(), "auto");
    else if (value.is(Kind::Int)) ok = value.as_int() >= 1;
    else if (value.is(Kind::UInt)) ok = true;
    else if (value.is(Kind::Float)) ok = value.as_float() >= 1.0;
    if (!ok) return config_error("max_optimization_threads must be a positive integer or 'auto'", span);
    return {};
}

ThreadCount thread_count_of(const Literal& value) {
    if (value.is(Kind::Str)) return ThreadCount{true, 0};
    return ThreadCount{false, nonnegative_integral(value).value_or(0)};
}

// optimizers-clause: OPTIMIZERS settings-list
Result<OptimizerSettings> parse_optimizers_clause(Parser& parser) {
    const auto [list, span] = ZORV_TRY(read_settings_list(parser));
    for (const LiteralEntry& entry : list) {
        ZORV_CHECK(check_known_key("OPTIMIZERS", entry, optimizers_keys, span));
        ZORV_CHECK(check_optimizers_entry(entry, span));
        if (equals_ignore_case(entry.first, "deleted_threshold"))
            ZORV_CHECK(check_deleted_threshold(entry.second, span));
        if (equals_ignore_case(entry.first, "max_optimization_threads")) {
            ZORV_CHECK(check_thread_count(entry.second, span));
        }
    }
    OptimizerSettings optimizers;
    if (const LiteralEntry* entry = find_config_entry(list, "deleted_threshold")) {
        const Literal& v = entry->second;
        optimizers.deleted_threshold = v.is(Kind::Float) ? v.as_float()
                                       : v.is(Kind::Int) ? static_cast<double>(v.as_int())
                                                         : static_cast<double>(v.as_uint());
    }
    optimizers.vacuum_min_vector_number = ZORV_TRY(config_positive_integer(list, "vacuum_min_vector_number", span));
    optimizers.default_segment_number = ZORV_TRY(config_positive_integer(list, "default_segment_number", span));
    optimizers.max_segment_size = ZORV_TRY(config_positive_integer(list, "max_segment_size", span));
    optimizers.memmap_threshold = ZORV_TRY(config_nonnegative_integer(list, "memmap_threshold", span));
    optimizers.indexing_threshold = ZORV_TRY(config_nonnegative_integer(list, "indexing_threshold", span));
    optimizers.flush_interval_sec = ZORV_TRY(config_positive_integer(list, "flush_interval_sec", span));
    if (const LiteralEntry* entry = find_config_entry(list, "max_optimization_threads")) {
        optimizers.max_optimization_threads = thread_count_of(entry->second);
    }
    optimizers.prevent_unoptimized = config_bool(list, "prevent_unoptimized");
    return optimizers;
}

// wal-clause: WAL settings-list   (CREATE only; stored as written)
Result<LiteralDict> parse_wal_clause(Parser& parser) {
    auto [list, span] = ZORV_TRY(read_settings_list(parser));
    for (const LiteralEntry& entry : list) {
        ZORV_CHECK(check_known_key("WAL", entry, wal_keys, span));
        if (!is_integer(entry.second)) return must_be(entry.first, "an integer", span);
    }
    return std::move(list);
}

// strict-mode-clause: STRICT_MODE settings-list   (stored as written)
Result<LiteralDict> parse_strict_mode_clause(Parser& parser) {
    auto [list, span] = ZORV_TRY(read_settings_list(parser));
    for (const LiteralEntry& entry : list) {
        if (!is_strict_mode_key(entry.first)) {
            return config_error("unknown STRICT_MODE parameter " + quote_for_message(entry.first) +
                                    ". Expected: " + joined(strict_mode_keys),
                                span);
        }
        ZORV_CHECK(check_strict_mode_entry(entry, span));
    }
    return std::move(list);
}

std::unexpected<ZorvError> diff_error(std::string message, Span span) {
    return fail(Diag::ParseVectorDiff, std::move(message), span);
}

// One block of a vector diff, its keyword consumed and checked against the blocks read so far.
Result<void> parse_vector_diff_block(Parser& parser, VectorDiff& diff, const Token& keyword) {
    const std::string name = quote_for_message(diff.name);
    switch (keyword.kind) {
        case TokenKind::Hnsw: {
            if (diff.hnsw) return diff_error("duplicate HNSW block in vector diff " + name, keyword.span);
            HnswSettings hnsw = ZORV_TRY(parse_hnsw_settings(parser));
            if (hnsw == HnswSettings{}) {
                return diff_error("HNSW (...) in vector diff " + name + " requires at least one setting", keyword.span);
            }
            diff.hnsw = hnsw;
            return {};
        }
        case TokenKind::Quantization: {
            if (diff.quantization)
                return diff_error("duplicate QUANTIZATION block in vector diff " + name, keyword.span);
            diff.quantization = ZORV_TRY(parse_quantization_settings(parser));
            return {};
        }
        case TokenKind::Vector: {
            if (diff.vectors) return diff_error("duplicate VECTOR block in vector diff " + name, keyword.span);
            VectorStorageSettings vectors = ZORV_TRY(parse_vector_storage_settings(parser));
            if (vectors.datatype) {
                return diff_error(
                    "datatype cannot be changed per vector: the Qdrant VectorParamsDiff wire shape has no datatype "
                    "field",
                    keyword.span);
            }
            if (!vectors.on_disk && !vectors.memory) {
                return diff_error("VECTOR (...) in vector diff " + name + " requires on_disk or memory", keyword.span);
            }
            diff.vectors = vectors;
            return {};
        }
        default:
            return diff_error("expected HNSW (...), QUANTIZATION (...), or VECTOR (...) in vector diff " + name +
                                  ", got " + quote_for_message(keyword.text),
                              keyword.span);
    }
}

// vector-diff: VECTOR name "(" diff-block { "," diff-block } ")"
// diff-block:  HNSW settings-list | QUANTIZATION settings-list | VECTOR settings-list
Result<VectorDiff> parse_vector_diff(Parser& parser) {
    VectorDiff diff;
    diff.name = ZORV_TRY(parser.parse_identifier());
    Delimited blocks = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    if (blocks.at_close()) {
        return diff_error("vector diff " + quote_for_message(diff.name) +
                              " requires at least one of HNSW (...), QUANTIZATION (...), or VECTOR (...)",
                          parser.current().span);
    }
    while (true) {
        const Token keyword = parser.current();
        parser.take_token();
        ZORV_CHECK(parse_vector_diff_block(parser, diff, keyword));
        if (!parser.accept(TokenKind::Comma)) break;
        if (blocks.at_close())
            return fail(Diag::ParseTrailingComma, "trailing commas are not allowed", parser.current().span);
    }
    ZORV_CHECK(blocks.close());
    return diff;
}

// sparse-diff: SPARSE name "(" ( SPARSE | INDEX ) settings-list ")"
Result<SparseVectorDiff> parse_sparse_vector_diff(Parser& parser) {
    SparseVectorDiff diff;
    diff.name = ZORV_TRY(parser.parse_identifier());
    Delimited blocks = ZORV_TRY(Delimited::open_flat(parser, TokenKind::LParen));
    const Token keyword = parser.current();
    if (keyword.kind != TokenKind::Sparse && keyword.kind != TokenKind::Index) {
        return diff_error("expected SPARSE (...) or INDEX (...) in sparse vector diff " + quote_for_message(diff.name) +
                              ", got " + quote_for_message(keyword.text),
                          keyword.span);
    }
    parser.take_token();
    SparseVectorSettings settings = ZORV_TRY(parse_sparse_settings(parser));
    if (!settings.index && !settings.modifier) {
        return diff_error("SPARSE (...) in sparse vector diff " + quote_for_message(diff.name) +
                              " requires at least one setting",
                          keyword.span);
    }
    diff.index = settings.index;
    diff.modifier = std::move(settings.modifier);
    ZORV_CHECK(blocks.close());
    return diff;
}

std::string_view expected_clauses(ClauseMode mode) {
    return mode == ClauseMode::Create
               ? "expected HNSW, VECTOR, OPTIMIZERS, PARAMS, QUANTIZATION, WAL, STRICT_MODE, or METADATA after WITH"
               : "expected HNSW, VECTOR, SPARSE, OPTIMIZERS, PARAMS, QUANTIZATION, STRICT_MODE, or METADATA after WITH";
}

// One clause after WITH, as a record with only that clause's fields set.
Result<CollectionSettings> parse_clause(Parser& parser, ClauseMode mode) {
    const Token keyword = parser.current();
    CollectionSettings clause;
    const bool alter = mode == ClauseMode::Alter;
    switch (keyword.kind) {
        case TokenKind::Hnsw:
            parser.take_token();
            clause.hnsw = ZORV_TRY(parse_hnsw_settings(parser));
            return clause;
        case TokenKind::Vector:
            parser.take_token();
            if (alter && !parser.check(TokenKind::LParen)) {
                clause.vector_diffs.push_back(ZORV_TRY(parse_vector_diff(parser)));
            } else {
                clause.vectors = ZORV_TRY(parse_vector_storage_settings(parser));
            }
            return clause;
        case TokenKind::Sparse:
            if (!alter) break;
            parser.take_token();
            clause.sparse_vector_diffs.push_back(ZORV_TRY(parse_sparse_vector_diff(parser)));
            return clause;
        case TokenKind::Optimizers:
            parser.take_token();
            clause.optimizers = ZORV_TRY(parse_optimizers_clause(parser));
            return clause;
        case TokenKind::Params:
            parser.take_token();
            clause.params = ZORV_TRY(parse_params_clause(parser));
            return clause;
        case TokenKind::Quantization: {
            parser.take_token();
            QuantizationUpdate update = ZORV_TRY(parse_quantization_settings(parser));
            if (!update.disabled) clause.quantization = update.config;
            clause.quantization_update = std::move(update);
            return clause;
        }
        case TokenKind::Wal:
            parser.take_token();
            if (alter) return config_error("WITH WAL is supported only for CREATE COLLECTION", parser.current().span);
            clause.wal = ZORV_TRY(parse_wal_clause(parser));
            return clause;
        case TokenKind::StrictMode:
            parser.take_token();
            clause.strict_mode = ZORV_TRY(parse_strict_mode_clause(parser));
            return clause;
        case TokenKind::Metadata: {
            parser.take_token();
            SettingsList list = ZORV_TRY(read_settings_list(parser));
            clause.metadata = std::move(list.entries);
            return clause;
        }
        default: break;
    }
    return config_error(std::string(expected_clauses(mode)) + ", got " + quote_for_message(keyword.text), keyword.span);
}

template <class T>
Result<void> set_once(std::optional<T>& into, std::optional<T>& from, std::string_view clause, Span span) {
    if (!from) return {};
    if (into) return config_error(std::string(clause) + " clause may only appear once", span);
    into = std::move(from);
    return {};
}

}  // namespace

Result<void> check_params_entry(const LiteralEntry& entry, Span span) {
    const auto& [key, value] = entry;
    const std::string name = to_ascii_lower(key);
    if (name == "on_disk_payload") {
        if (!value.is(Kind::Bool)) return must_be(key, "true or false", span);
        return {};
    }
    if (name == "payload_memory") return check_storage_tier_value(key, value, span, false);
    if (name == "sharding_method") {
        if (!value.is(Kind::Str)) return config_error("sharding_method must be a string ('auto' or 'custom')", span);
        if (!equals_ignore_case(value.as_str(), "auto") && !equals_ignore_case(value.as_str(), "custom")) {
            return config_error("sharding_method must be 'auto' or 'custom'", span);
        }
        return {};
    }
    if (name == "shard_keys") return check_shard_keys_value(value, span);
    if (!is_integer(value)) return must_be(key, "an integer", span);
    return {};
}

Result<void> check_optimizers_entry(const LiteralEntry& entry, Span span) {
    const auto& [key, value] = entry;
    const std::string name = to_ascii_lower(key);
    if (name == "deleted_threshold") {
        if (!is_number(value)) return must_be(key, "a number", span);
        return {};
    }
    if (name == "prevent_unoptimized") {
        if (!value.is(Kind::Bool)) return must_be(key, "true or false", span);
        return {};
    }
    const bool integral = is_integer(value) || (value.is(Kind::Float) && integral_float(value.as_float()));
    if (name == "max_optimization_threads") {
        if (!integral && !value.is(Kind::Str)) return must_be(key, "a positive integer or 'auto'", span);
        return {};
    }
    if (!integral) return must_be(key, "an integer", span);
    return {};
}

Result<void> check_strict_mode_entry(const LiteralEntry& entry, Span span) {
    const auto& [key, value] = entry;
    static constexpr std::array<std::string_view, 4> booleans = {"enabled", "search_allow_exact",
                                                                 "unindexed_filtering_update",
                                                                 "unindexed_filtering_retrieve"};
    static constexpr std::array<std::string_view, 2> objects = {"sparse_config", "multivector_config"};
    if (is_one_of(key, booleans)) {
        if (!value.is(Kind::Bool)) return must_be(key, "true or false", span);
        return {};
    }
    if (is_one_of(key, objects)) {
        if (!value.is(Kind::Dict)) return must_be(key, "an object", span);
        return {};
    }
    if (equals_ignore_case(key, "search_max_oversampling")) {
        if (!is_number(value)) return must_be(key, "a number", span);
        return {};
    }
    if (!is_integer(value)) return must_be(key, "an integer", span);
    return {};
}

bool is_strict_mode_key(std::string_view key) { return is_one_of(key, strict_mode_keys); }

Result<void> merge_collection_settings(CollectionSettings& into, CollectionSettings clause, Span span) {
    ZORV_CHECK(set_once(into.vectors, clause.vectors, "VECTOR", span));
    ZORV_CHECK(set_once(into.hnsw, clause.hnsw, "HNSW", span));
    ZORV_CHECK(set_once(into.optimizers, clause.optimizers, "OPTIMIZERS", span));
    ZORV_CHECK(set_once(into.params, clause.params, "PARAMS", span));
    if ((clause.quantization || clause.quantization_update) && (into.quantization || into.quantization_update)) {
        return config_error("QUANTIZATION clause may only appear once", span);
    }
    ZORV_CHECK(set_once(into.quantization, clause.quantization, "QUANTIZATION", span));
    ZORV_CHECK(set_once(into.quantization_update, clause.quantization_update, "QUANTIZATION", span));
    ZORV_CHECK(set_once(into.wal, clause.wal, "WAL", span));
    ZORV_CHECK(set_once(into.strict_mode, clause.strict_mode, "STRICT_MODE", span));
    ZORV_CHECK(set_once(into.metadata, clause.metadata, "METADATA", span));
    for (VectorDiff& diff : clause.vector_diffs) {
        for (const VectorDiff& seen : into.vector_diffs) {
            if (seen.name == diff.name) {
                return config_error("VECTOR diff " + quote_for_message(diff.name) + " may only appear once", span);
            }
        }
        into.vector_diffs.push_back(std::move(diff));
    }
    for (SparseVectorDiff& diff : clause.sparse_vector_diffs) {
        for (const SparseVectorDiff& seen : into.sparse_vector_diffs) {
            if (seen.name == diff.name) {
                return config_error("SPARSE vector diff " + quote_for_message(diff.name) + " may only appear once",
                                    span);
            }
        }
        into.sparse_vector_diffs.push_back(std::move(diff));
    }
    return {};
}

// with-clauses: { WITH clause }
// clause:       HNSW list | VECTOR list | OPTIMIZERS list | PARAMS list | QUANTIZATION list | WAL list
//             | STRICT_MODE list | METADATA list | VECTOR name (...) | SPARSE name (...)   (the last two ALTER only)
Result<std::optional<CollectionSettings>> parse_collection_with_clauses(Parser& parser, ClauseMode mode) {
    std::optional<CollectionSettings> settings;
    while (parser.accept(TokenKind::With)) {
        CollectionSettings clause = ZORV_TRY(parse_clause(parser, mode));
        if (!settings) {
            settings = std::move(clause);
            continue;
        }
        ZORV_CHECK(merge_collection_settings(*settings, std::move(clause), parser.current().span));
    }
    return settings;
}

}  // namespace zorv::core
