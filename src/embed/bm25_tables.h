// The built-in BM25 data: a stop-word list per language and the Lucene ASCII-folding map. Both
// are generated into src/embed/data/ by scripts/gen_bm25_tables.py.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "embed/bm25_config.h"

namespace zorv::embed {

// The distinct words of a language's list, exactly as stored (some hold blanks).
std::span<const std::string_view> builtin_stopwords(Bm25Language language);

// The ASCII text a character above U+007F folds to, or nothing when it stays.
std::optional<std::string_view> fold_to_ascii(char32_t c);

}  // namespace zorv::embed
