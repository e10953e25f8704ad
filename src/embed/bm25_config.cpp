#include "embed/bm25_config.h"

#include <array>
#include <cmath>

#include "core/diagnostics.h"

namespace zorv::embed {

namespace {

using core::Diag;
using core::fail;

struct LanguageInfo {
    std::string_view name;
    std::string_view code;
    std::string_view snowball;  // empty: no stemmer
};

constexpr std::array<LanguageInfo, bm25_language_count> languages = {{
    {"arabic", "ar", "arabic"},
    {"azerbaijani", "az", ""},
    {"basque", "eu", ""},
    {"bengali", "bn", ""},
    {"catalan", "ca", ""},
    {"chinese", "zh", ""},
    {"danish", "da", "danish"},
    {"dutch", "nl", "dutch"},
    {"english", "en", "english"},
    {"finnish", "fi", "finnish"},
    {"french", "fr", "french"},
    {"german", "de", "german"},
    {"greek", "el", "greek"},
    {"hebrew", "he", ""},
    {"hinglish", "hi-en", ""},
    {"hungarian", "hu", "hungarian"},
    {"indonesian", "id", ""},
    {"italian", "it", "italian"},
    {"japanese", "jp", ""},
    {"kazakh", "kk", ""},
    {"nepali", "ne", ""},
    {"norwegian", "no", "norwegian"},
    {"portuguese", "pt", "portuguese"},
    {"romanian", "ro", "romanian"},
    {"russian", "ru", "russian"},
    {"slovene", "sl", ""},
    {"spanish", "es", "spanish"},
    {"swedish", "sv", "swedish"},
    {"tajik", "tg", ""},
    {"turkish", "tr", "turkish"},
}};

const LanguageInfo& info(Bm25Language language) { return languages[static_cast<std::size_t>(language)]; }

std::string ascii_lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

std::string_view bm25_language_name(Bm25Language language) { return info(language).name; }

std::optional<std::string_view> bm25_snowball_algorithm(Bm25Language language) {
    const std::string_view algorithm = info(language).snowball;
    if (algorithm.empty()) return std::nullopt;
    return algorithm;
}

core::Result<Bm25Params> validate_bm25_params(double k1, double b, double avg_len) {
    if (!std::isfinite(k1) || k1 < 0.0) {
        return fail(Diag::ValidationConfig, "bm25 k1 must be a finite number greater than or equal to zero");
    }
    if (!std::isfinite(b) || b < 0.0 || b > 1.0) {
        return fail(Diag::ValidationConfig, "bm25 b must be a finite number in [0, 1]");
    }
    if (!std::isfinite(avg_len) || avg_len <= 0.0) {
        return fail(Diag::ValidationConfig, "bm25 avg_len must be a finite number greater than zero");
    }
    return Bm25Params{k1, b, avg_len};
}

core::Result<Bm25Tokenizer> parse_bm25_tokenizer(std::string_view text) {
    const std::string lower = ascii_lower(text);
    if (lower == "word") return Bm25Tokenizer::Word;
    if (lower == "whitespace") return Bm25Tokenizer::Whitespace;
    if (lower == "prefix") return Bm25Tokenizer::Prefix;
    if (lower == "multilingual") return Bm25Tokenizer::Multilingual;
    return fail(Diag::ValidationConfig, "unsupported bm25 tokenizer: " + std::string(text));
}

core::Result<Bm25Language> parse_bm25_language(std::string_view text) {
    const std::string lower = ascii_lower(text);
    for (std::size_t i = 0; i < languages.size(); ++i) {
        if (lower == languages[i].name || lower == languages[i].code) return static_cast<Bm25Language>(i);
    }
    return fail(Diag::ValidationConfig, "unsupported bm25 language: " + std::string(text));
}

core::Result<Bm25Stemmer> parse_bm25_stemmer(std::string_view text) {
    const std::string lower = ascii_lower(text);
    if (lower == "none") return Bm25Stemmer{.kind = Bm25Stemmer::Kind::None};
    if (lower == "hy" || lower == "armenian") return Bm25Stemmer{.kind = Bm25Stemmer::Kind::Armenian};
    if (lower == "ta" || lower == "tamil") return Bm25Stemmer{.kind = Bm25Stemmer::Kind::Tamil};
    const Bm25Language language = ZORV_TRY(parse_bm25_language(text));
    if (!bm25_snowball_algorithm(language)) {
        return fail(Diag::ValidationConfig, "bm25 stemmer unavailable for language " +
                                                std::string(bm25_language_name(language)) +
                                                ": no Snowball stemmer (use \"none\" to disable)");
    }
    return Bm25Stemmer{.kind = Bm25Stemmer::Kind::Snowball, .language = language};
}

core::Result<Bm25Config> build_bm25_config(const Bm25Settings& settings) {
    // The stop-word languages are checked first, before the scoring parameters.
    std::vector<Bm25Language> stop_languages;
    if (settings.stopwords_languages) {
        for (const std::string& text : *settings.stopwords_languages) {
            stop_languages.push_back(ZORV_TRY(parse_bm25_language(text)));
        }
    }
    Bm25Config config;
    config.params = ZORV_TRY(
        validate_bm25_params(settings.k1.value_or(1.2), settings.b.value_or(0.75), settings.avg_len.value_or(256.0)));
    if (settings.tokenizer) config.tokenizer = ZORV_TRY(parse_bm25_tokenizer(*settings.tokenizer));
    if (settings.language) config.language = ZORV_TRY(parse_bm25_language(*settings.language));
    if (settings.stopwords || !stop_languages.empty()) {
        config.stopwords =
            Bm25StopwordOverride{std::move(stop_languages), settings.stopwords.value_or(std::vector<std::string>{})};
    }
    if (settings.stemmer) config.stemmer = ZORV_TRY(parse_bm25_stemmer(*settings.stemmer));
    config.lowercase = settings.lowercase.value_or(true);
    config.ascii_folding = settings.ascii_folding.value_or(false);
    config.min_token_len = settings.min_token_len;
    config.max_token_len = settings.max_token_len;
    return config;
}

}  // namespace zorv::embed
