// BM25 settings of an embedder, parsed and checked once into a Bm25Config.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"

namespace zorv::embed {

struct Bm25Params {
    double k1 = 1.2;
    double b = 0.75;
    double avg_len = 256.0;

    friend bool operator==(const Bm25Params&, const Bm25Params&) = default;
};

enum class Bm25Tokenizer : std::uint8_t { Word, Whitespace, Prefix, Multilingual };

// The order is the key of the stop-word and stemmer tables.
enum class Bm25Language : std::uint8_t {
    Arabic,
    Azerbaijani,
    Basque,
    Bengali,
    Catalan,
    Chinese,
    Danish,
    Dutch,
    English,
    Finnish,
    French,
    German,
    Greek,
    Hebrew,
    Hinglish,
    Hungarian,
    Indonesian,
    Italian,
    Japanese,
    Kazakh,
    Nepali,
    Norwegian,
    Portuguese,
    Romanian,
    Russian,
    Slovene,
    Spanish,
    Swedish,
    Tajik,
    Turkish,
};
inline constexpr std::size_t bm25_language_count = 30;

// Full lower-case English name ("english").
std::string_view bm25_language_name(Bm25Language language);
// The libstemmer algorithm of a language, or nothing when it has none we allow.
std::optional<std::string_view> bm25_snowball_algorithm(Bm25Language language);

struct Bm25Stemmer {
    // Unset follows the configured language.
    enum class Kind : std::uint8_t { Unset, None, Snowball, Armenian, Tamil };
    Kind kind = Kind::Unset;
    Bm25Language language = Bm25Language::English;  // for Snowball only

    friend bool operator==(const Bm25Stemmer&, const Bm25Stemmer&) = default;
};

struct Bm25StopwordOverride {
    std::vector<Bm25Language> languages;
    std::vector<std::string> custom;

    friend bool operator==(const Bm25StopwordOverride&, const Bm25StopwordOverride&) = default;
};

struct Bm25Config {
    Bm25Params params;
    Bm25Language language = Bm25Language::English;
    Bm25Tokenizer tokenizer = Bm25Tokenizer::Word;
    bool lowercase = true;
    bool ascii_folding = false;
    std::optional<Bm25StopwordOverride> stopwords;
    Bm25Stemmer stemmer;
    std::optional<std::uint64_t> min_token_len;
    std::optional<std::uint64_t> max_token_len;

    friend bool operator==(const Bm25Config&, const Bm25Config&) = default;
};

// The twelve optional bm25_ settings of an embedder, as the caller gave them.
struct Bm25Settings {
    std::optional<double> k1;
    std::optional<double> b;
    std::optional<double> avg_len;
    std::optional<std::string> language;
    std::optional<std::string> tokenizer;
    std::optional<bool> lowercase;
    std::optional<bool> ascii_folding;
    std::optional<std::vector<std::string>> stopwords;
    std::optional<std::string> stemmer;
    std::optional<std::uint64_t> min_token_len;
    std::optional<std::uint64_t> max_token_len;
    std::optional<std::vector<std::string>> stopwords_languages;
};

core::Result<Bm25Config> build_bm25_config(const Bm25Settings& settings);
core::Result<Bm25Params> validate_bm25_params(double k1, double b, double avg_len);
core::Result<Bm25Tokenizer> parse_bm25_tokenizer(std::string_view text);
core::Result<Bm25Language> parse_bm25_language(std::string_view text);
core::Result<Bm25Stemmer> parse_bm25_stemmer(std::string_view text);

}  // namespace zorv::embed
