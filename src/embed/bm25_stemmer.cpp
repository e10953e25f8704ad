#include "embed/bm25_stemmer.h"

#include <libstemmer.h>

#include <array>
#include <memory>
#include <string_view>
#include <unordered_map>

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

// Stemming is most of the cost of encoding prose, and prose repeats its words: each thread keeps
// the stems it has made, per algorithm, up to a bound (then starts afresh).
constexpr std::size_t stem_cache_limit = 1 << 14;

struct ThreadStemmer {
    StemmerHandle stemmer;
    std::unordered_map<std::string, std::string> stems;
};

ThreadStemmer& thread_stemmer(std::uint8_t algorithm) {
    thread_local std::array<ThreadStemmer, algorithms.size()> stemmers;
    ThreadStemmer& slot = stemmers[algorithm];
    if (!slot.stemmer) slot.stemmer.reset(sb_stemmer_new(std::string(algorithms[algorithm]).c_str(), "UTF_8"));
    return slot;
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
    ThreadStemmer& slot = thread_stemmer(algorithm_);
    if (!slot.stemmer) return;  // out of memory: the word stays as it is
    if (const auto known = slot.stems.find(word); known != slot.stems.end()) {
        word = known->second;
        return;
    }
    sb_stemmer* stemmer = slot.stemmer.get();
    const sb_symbol* stem =
        sb_stemmer_stem(stemmer, reinterpret_cast<const sb_symbol*>(word.data()), static_cast<int>(word.size()));
    if (stem == nullptr) return;
    if (slot.stems.size() >= stem_cache_limit) slot.stems.clear();
    std::string stemmed(reinterpret_cast<const char*>(stem), static_cast<std::size_t>(sb_stemmer_length(stemmer)));
    slot.stems.emplace(std::move(word), stemmed);
    word = std::move(stemmed);
}

}  // namespace zorv::embed
