#include <gtest/gtest.h>

#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "embed/bm25_encoder.h"
#include "embed/bm25_text.h"
#include "embed/murmur3.h"

namespace zorv::embed {
namespace {

TEST(Murmur3, KnownVectors) {
    const std::pair<std::string_view, std::uint32_t> cases[] = {
        {"", 0u},
        {"hello", 613153351u},
        {"The quick brown fox jumps over the lazy dog", 776992547u},
        {"cat", 1751422759u},
        {"shoe", 303109060u},
        {"red", 3947898621u},
    };
    for (const auto& [text, hash] : cases) {
        EXPECT_EQ(murmur3_x86_32(text), hash) << text;
        Murmur3Stream stream;
        for (const char c : text) stream.append(std::string_view(&c, 1));
        EXPECT_EQ(stream.hash(), hash) << text << " byte by byte";
    }
}

TEST(Murmur3, IndexIsTheAbsoluteSignedHash) {
    EXPECT_EQ(bm25_token_index("cat"), 1751422759u);
    EXPECT_EQ(bm25_token_index("red"), 347068675u);
    EXPECT_EQ(bm25_index_of_hash(0x80000000u), 2147483648u);
    EXPECT_EQ(bm25_index_of_hash(0xFFFFFFFFu), 1u);
    EXPECT_EQ(bm25_index_of_hash(0x7FFFFFFFu), 2147483647u);
}

// Tokens of word characters 1 to 4 bytes long in UTF-8, so no tokenizer splits them.
std::string random_token(std::mt19937& rng) {
    static const std::string_view pool[] = {"a", "Z", "7", "é", "ж", "ع", "中", "ア", "𐐀", "𝔸"};
    std::uniform_int_distribution<std::size_t> length(1, 12);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pool) - 1);
    std::string token;
    for (std::size_t n = length(rng); n > 0; --n) token += pool[pick(rng)];
    return token;
}

// The prefixes a Prefix document contributes, each hashed whole.
std::vector<std::uint32_t> whole_prefix_indices(std::string_view token, std::optional<std::uint64_t> min,
                                                std::optional<std::uint64_t> max) {
    std::vector<std::uint32_t> out;
    const std::uint64_t first = min.value_or(1);
    const std::size_t length = char_count(token);
    if (max && *max < first) return out;
    for (std::uint64_t i = first;; ++i) {
        out.push_back(bm25_token_index(first_chars(token, i)));
        if (i >= length || (max && *max < i + 1)) break;
    }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

TEST(Murmur3, IncrementalPrefixesMatchWholeHashing) {
    std::mt19937 rng(22);
    const std::optional<std::uint64_t> limits[] = {std::nullopt, 0, 1, 2, 3, 5, 8};
    for (const auto& min : limits) {
        for (const auto& max : limits) {
            Bm25Config config;
            config.tokenizer = Bm25Tokenizer::Prefix;
            config.lowercase = false;
            config.stemmer.kind = Bm25Stemmer::Kind::None;
            config.stopwords = Bm25StopwordOverride{};
            config.min_token_len = min;
            config.max_token_len = max;
            const Bm25Encoder encoder = build_bm25_encoder(config);
            for (int round = 0; round < 40; ++round) {
                const std::string token = random_token(rng);
                const std::size_t length = char_count(token);
                if (min && length < *min) continue;  // dropped before hashing
                const auto vector = encode_document(encoder, token);
                ASSERT_TRUE(vector.has_value());
                EXPECT_EQ(vector->indices, whole_prefix_indices(token, min, max))
                    << token << " min " << min.value_or(99) << " max " << max.value_or(99);
            }
        }
    }
}

}  // namespace
}  // namespace zorv::embed
