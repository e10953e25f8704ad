// STRICT_MODE: a free option list the parser stores untested, checked and typed here.
#include <array>
#include <cmath>
#include <string>
#include <string_view>

#include "core/text.h"
#include "plan/collection_config.h"

namespace zorv::plan {

namespace {

using Kind = core::Literal::Kind;
using Config = PlanStrictModeConfig;

constexpr std::array<std::string_view, 21> kStrictOptions = {
    "enabled",
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
    "max_resident_memory_percent",
};

core::Result<void> check_names(const OptionList& options) {
    for (const auto& [name, value] : options) {
        bool known = false;
        for (std::string_view option : kStrictOptions) known = known || core::equals_ignore_case(name, option);
        if (!known) {
            return std::unexpected(
                collection_config_error("unknown STRICT_MODE parameter " + core::quote_for_message(name)));
        }
    }
    return {};
}

core::Result<std::optional<bool>> read_bool(const OptionList& options, std::string_view name) {
    const core::Literal* value = find_option(options, name);
    if (value == nullptr) return std::nullopt;
    if (!value->is(Kind::Bool)) {
        return std::unexpected(collection_config_error(std::string(name) + " must be true or false", value));
    }
    return value->as_bool();
}

core::Result<std::optional<double>> read_number(const OptionList& options, std::string_view name) {
    const core::Literal* value = find_option(options, name);
    if (value == nullptr) return std::nullopt;
    if (value->is(Kind::Int)) return static_cast<double>(value->as_int());
    if (value->is(Kind::Float) && std::isfinite(value->as_float())) return value->as_float();
    return std::unexpected(collection_config_error(std::string(name) + " must be a number", value));
}

core::Result<std::optional<std::uint64_t>> read_memory_percent(const OptionList& options) {
    const core::Literal* value = find_option(options, "max_resident_memory_percent");
    if (value == nullptr) return std::nullopt;
    if (!value->is(Kind::Int) || value->as_int() < 1 || value->as_int() > 100) {
        return std::unexpected(
            collection_config_error("max_resident_memory_percent must be an integer in [1, 100]", value));
    }
    return static_cast<std::uint64_t>(value->as_int());
}

// The words that tell the two per-vector maps apart in their messages.
struct LimitWords {
    std::string_view option;  // multivector_config
    std::string_view key;     // max_vectors
};

// {vector: {key: n}}: the last key inside an entry counts, a later entry replaces an earlier one.
template <class Limit>
core::Result<VectorNameMap<Limit>> lower_limit_map(const core::Literal& value, LimitWords words,
                                                   std::optional<std::uint64_t> Limit::*field) {
    const std::string option(words.option);
    if (!value.is(Kind::Dict)) return std::unexpected(collection_config_error(option + " must be an object", &value));
    VectorNameMap<Limit> out;
    for (const auto& [vector, entry] : value.as_dict()) {
        if (!entry.is(Kind::Dict)) {
            return std::unexpected(
                collection_config_error(option + " " + core::quote_for_message(vector) + " must be an object", &entry));
        }
        Limit limit;
        for (const auto& [key, n] : entry.as_dict()) {
            if (!core::equals_ignore_case(key, words.key)) {
                return std::unexpected(collection_config_error("unknown " + option + " key " +
                                                               core::quote_for_message(key) +
                                                               ". Expected: " + std::string(words.key)));
            }
            if (!n.is(Kind::Int) || n.as_int() < 1) {
                return std::unexpected(
                    collection_config_error(std::string(words.key) + " must be a positive integer", &n));
            }
            limit.*field = static_cast<std::uint64_t>(n.as_int());
        }
        out.insert_or_assign(vector, limit);
    }
    return out;
}

}  // namespace

core::Result<VectorNameMap<PlanMultivectorLimit>> lower_multivector_config(const core::Literal& value) {
    return lower_limit_map<PlanMultivectorLimit>(value, {"multivector_config", "max_vectors"},
                                                 &PlanMultivectorLimit::max_vectors);
}

core::Result<VectorNameMap<PlanSparseLimit>> lower_sparse_config(const core::Literal& value) {
    return lower_limit_map<PlanSparseLimit>(value, {"sparse_config", "max_length"}, &PlanSparseLimit::max_length);
}

// Fields are read in the order of the record, so the first bad value in that order is reported.
core::Result<PlanStrictModeConfig> lower_strict_mode(const OptionList& options) {
    ZORV_CHECK(check_names(options));
    Config c;
    c.enabled = ZORV_TRY(read_bool(options, "enabled"));
    c.max_query_limit = ZORV_TRY(read_positive_option(options, "max_query_limit"));
    c.max_timeout = ZORV_TRY(read_positive_option(options, "max_timeout"));
    c.unindexed_filtering_retrieve = ZORV_TRY(read_bool(options, "unindexed_filtering_retrieve"));
    c.unindexed_filtering_update = ZORV_TRY(read_bool(options, "unindexed_filtering_update"));
    c.search_max_hnsw_ef = ZORV_TRY(read_nonnegative_option(options, "search_max_hnsw_ef"));
    c.search_allow_exact = ZORV_TRY(read_bool(options, "search_allow_exact"));
    c.search_max_oversampling = ZORV_TRY(read_number(options, "search_max_oversampling"));
    c.upsert_max_batchsize = ZORV_TRY(read_nonnegative_option(options, "upsert_max_batchsize"));
    c.search_max_batchsize = ZORV_TRY(read_nonnegative_option(options, "search_max_batchsize"));
    c.max_collection_vector_size_bytes = ZORV_TRY(read_nonnegative_option(options, "max_collection_vector_size_bytes"));
    c.read_rate_limit = ZORV_TRY(read_positive_option(options, "read_rate_limit"));
    c.write_rate_limit = ZORV_TRY(read_positive_option(options, "write_rate_limit"));
    c.max_collection_payload_size_bytes =
        ZORV_TRY(read_nonnegative_option(options, "max_collection_payload_size_bytes"));
    c.max_points_count = ZORV_TRY(read_positive_option(options, "max_points_count"));
    c.filter_max_conditions = ZORV_TRY(read_nonnegative_option(options, "filter_max_conditions"));
    c.condition_max_size = ZORV_TRY(read_nonnegative_option(options, "condition_max_size"));
    if (const core::Literal* value = find_option(options, "multivector_config"))
        c.multivector_config = ZORV_TRY(lower_multivector_config(*value));
    if (const core::Literal* value = find_option(options, "sparse_config"))
        c.sparse_config = ZORV_TRY(lower_sparse_config(*value));
    c.max_payload_index_count = ZORV_TRY(read_nonnegative_option(options, "max_payload_index_count"));
    c.max_resident_memory_percent = ZORV_TRY(read_memory_percent(options));
    return c;
}

}  // namespace zorv::plan
