// The value check of the CREATE INDEX options: known keys, each with the value kind it takes.
#include <array>
#include <string>

#include "core/parser/settings.h"
#include "core/text.h"

namespace zorv::core {
namespace {

using Kind = Literal::Kind;

constexpr std::array<std::string_view, 10> boolean_options = {"range",          "lookup",       "prefix",
                                                              "on_disk",        "is_tenant",    "lowercase",
                                                              "enable_hnsw",    "is_principal", "ascii_folding",
                                                              "phrase_matching"};

bool is_text_list(const Literal& value) {
    if (!value.is(Kind::List)) return false;
    for (const Literal& item : value.as_list()) {
        if (!item.is(Kind::Str)) return false;
    }
    return true;
}

// A language name, a list of words, or {languages: [...], custom: [...]}.
Result<void> check_stopwords(const LiteralEntry& entry, Span span) {
    const auto& [key, value] = entry;
    if (value.is(Kind::Str)) return {};
    if (value.is(Kind::List)) {
        if (!is_text_list(value)) return config_error(escape_for_message(key) + " must be a list of strings", span);
        return {};
    }
    if (!value.is(Kind::Dict)) {
        return config_error(
            escape_for_message(key) +
                " must be a list of strings, a language name, or {languages: [\u2026], custom: [\u2026]}",
            span);
    }
    for (const auto& [set_key, words] : value.as_dict()) {
        if (equals_ignore_case(set_key, "languages")) {
            if (!is_text_list(words)) return config_error("stopwords languages must be a list of strings", span);
        } else if (equals_ignore_case(set_key, "custom")) {
            if (!is_text_list(words)) return config_error("stopwords custom must be a list of strings", span);
        } else {
            return config_error("unknown stopwords set key " + quote_for_message(set_key) +
                                    ". Expected: languages, custom",
                                span);
        }
    }
    return {};
}

Result<void> check_index_option(const LiteralEntry& entry, Span span) {
    const auto& [key, value] = entry;
    const std::string name = to_ascii_lower(key);
    for (std::string_view option : boolean_options) {
        if (name != option) continue;
        if (!value.is(Kind::Bool)) return config_error(escape_for_message(key) + " must be true or false", span);
        return {};
    }
    if (name == "memory") return check_storage_tier_value(key, value, span, true);
    if (name == "stemmer" || name == "tokenizer") {
        if (!value.is(Kind::Str)) return config_error(escape_for_message(key) + " must be a string", span);
        return {};
    }
    if (name == "min_token_len" || name == "max_token_len") {
        const bool nonnegative = (value.is(Kind::Int) && value.as_int() >= 0) || value.is(Kind::UInt);
        if (!nonnegative) return config_error(escape_for_message(key) + " must be a non-negative integer", span);
        return {};
    }
    if (name == "stopwords") return check_stopwords(entry, span);
    return config_error("unknown index option: " + escape_for_message(key), span);
}

}  // namespace

Result<void> check_index_options(const LiteralDict& options, Span with_span) {
    for (const LiteralEntry& entry : options) ZORV_CHECK(check_index_option(entry, with_span));
    return {};
}

}  // namespace zorv::core
