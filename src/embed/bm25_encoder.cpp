#include "embed/bm25_encoder.h"

#include <algorithm>
#include <cmath>

#include "core/diagnostics.h"
#include "embed/bm25_tables.h"
#include "embed/bm25_text.h"
#include "embed/murmur3.h"

namespace zorv::embed {

namespace {

bool ascii_iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

void insert_stopword(Bm25Encoder& encoder, std::string_view word) {
    std::string entry(word);
    if (encoder.lowercase) lowercase_in_place(entry);
    encoder.stopwords.insert(std::move(entry));
}

void insert_builtin(Bm25Encoder& encoder, Bm25Language language) {
    for (const std::string_view word : builtin_stopwords(language)) insert_stopword(encoder, word);
}

// Folds every mapped character above U+007F; only called for a token with such a byte.
void fold_in_place(std::string& token) {
    std::string folded;
    folded.reserve(token.size());
    std::size_t at = 0;
    while (at < token.size()) {
        const std::size_t start = at;
        if (static_cast<unsigned char>(token[at]) < 0x80) {
            folded += token[at++];
            continue;
        }
        const char32_t c = detail::next_char(token, at);
        const auto text = fold_to_ascii(c);
        if (text) {
            folded += *text;
        } else {
            folded.append(token, start, at - start);
        }
    }
    token = std::move(folded);
}

// The steps of normalise_token on a token already copied into `token`; false drops it.
bool normalise_in_place(const Bm25Encoder& encoder, std::string& token, bool is_query, bool apply_max_len) {
    if (token.empty()) return false;
    if (encoder.ascii_folding && !is_ascii(token)) fold_in_place(token);
    if (encoder.lowercase) lowercase_in_place(token);
    const bool keeps_stopwords = encoder.tokenizer == Bm25Tokenizer::Prefix && is_query;
    if (!keeps_stopwords && !encoder.stopwords.empty() && encoder.stopwords.contains(token)) return false;
    if (encoder.stemmer) encoder.stemmer->stem_in_place(token);
    if (encoder.min_token_len || (apply_max_len && encoder.max_token_len)) {
        const std::size_t length = char_count(token);
        if (encoder.min_token_len && length < *encoder.min_token_len) return false;
        if (apply_max_len && encoder.max_token_len && length > *encoder.max_token_len) return false;
    }
    return true;
}

core::Result<void> refuse_multilingual(const Bm25Encoder& encoder) {
    if (encoder.tokenizer != Bm25Tokenizer::Multilingual) return {};
    return core::fail(core::Diag::ValidationConfig,
                      "bm25 tokenizer \"multilingual\" needs script-aware segmentation, which is not compiled in; "
                      "use \"word\" or \"whitespace\"");
}

// Calls on_token(std::string&) with each kept token, in text order.
template <class OnToken>
void for_each_token(const Bm25Encoder& encoder, std::string_view text, bool is_query, OnToken&& on_token) {
    const bool prefix = encoder.tokenizer == Bm25Tokenizer::Prefix;
    const bool apply_max_len = !prefix;
    std::string token;
    auto visit = [&](std::string_view raw) {
        token.assign(raw);
        if (normalise_in_place(encoder, token, is_query, apply_max_len)) on_token(token);
    };
    if (encoder.tokenizer == Bm25Tokenizer::Whitespace) {
        split_whitespace(text, visit);
    } else {
        split_words(text, visit);
    }
}

std::vector<std::uint32_t> reserve_indices(std::string_view text) {
    std::vector<std::uint32_t> indices;
    indices.reserve(text.size() / 6 + 1);
    return indices;
}

// The indices of a token's prefixes of s, s+1, ... characters, up to the whole token or
// max_token_len, hashed incrementally so a token of L characters costs O(L).
void add_prefix_indices(const Bm25Encoder& encoder, std::string_view token, std::vector<std::uint32_t>& indices) {
    const std::uint64_t first = encoder.min_token_len.value_or(1);
    const auto& max = encoder.max_token_len;
    if (max && *max < first) return;
    Murmur3Stream stream;
    std::size_t at = 0;
    std::uint64_t chars = 0;
    // Appends the next character's bytes; false at the end of the token.
    const auto grow = [&] {
        if (at >= token.size()) return false;
        const std::size_t start = at++;
        while (at < token.size() && (static_cast<unsigned char>(token[at]) & 0xC0) == 0x80) ++at;
        stream.append(token.substr(start, at - start));
        ++chars;
        return true;
    };
    while (chars < first && grow()) {
    }
    for (std::uint64_t i = first;; ++i) {
        indices.push_back(bm25_index_of_hash(stream.hash()));
        if (at >= token.size()) break;  // the whole token is hashed
        if (max && *max < i + 1) break;
        grow();
    }
}

}  // namespace

Bm25Encoder build_bm25_encoder(const Bm25Config& config) {
    Bm25Encoder encoder;
    encoder.lowercase = config.lowercase;
    encoder.ascii_folding = config.ascii_folding;
    encoder.tokenizer = config.tokenizer;
    encoder.params = config.params;
    encoder.min_token_len = config.min_token_len;
    encoder.max_token_len = config.max_token_len;
    encoder.stemmer = SnowballStemmer::for_config(config);
    if (!config.stopwords) {
        insert_builtin(encoder, config.language);
    } else {
        for (const Bm25Language language : config.stopwords->languages) insert_builtin(encoder, language);
        for (const std::string& word : config.stopwords->custom) insert_stopword(encoder, word);
    }
    return encoder;
}

std::optional<std::string> normalise_token(const Bm25Encoder& encoder, std::string_view raw, bool is_query,
                                           bool apply_max_len) {
    std::string token(raw);
    if (!normalise_in_place(encoder, token, is_query, apply_max_len)) return std::nullopt;
    return token;
}

core::Result<SparseVector> encode_query(const Bm25Encoder& encoder, std::string_view text) {
    ZORV_CHECK(refuse_multilingual(encoder));
    std::vector<std::uint32_t> indices = reserve_indices(text);
    const bool cut = encoder.tokenizer == Bm25Tokenizer::Prefix && encoder.max_token_len.has_value();
    for_each_token(encoder, text, true, [&](const std::string& token) {
        const std::string_view hashed = cut ? first_chars(token, *encoder.max_token_len) : std::string_view(token);
        indices.push_back(bm25_token_index(hashed));
    });
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    SparseVector vector;
    vector.values.assign(indices.size(), 1.0F);
    vector.indices = std::move(indices);
    return vector;
}

core::Result<SparseVector> encode_document(const Bm25Encoder& encoder, std::string_view text) {
    ZORV_CHECK(refuse_multilingual(encoder));
    std::vector<std::uint32_t> indices = reserve_indices(text);
    const bool prefix = encoder.tokenizer == Bm25Tokenizer::Prefix;
    for_each_token(encoder, text, false, [&](const std::string& token) {
        if (prefix) {
            add_prefix_indices(encoder, token, indices);
        } else {
            indices.push_back(bm25_token_index(token));
        }
    });
    const auto doc_len = static_cast<double>(indices.size());
    std::sort(indices.begin(), indices.end());
    const auto [k1, b, avg_len] = encoder.params;
    const double norm = (1.0 - b) + (b * doc_len) / avg_len;
    SparseVector vector;
    for (std::size_t run = 0; run < indices.size();) {
        std::size_t end = run + 1;
        while (end < indices.size() && indices[end] == indices[run]) ++end;
        const auto tf = static_cast<double>(end - run);
        // One rounding for k1 * norm + tf, as the reference computes it.
        const double weight = ((k1 + 1.0) * tf) / std::fma(k1, norm, tf);
        vector.indices.push_back(indices[run]);
        vector.values.push_back(static_cast<float>(weight));
        run = end;
    }
    return vector;
}

bool is_builtin_bm25_model(std::string_view model) {
    return model.empty() || ascii_iequals(model, "default") || ascii_iequals(model, "qdrant/bm25");
}

}  // namespace zorv::embed
