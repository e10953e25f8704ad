// Snowball stemming for BM25. An sb_stemmer keeps its working buffer inside, so it is never
// shared across threads: each thread opens its own, once per algorithm, and the encoder that
// names the algorithm needs no lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "embed/bm25_config.h"

namespace zorv::embed {

class SnowballStemmer {
public:
    // The stemmer a config asks for: its own choice, or its language's when unset; none when
    // stemming is off or the language has no stemmer.
    static std::optional<SnowballStemmer> for_config(const Bm25Config& config);

    // Replaces word by its stem (which may be the word itself). Stemmers do not lower-case.
    void stem_in_place(std::string& word) const;

    friend bool operator==(const SnowballStemmer&, const SnowballStemmer&) = default;

private:
    explicit SnowballStemmer(std::uint8_t algorithm) : algorithm_(algorithm) {}
    std::uint8_t algorithm_;  // index into the algorithm table of bm25_stemmer.cpp
};

}  // namespace zorv::embed
