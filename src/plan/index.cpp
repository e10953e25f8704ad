#include "plan/index.h"

#include <array>
#include <utility>

#include "core/diagnostics.h"
#include "core/parser/parser.h"
#include "core/text.h"
#include "plan/plan_op.h"

namespace zorv::plan {

namespace {

using core::Literal;
using Kind = core::Literal::Kind;

constexpr std::array<std::string_view, 8> kIndexTypes = {"keyword", "integer", "float",    "geo",
                                                         "text",    "bool",    "datetime", "uuid"};
constexpr std::array<std::string_view, 4> kTokenizers = {"prefix", "whitespace", "word", "multilingual"};

// The languages whose stop-word lists the server ships.
constexpr std::array<std::string_view, 30> kStopwordLanguages = {
    "arabic",     "azerbaijani", "basque",   "bengali", "catalan", "chinese",   "danish",     "dutch",
    "english",    "finnish",     "french",   "german",  "greek",   "hebrew",    "hinglish",   "hungarian",
    "indonesian", "italian",     "japanese", "kazakh",  "nepali",  "norwegian", "portuguese", "romanian",
    "russian",    "slovene",     "spanish",  "swedish", "tajik",   "turkish",
};

// Only a placeholder carries a span into the planner; bound values have none.
std::optional<core::Span> value_span(const Literal& value) {
    if (!value.is_placeholder()) return std::nullopt;
    return value.as_placeholder().span.get();
}

std::unexpected<core::ZorvError> option_error(std::string message, const Literal& value) {
    return core::fail(core::Diag::PlanIndexOption, std::move(message), value_span(value));
}

template <std::size_t N>
std::optional<std::size_t> find_word(const std::array<std::string_view, N>& words, std::string_view word) {
    for (std::size_t i = 0; i < N; ++i) {
        if (core::equals_ignore_case(words[i], word)) return i;
    }
    return std::nullopt;
}

core::Result<bool> read_bool(std::string_view name, const Literal& value) {
    if (!value.is(Kind::Bool)) return option_error(core::escape_for_message(name) + " must be true or false", value);
    return value.as_bool();
}

core::Result<std::string> read_text(std::string_view name, const Literal& value) {
    if (!value.is(Kind::Str)) return option_error(core::escape_for_message(name) + " must be a string", value);
    return value.as_str();
}

core::Result<std::uint64_t> read_token_len(std::string_view name, const Literal& value) {
    if (!value.is(Kind::Int) || value.as_int() < 0) {
        return option_error(core::escape_for_message(name) + " must be a non-negative integer", value);
    }
    return static_cast<std::uint64_t>(value.as_int());
}

core::Result<core::StorageTier> read_memory(std::string_view name, const Literal& value) {
    const std::string text = ZORV_TRY(read_text(name, value));
    const std::optional<core::StorageTier> tier = core::parse_storage_tier(text);
    if (!tier) {
        return option_error("unsupported memory placement " + core::quote_for_message(text) +
                                ". Expected: cold, cached, pinned",
                            value);
    }
    return *tier;
}

core::Result<PlanTokenizer> read_tokenizer(std::string_view name, const Literal& value) {
    const std::string text = ZORV_TRY(read_text(name, value));
    const std::optional<PlanTokenizer> tokenizer = parse_tokenizer(text);
    if (!tokenizer) {
        return option_error("unsupported text tokenizer " + core::quote_for_message(text) +
                                ". Expected: word, whitespace, prefix, multilingual",
                            value);
    }
    return *tokenizer;
}

// The language is left to the server, which knows its stemmers.
core::Result<PlanStemmer> read_stemmer(std::string_view name, const Literal& value) {
    const std::string text = ZORV_TRY(read_text(name, value));
    return PlanStemmer{option_text_or_none(text)};
}

// Appends the items of a list of strings; `message` names the option when an item is not one.
core::Result<void> append_strings(std::vector<std::string>& out, const Literal& list, const std::string& message) {
    if (!list.is(Kind::List)) return option_error(message, list);
    for (const Literal& item : list.as_list()) {
        if (!item.is(Kind::Str)) return option_error(message, item);
        out.push_back(item.as_str());
    }
    return {};
}

core::Result<void> append_languages(std::vector<std::string>& out, const Literal& list) {
    std::vector<std::string> names;
    ZORV_CHECK(append_strings(names, list, "stopwords languages must be a list of strings"));
    for (const std::string& name : names) out.push_back(ZORV_TRY(check_stopwords_languages(name)));
    return {};
}

// {languages: [...], custom: [...]}: a key given twice appends twice.
core::Result<PlanStopwords> read_stopword_sets(const core::LiteralDict& sets) {
    PlanStopwords stopwords;
    for (const auto& [key, words] : sets) {
        if (core::equals_ignore_case(key, "languages")) {
            ZORV_CHECK(append_languages(stopwords.languages, words));
        } else if (core::equals_ignore_case(key, "custom")) {
            ZORV_CHECK(append_strings(stopwords.custom, words, "stopwords custom must be a list of strings"));
        } else {
            return option_error("unknown stopwords set key " + core::quote_for_message(key) +
                                    ". Expected: languages, custom",
                                words);
        }
    }
    return stopwords;
}

// A language name, a list of custom words (not checked as languages), or the two named sets.
core::Result<PlanStopwords> read_stopwords(std::string_view name, const Literal& value) {
    if (value.is(Kind::Str)) return PlanStopwords{{ZORV_TRY(check_stopwords_languages(value.as_str()))}, {}};
    if (value.is(Kind::List)) {
        PlanStopwords stopwords;
        ZORV_CHECK(
            append_strings(stopwords.custom, value, core::escape_for_message(name) + " must be a list of strings"));
        return stopwords;
    }
    if (value.is(Kind::Dict)) return read_stopword_sets(value.as_dict());
    return option_error(core::escape_for_message(name) +
                            " must be a list of strings, a language name, or {languages: [\u2026], custom: [\u2026]}",
                        value);
}

using BoolField = std::optional<bool> PlanIndexParams::*;

constexpr std::array<std::pair<std::string_view, BoolField>, 10> kBoolOptions = {{
    {"is_tenant", &PlanIndexParams::is_tenant},
    {"on_disk", &PlanIndexParams::on_disk},
    {"enable_hnsw", &PlanIndexParams::enable_hnsw},
    {"lowercase", &PlanIndexParams::lowercase},
    {"ascii_folding", &PlanIndexParams::ascii_folding},
    {"phrase_matching", &PlanIndexParams::phrase_matching},
    {"lookup", &PlanIndexParams::lookup},
    {"range", &PlanIndexParams::range},
    {"is_principal", &PlanIndexParams::is_principal},
    {"prefix", &PlanIndexParams::prefix},
}};

// Sets the field of one option; `name` is as written, `folded` its lower-case form.
core::Result<void> apply_option(PlanIndexParams& params, std::string_view name, const std::string& folded,
                                const Literal& value) {
    for (const auto& [option, field] : kBoolOptions) {
        if (folded != option) continue;
        params.*field = ZORV_TRY(read_bool(name, value));
        return {};
    }
    if (folded == "memory") params.memory = ZORV_TRY(read_memory(name, value));
    else if (folded == "tokenizer") params.tokenizer = ZORV_TRY(read_tokenizer(name, value));
    else if (folded == "min_token_len") params.min_token_len = ZORV_TRY(read_token_len(name, value));
    else if (folded == "max_token_len") params.max_token_len = ZORV_TRY(read_token_len(name, value));
    else if (folded == "stemmer") params.stemmer = ZORV_TRY(read_stemmer(name, value));
    else if (folded == "stopwords") params.stopwords = ZORV_TRY(read_stopwords(name, value));
    else return core::fail(core::Diag::PlanIndexOption, "unknown index option " + core::quote_for_message(folded));
    return {};
}

}  // namespace

std::optional<PlanIndexType> parse_index_type(std::string_view word) {
    const std::optional<std::size_t> at = find_word(kIndexTypes, word);
    if (!at) return std::nullopt;
    return static_cast<PlanIndexType>(*at);
}

std::optional<PlanTokenizer> parse_tokenizer(std::string_view word) {
    const std::optional<std::size_t> at = find_word(kTokenizers, word);
    if (!at) return std::nullopt;
    return static_cast<PlanTokenizer>(*at);
}

std::string_view index_type_name(PlanIndexType type) { return kIndexTypes[static_cast<std::size_t>(type)]; }

std::string_view tokenizer_name(PlanTokenizer tokenizer) { return kTokenizers[static_cast<std::size_t>(tokenizer)]; }

core::Result<std::string> check_stopwords_languages(std::string_view name) {
    if (find_word(kStopwordLanguages, name)) return core::to_ascii_lower(name);
    return core::fail(core::Diag::PlanIndexOption, "unknown stopwords language " + core::quote_for_message(name));
}

std::optional<std::string> option_text_or_none(std::string_view text) {
    if (core::equals_ignore_case(text, "none")) return std::nullopt;
    return core::to_ascii_lower(text);
}

core::Result<PlanFieldIndex> lower_create_index(const core::CreateIndex& create) {
    const std::optional<PlanIndexType> type = parse_index_type(create.field_type);
    if (!type) {
        return core::fail(core::Diag::PlanIndexType,
                          "unknown index field type " + core::quote_for_message(create.field_type));
    }
    PlanFieldIndex index{create.field, *type, {}};
    for (const auto& [name, value] : create.options) {
        ZORV_CHECK(apply_option(index.params, name, core::to_ascii_lower(name), value));
    }
    return index;
}

core::Result<PlanOp> plan_create_index(const core::CreateIndex& create) {
    PlanFieldIndex index = ZORV_TRY(lower_create_index(create));
    return make_op<PlanOpKind::CreateIndex>(
        CreateIndexOp{create.collection, std::move(index), create.wait.value_or(true)});
}

}  // namespace zorv::plan
