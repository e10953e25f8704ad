#include "embed/bm25_stemmer.h"

#include <libstemmer.h>

#include <array>
#include <memory>
#include <string_view>

namespace zorv::embed {

namespace {

// The seventeen language stemmers in Bm25Language order, then armenian and tamil.
constexpr std::array<std::string_view, 19> algorithms = {
    "arabic",  "danish",    "dutch",   "english",   "finnish",    "french",   "german",
    "greek",   "hungarian", "italian", "norwegian", "portuguese", "romanian", "russian",
    "spanish", "swedish",   "turkish", "armenian",  "tamil",
};
constexpr std::uint8_t armenian = 17;
constexpr std::uint8_t tamil = 18;

std::optional<std::uint8_t> algorithm_of(Bm25Language language) {
    const auto name = bm25_snowball_algorithm(language);
    if (!name) return std::nullopt;
    for (std::size_t i = 0; i < algorithms.size(); ++i) {
        if (algorithms[i] == *name) return static_cast<std::uint8_t>(i);
    }
    return std::nullopt;
}

struct StemmerCloser {
    void operator()(sb_stemmer* stemmer) const { sb_stemmer_delete(stemmer); }
};
using StemmerHandle = std::unique_ptr<sb_stemmer, StemmerCloser>;

sb_stemmer* thread_stemmer(std::uint8_t algorithm) {
    thread_local std::array<StemmerHandle, algorithms.size()> stemmers;
    StemmerHandle& slot = stemmers[algorithm];
    if (!slot) slot.reset(sb_stemmer_new(std::string(algorithms[algorithm]).c_str(), "UTF_8"));
    return slot.get();
}

}  // namespace

std::optional<SnowballStemmer> SnowballStemmer::for_config(const Bm25Config& config) {
    std::optional<std::uint8_t> algorithm;
    switch (config.stemmer.kind) {
        case Bm25Stemmer::Kind::None: return std::nullopt;
        case Bm25Stemmer::Kind::Unset: algorithm = algorithm_of(config.language); break;
        case Bm25Stemmer::Kind::Snowball: algorithm = algorithm_of(config.stemmer.language); break;
        case Bm25Stemmer::Kind::Armenian: algorithm = armenian; break;
        case Bm25Stemmer::Kind::Tamil: algorithm = tamil; break;
    }
    if (!algorithm) return std::nullopt;
    return SnowballStemmer(*algorithm);
}

void SnowballStemmer::stem_in_place(std::string& word) const {
    sb_stemmer* stemmer = thread_stemmer(algorithm_);
    if (stemmer == nullptr) return;  // out of memory: the word stays as it is
    const sb_symbol* stem =
        sb_stemmer_stem(stemmer, reinterpret_cast<const sb_symbol*>(word.data()), static_cast<int>(word.size()));
    if (stem == nullptr) return;
    word.assign(reinterpret_cast<const char*>(stem), static_cast<std::size_t>(sb_stemmer_length(stemmer)));
}

}  // namespace zorv::embed
