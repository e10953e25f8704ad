// The value rules of settings lists and the per-vector settings blocks.
#include <array>
#include <cmath>
#include <string>

#include "core/parser/helpers.h"
#include "core/parser/settings.h"
#include "core/text.h"

namespace zorv::core {
namespace {

using Kind = Literal::Kind;

// An Int or UInt, or a Float that holds a non-negative integer: the "integer" of the blocks.
bool is_integer_like(const Literal& value) {
    if (value.is(Kind::Int) || value.is(Kind::UInt)) return true;
    return value.is(Kind::Float) && integral_float(value.as_float()).has_value();
}

std::unexpected<ZorvError> must_be(std::string_view key, std::string_view what, Span span) {
    return config_error(escape_for_message(key) + " must be " + std::string(what), span);
}

constexpr std::array<std::string_view, 8> hnsw_keys = {
    "m",       "ef_construct", "full_scan_threshold", "max_indexing_threads",
    "on_disk", "payload_m",    "inline_storage",      "memory"};

Result<void> check_hnsw_entry(const LiteralEntry& entry, Span span) {
    const auto& [key, value] = entry;
    if (equals_ignore_case(key, "on_disk") || equals_ignore_case(key, "inline_storage")) {
        if (!value.is(Kind::Bool)) return must_be(key, "true or false", span);
        return {};
    }
    if (equals_ignore_case(key, "memory")) return check_storage_tier_value(key, value, span, true);
    if (!is_integer_like(value)) return must_be(key, "an integer", span);
    return {};
}

// m is 0 (no graph) or at least 4.
Result<void> check_hnsw_m(const LiteralDict& list, Span span) {
    const LiteralEntry* entry = find_config_entry(list, "m");
    if (entry == nullptr) return {};
    const Literal& value = entry->second;
    bool refused = false;
    if (value.is(Kind::Int)) refused = value.as_int() < 0 || (value.as_int() >= 1 && value.as_int() <= 3);
    if (value.is(Kind::Float)) {
        const std::optional<std::uint64_t> m = integral_float(value.as_float());
        refused = m && *m >= 1 && *m <= 3;
    }
    if (refused) return config_error("m must be 0 or >= 4", span);
    return {};
}

Result<void> check_vector_entry(const LiteralEntry& entry, Span span) {
    const auto& [key, value] = entry;
    if (equals_ignore_case(key, "on_disk")) {
        if (!value.is(Kind::Bool)) return must_be(key, "true or false", span);
        return {};
    }
    if (equals_ignore_case(key, "memory")) return check_storage_tier_value(key, value, span, true);
    if (!value.is(Kind::Str)) return must_be(key, "a string (float32, float16, uint8, or turbo4)", span);
    if (!parse_vector_datatype(value.as_str())) return must_be(key, "float32, float16, uint8, or turbo4", span);
    return {};
}

Result<std::optional<std::string>> sparse_modifier(const LiteralDict& list, Span span) {
    const LiteralEntry* entry = find_config_entry(list, "modifier");
    if (entry == nullptr) return std::optional<std::string>{};
    if (!entry->second.is(Kind::Str))
        return config_error("modifier must be a string (none or idf) for SPARSE vector", span);
    std::string modifier = to_ascii_lower(entry->second.as_str());
    if (modifier != "idf" && modifier != "none") {
        return config_error("modifier must be none or idf for SPARSE vector", span);
    }
    return std::optional<std::string>(std::move(modifier));
}

// 'default' means the server's choice, so no datatype; turbo4 does not exist for sparse vectors.
Result<std::optional<VectorDatatype>> sparse_datatype(const LiteralDict& list, Span span) {
    const LiteralEntry* entry = find_config_entry(list, "datatype");
    if (entry == nullptr) return std::optional<VectorDatatype>{};
    if (!entry->second.is(Kind::Str)) return config_error("datatype must be a string for SPARSE index", span);
    const std::string& text = entry->second.as_str();
    if (equals_ignore_case(text, "default")) return std::optional<VectorDatatype>{};
    const std::optional<VectorDatatype> datatype = parse_vector_datatype(text);
    if (!datatype || *datatype == VectorDatatype::Turbo4) {
        return config_error("datatype must be float32, uint8, float16, or default for SPARSE index", span);
    }
    return datatype;
}

Result<QuantizationKind> quantization_kind(const LiteralDict& list, Span span) {
    const LiteralEntry* entry = find_config_entry(list, "type");
    if (entry == nullptr)
        return config_error("QUANTIZATION config requires a 'type' (scalar, binary, product, turbo)", span);
    if (!entry->second.is(Kind::Str)) return config_error("QUANTIZATION 'type' must be a string", span);
    const std::string& text = entry->second.as_str();
    static constexpr std::array<QuantizationKind, 4> kinds = {QuantizationKind::Scalar, QuantizationKind::Binary,
                                                              QuantizationKind::Product, QuantizationKind::Turbo};
    for (QuantizationKind kind : kinds) {
        if (equals_ignore_case(text, quantization_kind_name(kind))) return kind;
    }
    return config_error("unknown QUANTIZATION type " + quote_for_message(text) +
                            ". Expected scalar, binary, product, turbo",
                        span);
}

bool quantization_key_allowed(QuantizationKind kind, std::string_view key) {
    static constexpr std::array<std::string_view, 4> common = {"type", "disabled", "always_ram", "memory"};
    if (is_one_of(key, common)) return true;
    switch (kind) {
        case QuantizationKind::Scalar: return equals_ignore_case(key, "quantile");
        case QuantizationKind::Binary:
            return equals_ignore_case(key, "encoding") || equals_ignore_case(key, "query_encoding");
        case QuantizationKind::Product: return equals_ignore_case(key, "compression");
        case QuantizationKind::Turbo: return equals_ignore_case(key, "bits");
    }
    return false;
}

// The encoding's text form: a word lower-cased, or a number as "1", "2" or "1.5"; other floats
// match no encoding.
std::string binary_encoding_text(const Literal& value) {
    switch (value.kind()) {
        case Kind::Str: return to_ascii_lower(value.as_str());
        case Kind::Int: return std::to_string(value.as_int());
        case Kind::UInt: return std::to_string(value.as_uint());
        default: break;
    }
    const double v = value.as_float();
    if (std::fabs(v - 1.5) <= 2.220446049250313e-16) return "1.5";
    if (v == 1.0) return "1";
    if (v == 2.0) return "2";
    return "";
}

Result<std::string> binary_encoding(const Literal& value, Span span) {
    const bool readable = value.is(Kind::Str) || value.is(Kind::Int) || value.is(Kind::UInt) || value.is(Kind::Float);
    if (!readable) return config_error("encoding must be a string or number for BINARY quantization", span);
    const std::string text = binary_encoding_text(value);
    if (text == "1" || text == "onebit" || text == "one_bit") return std::string("one_bit");
    if (text == "2" || text == "twobits" || text == "two_bits") return std::string("two_bits");
    if (text == "1.5" || text == "oneandhalfbits" || text == "one_and_half_bits") {
        return std::string("one_and_half_bits");
    }
    return config_error(
        "encoding must be one_bit (1), two_bits (2), or one_and_half_bits (1.5) for BINARY quantization", span);
}

// A lower-cased text that must be one of `words`.
template <std::size_t N>
Result<std::string> one_word_of(const Literal& value, const std::array<std::string_view, N>& words,
                                std::string_view not_text, std::string_view not_word, Span span) {
    if (!value.is(Kind::Str)) return config_error(std::string(not_text), span);
    std::string word = to_ascii_lower(value.as_str());
    for (std::string_view allowed : words) {
        if (word == allowed) return word;
    }
    return config_error(std::string(not_word), span);
}

Result<double> turbo_bits(const Literal& value, Span span) {
    double bits = 0.0;
    if (value.is(Kind::Int)) bits = static_cast<double>(value.as_int());
    else if (value.is(Kind::UInt)) bits = static_cast<double>(value.as_uint());
    else if (value.is(Kind::Float)) bits = value.as_float();
    else return config_error("bits must be a number (1, 1.5, 2, or 4) for TURBO quantization", span);
    if (bits != 1.0 && bits != 1.5 && bits != 2.0 && bits != 4.0) {
        return config_error("bits must be one of 1, 1.5, 2, or 4 for TURBO quantization", span);
    }
    return bits;
}

Result<void> quantization_kind_settings(QuantizationSettings& settings, const LiteralDict& list, Span span) {
    switch (settings.qtype) {
        case QuantizationKind::Scalar:
            if (has_config_entry(list, "quantile")) {
                if (!config_number_in_range(list, "quantile", 0.0, 1.0)) {
                    return config_error("quantile must be between 0.0 and 1.0", span);
                }
                const Literal& v = find_config_entry(list, "quantile")->second;
                settings.quantile = v.is(Kind::Float) ? v.as_float()
                                    : v.is(Kind::Int) ? static_cast<double>(v.as_int())
                                                      : static_cast<double>(v.as_uint());
            }
            return {};
        case QuantizationKind::Binary:
            if (const LiteralEntry* e = find_config_entry(list, "encoding")) {
                settings.encoding = ZORV_TRY(binary_encoding(e->second, span));
            }
            if (const LiteralEntry* e = find_config_entry(list, "query_encoding")) {
                static constexpr std::array<std::string_view, 4> words = {"default", "binary", "scalar4bits",
                                                                          "scalar8bits"};
                settings.query_encoding = ZORV_TRY(one_word_of(
                    e->second, words, "query_encoding must be a string for BINARY quantization",
                    "query_encoding must be default, binary, scalar4bits, or scalar8bits for BINARY quantization",
                    span));
            }
            return {};
        case QuantizationKind::Product:
            if (const LiteralEntry* e = find_config_entry(list, "compression")) {
                static constexpr std::array<std::string_view, 5> words = {"x4", "x8", "x16", "x32", "x64"};
                settings.compression = ZORV_TRY(
                    one_word_of(e->second, words, "compression must be a string for PRODUCT quantization",
                                "compression must be x4, x8, x16, x32, or x64 for PRODUCT quantization", span));
            }
            return {};
        case QuantizationKind::Turbo:
            if (const LiteralEntry* e = find_config_entry(list, "bits"))
                settings.bits = ZORV_TRY(turbo_bits(e->second, span));
            return {};
    }
    return {};
}

}  // namespace

Result<SettingsList> read_settings_list(Parser& parser) {
    const std::uint64_t start = parser.current().span.start;
    LiteralDict entries = ZORV_TRY(parse_config_list(parser));
    return SettingsList{std::move(entries), Span{start, parser.previous().span.end}};
}

std::unexpected<ZorvError> config_error(std::string message, Span span) {
    return fail(Diag::ValidationConfig, std::move(message), span);
}

std::optional<std::uint64_t> integral_float(double value) {
    // 2^64 is exact in a double; everything from there up is out of range.
    constexpr double limit = 18446744073709551616.0;
    if (!(value >= 0.0) || value >= limit || std::trunc(value) != value) return std::nullopt;
    return static_cast<std::uint64_t>(value);
}

std::optional<std::uint64_t> nonnegative_integral(const Literal& value) {
    switch (value.kind()) {
        case Kind::Int:
            if (value.as_int() < 0) return std::nullopt;
            return static_cast<std::uint64_t>(value.as_int());
        case Kind::UInt: return value.as_uint();
        case Kind::Float: return integral_float(value.as_float());
        default: return std::nullopt;
    }
}

const LiteralEntry* find_config_entry(const LiteralDict& list, std::string_view name) {
    for (const LiteralEntry& entry : list) {
        if (equals_ignore_case(entry.first, name)) return &entry;
    }
    return nullptr;
}

bool has_config_entry(const LiteralDict& list, std::string_view name) {
    return find_config_entry(list, name) != nullptr;
}

std::optional<bool> config_bool(const LiteralDict& list, std::string_view name) {
    const LiteralEntry* entry = find_config_entry(list, name);
    if (entry == nullptr || !entry->second.is(Kind::Bool)) return std::nullopt;
    return entry->second.as_bool();
}

Result<std::optional<bool>> config_strict_bool(const LiteralDict& list, std::string_view name, Span span) {
    const LiteralEntry* entry = find_config_entry(list, name);
    if (entry == nullptr) return std::optional<bool>{};
    if (!entry->second.is(Kind::Bool)) return must_be(entry->first, "true or false", span);
    return std::optional<bool>(entry->second.as_bool());
}

Result<std::optional<std::uint64_t>> config_positive_integer(const LiteralDict& list, std::string_view name,
                                                             Span span) {
    const LiteralEntry* entry = find_config_entry(list, name);
    if (entry == nullptr) return std::optional<std::uint64_t>{};
    const std::optional<std::uint64_t> value = nonnegative_integral(entry->second);
    if (!value || *value == 0) return must_be(name, "a positive integer", span);
    return value;
}

Result<std::optional<std::uint64_t>> config_nonnegative_integer(const LiteralDict& list, std::string_view name,
                                                                Span span) {
    const LiteralEntry* entry = find_config_entry(list, name);
    if (entry == nullptr) return std::optional<std::uint64_t>{};
    const std::optional<std::uint64_t> value = nonnegative_integral(entry->second);
    if (!value) return must_be(name, "a non-negative integer", span);
    return value;
}

Result<std::optional<StorageTier>> config_storage_tier(const LiteralDict& list, std::string_view name, Span span,
                                                       bool pinned_allowed) {
    const LiteralEntry* entry = find_config_entry(list, name);
    if (entry == nullptr) return std::optional<StorageTier>{};
    const Literal& value = entry->second;
    if (!value.is(Kind::Str)) return must_be(name, "a string ('cold', 'cached', or 'pinned')", span);
    const std::optional<StorageTier> tier = parse_storage_tier(value.as_str());
    if (!tier) {
        return must_be(name, "'cold', 'cached', or 'pinned', got " + quote_for_message(value.as_str()), span);
    }
    if (*tier == StorageTier::Pinned && !pinned_allowed)
        return config_error(std::string(name) + " does not support 'pinned'", span);
    return tier;
}

bool config_number_in_range(const LiteralDict& list, std::string_view name, double low, double high) {
    const LiteralEntry* entry = find_config_entry(list, name);
    if (entry == nullptr) return false;
    const Literal& value = entry->second;
    double number = 0.0;
    if (value.is(Kind::Int)) number = static_cast<double>(value.as_int());
    else if (value.is(Kind::UInt)) number = static_cast<double>(value.as_uint());
    else if (value.is(Kind::Float)) number = value.as_float();
    else return false;
    return low <= number && number <= high;
}

Result<void> check_storage_tier_value(std::string_view key, const Literal& value, Span span, bool pinned_allowed) {
    if (!value.is(Kind::Str)) return must_be(key, "a string ('cold', 'cached', or 'pinned')", span);
    const std::optional<StorageTier> tier = parse_storage_tier(value.as_str());
    if (!tier) return must_be(key, "'cold', 'cached', or 'pinned'", span);
    if (*tier == StorageTier::Pinned && !pinned_allowed) {
        return config_error(escape_for_message(key) + " does not support 'pinned'", span);
    }
    return {};
}

// settings-list: "(" [ key "=" value { "," key "=" value } ] ")"
// hnsw-block:    HNSW settings-list
Result<HnswSettings> parse_hnsw_settings(Parser& parser) {
    const auto [list, span] = ZORV_TRY(read_settings_list(parser));
    for (const LiteralEntry& entry : list) {
        if (!is_one_of(entry.first, hnsw_keys)) {
            return config_error("unknown HNSW parameter " + quote_for_message(entry.first) +
                                    ". Expected: m, ef_construct, full_scan_threshold, max_indexing_threads, on_disk, "
                                    "payload_m, inline_storage, memory",
                                span);
        }
        ZORV_CHECK(check_hnsw_entry(entry, span));
    }
    ZORV_CHECK(check_hnsw_m(list, span));
    HnswSettings settings;
    settings.m = ZORV_TRY(config_nonnegative_integer(list, "m", span));
    settings.ef_construct = ZORV_TRY(config_positive_integer(list, "ef_construct", span));
    settings.full_scan_threshold = ZORV_TRY(config_nonnegative_integer(list, "full_scan_threshold", span));
    settings.max_indexing_threads = ZORV_TRY(config_positive_integer(list, "max_indexing_threads", span));
    settings.on_disk = config_bool(list, "on_disk");
    settings.payload_m = ZORV_TRY(config_positive_integer(list, "payload_m", span));
    settings.inline_storage = config_bool(list, "inline_storage");
    settings.memory = ZORV_TRY(config_storage_tier(list, "memory", span, true));
    return settings;
}

// vector-block: VECTOR settings-list   (on_disk, memory, datatype)
Result<VectorStorageSettings> parse_vector_storage_settings(Parser& parser) {
    const auto [list, span] = ZORV_TRY(read_settings_list(parser));
    static constexpr std::array<std::string_view, 3> keys = {"on_disk", "memory", "datatype"};
    for (const LiteralEntry& entry : list) {
        if (!is_one_of(entry.first, keys)) {
            return config_error("unknown VECTOR parameter " + quote_for_message(entry.first) +
                                    ". Expected: on_disk, memory, datatype",
                                span);
        }
        ZORV_CHECK(check_vector_entry(entry, span));
    }
    VectorStorageSettings settings;
    settings.on_disk = config_bool(list, "on_disk");
    settings.memory = ZORV_TRY(config_storage_tier(list, "memory", span, true));
    if (const LiteralEntry* entry = find_config_entry(list, "datatype")) {
        settings.datatype = parse_vector_datatype(entry->second.as_str());
    }
    return settings;
}

// sparse-block: ( SPARSE | INDEX ) settings-list   (modifier, full_scan_threshold, on_disk, datatype, memory)
Result<SparseVectorSettings> parse_sparse_settings(Parser& parser) {
    const auto [list, span] = ZORV_TRY(read_settings_list(parser));
    static constexpr std::array<std::string_view, 5> keys = {"modifier", "full_scan_threshold", "on_disk", "datatype",
                                                             "memory"};
    for (const LiteralEntry& entry : list) {
        if (!is_one_of(entry.first, keys)) {
            return config_error("unknown SPARSE/INDEX parameter " + quote_for_message(entry.first) +
                                    ". Expected: modifier, full_scan_threshold, on_disk, datatype, memory",
                                span);
        }
    }
    SparseVectorSettings settings;
    settings.modifier = ZORV_TRY(sparse_modifier(list, span));
    SparseIndexSettings index;
    index.full_scan_threshold = ZORV_TRY(config_nonnegative_integer(list, "full_scan_threshold", span));
    index.on_disk = ZORV_TRY(config_strict_bool(list, "on_disk", span));
    index.datatype = ZORV_TRY(sparse_datatype(list, span));
    if (index.full_scan_threshold || index.on_disk || index.datatype || has_config_entry(list, "memory")) {
        index.memory = ZORV_TRY(config_storage_tier(list, "memory", span, true));
        settings.index = index;
    }
    return settings;
}

// quantization-block: QUANTIZATION settings-list
// A block with disabled = true turns quantization off whatever else it holds.
Result<QuantizationUpdate> parse_quantization_settings(Parser& parser) {
    const auto [list, span] = ZORV_TRY(read_settings_list(parser));
    if (const LiteralEntry* disabled = find_config_entry(list, "disabled")) {
        if (disabled->second.is(Kind::Bool) && disabled->second.as_bool())
            return QuantizationUpdate{true, std::nullopt};
    }
    QuantizationSettings settings;
    settings.qtype = ZORV_TRY(quantization_kind(list, span));
    for (const LiteralEntry& entry : list) {
        if (!quantization_key_allowed(settings.qtype, entry.first)) {
            return config_error("unknown QUANTIZATION parameter " + quote_for_message(entry.first) + " for type '" +
                                    std::string(quantization_kind_name(settings.qtype)) + "'",
                                span);
        }
    }
    settings.always_ram = ZORV_TRY(config_strict_bool(list, "always_ram", span)).value_or(false);
    ZORV_CHECK(quantization_kind_settings(settings, list, span));
    settings.memory = ZORV_TRY(config_storage_tier(list, "memory", span, true));
    return QuantizationUpdate{false, std::move(settings)};
}

// multivector-block: MULTIVECTOR settings-list   (comparator = 'max_sim'; other keys ignored)
Result<void> parse_multivector_settings(Parser& parser) {
    const auto [list, span] = ZORV_TRY(read_settings_list(parser));
    const LiteralEntry* entry = find_config_entry(list, "comparator");
    if (entry == nullptr) return config_error("MULTIVECTOR config requires 'comparator'", span);
    if (!entry->second.is(Kind::Str)) return config_error("MULTIVECTOR comparator must be a string", span);
    const std::string comparator = to_ascii_lower(entry->second.as_str());
    if (comparator != "max_sim") {
        return config_error("MULTIVECTOR comparator must be 'max_sim', got " + quote_for_message(comparator), span);
    }
    return {};
}

}  // namespace zorv::core
