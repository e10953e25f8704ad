// CREATE INDEX lowering: the payload index a statement asks for, with every option checked.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast/collection.h"
#include "core/ast/ddl.h"
#include "core/error.h"

namespace zorv::plan {

struct PlanOp;

enum class PlanIndexType : std::uint8_t { Keyword, Integer, Float, Geo, Text, Bool, Datetime, Uuid };
enum class PlanTokenizer : std::uint8_t { Prefix, Whitespace, Word, Multilingual };

// Either list may be empty; languages are lower-cased, custom words stay as written.
struct PlanStopwords {
    std::vector<std::string> languages;
    std::vector<std::string> custom;
    friend bool operator==(const PlanStopwords&, const PlanStopwords&) = default;
};

// Stemming switched off (no language), or Snowball in a lower-cased language the server checks.
struct PlanStemmer {
    std::optional<std::string> snowball;
    friend bool operator==(const PlanStemmer&, const PlanStemmer&) = default;
};

// Every field is unset unless its option was given; the server decides which types take which.
struct PlanIndexParams {
    std::optional<bool> is_tenant;
    std::optional<bool> on_disk;
    std::optional<bool> enable_hnsw;
    std::optional<bool> lowercase;
    std::optional<bool> ascii_folding;
    std::optional<bool> phrase_matching;
    std::optional<bool> lookup;
    std::optional<bool> range;
    std::optional<bool> is_principal;
    std::optional<bool> prefix;
    std::optional<core::StorageTier> memory;
    std::optional<PlanTokenizer> tokenizer;
    std::optional<std::uint64_t> min_token_len;
    std::optional<std::uint64_t> max_token_len;
    std::optional<PlanStopwords> stopwords;
    std::optional<PlanStemmer> stemmer;
    friend bool operator==(const PlanIndexParams&, const PlanIndexParams&) = default;
};

struct PlanFieldIndex {
    std::string field_name;  // as written
    PlanIndexType field_type = PlanIndexType::Keyword;
    PlanIndexParams params;
    friend bool operator==(const PlanFieldIndex&, const PlanFieldIndex&) = default;
};

// The eight type words and the four tokenizer words, in any ASCII case; nothing for other words.
std::optional<PlanIndexType> parse_index_type(std::string_view word);
std::optional<PlanTokenizer> parse_tokenizer(std::string_view word);
// The lower-case words: "keyword", ..., "uuid"; "prefix", ..., "multilingual".
std::string_view index_type_name(PlanIndexType type);
std::string_view tokenizer_name(PlanTokenizer tokenizer);

// The lower-cased name when it is one of the thirty stop-word languages, else
// ZORV-PLAN-INDEX-OPTION quoting the name as written.
core::Result<std::string> check_stopwords_languages(std::string_view name);

// Nothing for "none" in any case, otherwise the text lower-cased.
std::optional<std::string> option_text_or_none(std::string_view text);

// Unknown type words fail with ZORV-PLAN-INDEX-TYPE before any option is read; option failures
// are ZORV-PLAN-INDEX-OPTION. A repeated option keeps its last value.
core::Result<PlanFieldIndex> lower_create_index(const core::CreateIndex& create);

// The CREATE_INDEX operation: the index, the collection, and WAIT (true when not written).
core::Result<PlanOp> plan_create_index(const core::CreateIndex& create);

}  // namespace zorv::plan
