// The settings lists of the collection DDL: the value rules every list shares, the per-vector
// blocks (HNSW, VECTOR, SPARSE/INDEX, QUANTIZATION, MULTIVECTOR) and the CREATE INDEX options.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/ast/collection.h"
#include "core/ast/literal.h"
#include "core/parser/parser.h"
#include "core/text.h"

namespace zorv::core {

// A settings list and the span from its "(" to its ")": the span of every value error in it.
struct SettingsList {
    LiteralDict entries;
    Span span;
};
Result<SettingsList> read_settings_list(Parser& parser);

// ZORV-VALIDATION-CONFIG with `message` at `span`.
std::unexpected<ZorvError> config_error(std::string message, Span span);

// The value of a float that holds an unsigned 64-bit integer exactly; nullopt for fractions,
// negatives and values past the range (converting those would be undefined).
std::optional<std::uint64_t> integral_float(double value);
// The integer an Int, UInt or integral Float literal holds when it is 0 or greater.
std::optional<std::uint64_t> nonnegative_integral(const Literal& value);

// Whether `key` is one of `names`, ignoring ASCII case.
template <std::size_t N>
bool is_one_of(std::string_view key, const std::array<std::string_view, N>& names) {
    for (std::string_view name : names) {
        if (equals_ignore_case(key, name)) return true;
    }
    return false;
}

// Value rules over a list, keys matched ignoring ASCII case; `name` is the canonical key.
const LiteralEntry* find_config_entry(const LiteralDict& list, std::string_view name);
bool has_config_entry(const LiteralDict& list, std::string_view name);
// The boolean of the entry; nullopt when missing or not a boolean.
std::optional<bool> config_bool(const LiteralDict& list, std::string_view name);
// Like config_bool, but a value that is not a boolean fails with "{key} must be true or false".
Result<std::optional<bool>> config_strict_bool(const LiteralDict& list, std::string_view name, Span span);
Result<std::optional<std::uint64_t>> config_positive_integer(const LiteralDict& list, std::string_view name, Span span);
Result<std::optional<std::uint64_t>> config_nonnegative_integer(const LiteralDict& list, std::string_view name,
                                                                Span span);
Result<std::optional<StorageTier>> config_storage_tier(const LiteralDict& list, std::string_view name, Span span,
                                                       bool pinned_allowed);
bool config_number_in_range(const LiteralDict& list, std::string_view name, double low, double high);
// The per-entry tier test; messages name `key` as written.
Result<void> check_storage_tier_value(std::string_view key, const Literal& value, Span span, bool pinned_allowed);

// Each block parser starts on the "(" after its keyword.
Result<HnswSettings> parse_hnsw_settings(Parser& parser);
Result<VectorStorageSettings> parse_vector_storage_settings(Parser& parser);
Result<SparseVectorSettings> parse_sparse_settings(Parser& parser);
Result<QuantizationUpdate> parse_quantization_settings(Parser& parser);
// Succeeds for comparator = 'max_sim', the one comparator there is.
Result<void> parse_multivector_settings(Parser& parser);

// The CREATE INDEX options after WITH; errors carry `with_span`.
Result<void> check_index_options(const LiteralDict& options, Span with_span);

}  // namespace zorv::core
