#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "embed/bm25_encoder.h"
#include "embed/murmur3.h"

namespace zorv::embed {
namespace {

Bm25Encoder encoder_for(const Bm25Settings& settings) {
    auto config = build_bm25_config(settings);
    EXPECT_TRUE(config.has_value());
    return build_bm25_encoder(*config);
}

SparseVector query(const Bm25Encoder& encoder, std::string_view text) {
    auto vector = encode_query(encoder, text);
    EXPECT_TRUE(vector.has_value()) << text;
    return vector.value_or(SparseVector{});
}

SparseVector document(const Bm25Encoder& encoder, std::string_view text) {
    auto vector = encode_document(encoder, text);
    EXPECT_TRUE(vector.has_value()) << text;
    return vector.value_or(SparseVector{});
}

// The indices of a query made of these tokens: each hashed whole, sorted, duplicates removed.
std::vector<std::uint32_t> indices_of(const std::vector<std::string_view>& tokens) {
    std::vector<std::uint32_t> out;
    out.reserve(tokens.size());
    for (const auto token : tokens) out.push_back(bm25_token_index(token));
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
}

TEST(Bm25Encoder, DefaultQueryVectors) {
    const Bm25Encoder encoder = encoder_for({});
    EXPECT_EQ(query(encoder, "The cats"), (SparseVector{{1751422759u}, {1.0F}}));
    EXPECT_EQ(query(encoder, "red shoes"), (SparseVector{{303109060u, 347068675u}, {1.0F, 1.0F}}));
    EXPECT_EQ(query(encoder, "cats cats"), (SparseVector{{1751422759u}, {1.0F}}));
    EXPECT_EQ(query(encoder, ""), SparseVector{});
    EXPECT_EQ(query(encoder, " ,.;-- !"), SparseVector{});
}

TEST(Bm25Encoder, DefaultDocumentWeights) {
    const Bm25Encoder encoder = encoder_for({});
    const SparseVector one = document(encoder, "cats");
    ASSERT_EQ(one.indices, std::vector<std::uint32_t>{1751422759u});
    EXPECT_EQ(static_cast<double>(one.values[0]), 1.6877434253692627);
    const SparseVector two = document(encoder, "cats cats");
    ASSERT_EQ(two.indices, std::vector<std::uint32_t>{1751422759u});
    EXPECT_EQ(static_cast<double>(two.values[0]), 1.9072129726409912);
    EXPECT_EQ(document(encoder, "the of and"), SparseVector{});

    const Bm25Encoder prefix = encoder_for({.tokenizer = "prefix"});
    const float w = 1.6786885261535645F;
    EXPECT_EQ(document(prefix, "cats"), (SparseVector{{245496272u, 516762017u, 1751422759u}, {w, w, w}}));
}

TEST(Bm25Encoder, IndicesSortAsUnsigned) {
    // "red" has a negative hash; its index is its absolute value.
    const Bm25Encoder encoder = encoder_for({.stemmer = "none"});
    const SparseVector vector = document(encoder, "shoe red");
    EXPECT_EQ(vector.indices, (std::vector<std::uint32_t>{303109060u, 347068675u}));
}

struct TokenCase {
    std::string name;
    Bm25Settings settings;
    std::string text;
    std::vector<std::string_view> query_tokens;  // hashed whole, the query's indices
    std::vector<std::string_view> document_tokens;
};

void PrintTo(const TokenCase& c, std::ostream* os) { *os << c.name; }

class Bm25Tokens : public testing::TestWithParam<TokenCase> {};

TEST_P(Bm25Tokens, GiveTheirIndices) {
    const TokenCase& c = GetParam();
    const Bm25Encoder encoder = encoder_for(c.settings);
    EXPECT_EQ(query(encoder, c.text).indices, indices_of(c.query_tokens)) << "query";
    EXPECT_EQ(document(encoder, c.text).indices, indices_of(c.document_tokens)) << "document";
}

const Bm25Settings plain = {.lowercase = false, .stopwords = std::vector<std::string>{}, .stemmer = "none"};

Bm25Settings with(Bm25Settings settings, const Bm25Settings& more) {
    if (more.tokenizer) settings.tokenizer = more.tokenizer;
    if (more.lowercase) settings.lowercase = more.lowercase;
    if (more.ascii_folding) settings.ascii_folding = more.ascii_folding;
    if (more.min_token_len) settings.min_token_len = more.min_token_len;
    if (more.max_token_len) settings.max_token_len = more.max_token_len;
    if (more.language) settings.language = more.language;
    return settings;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Bm25Tokens,
    testing::Values(
        // splitting
        TokenCase{"word_splits_punctuation",
                  plain,
                  "state-of-the-art, don't e-mail naïve",
                  {"state", "of", "the", "art", "don", "t", "e", "mail", "naïve"},
                  {"state", "of", "the", "art", "don", "t", "e", "mail", "naïve"}},
        TokenCase{"whitespace_keeps_punctuation",
                  with(plain, {.tokenizer = "whitespace"}),
                  "state-of-the-art,\u00a0x\u3000y\t\tz",
                  {"state-of-the-art,", "x", "y", "z"},
                  {"state-of-the-art,", "x", "y", "z"}},
        TokenCase{"word_numbers", plain, "x² Ⅻ 42", {"x²", "Ⅻ", "42"}, {"x²", "Ⅻ", "42"}},
        TokenCase{"cjk_stretch_is_one_token",
                  with(plain, {.language = "japanese"}),
                  "これは、ペン",
                  {"これは", "ペン"},
                  {"これは", "ペン"}},
        // folding happens after splitting, before lower-casing
        TokenCase{"fold_german",
                  with(plain, {.ascii_folding = true}),
                  "straße ŉ Ə ﬃ",
                  {"strasse", "n", "Ə", "ffi"},
                  {"strasse", "n", "Ə", "ffi"}},
        TokenCase{"fold_brings_punctuation_under_whitespace",
                  with(plain, {.tokenizer = "whitespace", .ascii_folding = true}),
                  "x⒜ ⑽",
                  {"x(a)", "(10)"},
                  {"x(a)", "(10)"}},
        TokenCase{"fold_then_lowercase",
                  with(plain, {.lowercase = true, .ascii_folding = true}),
                  "Crème",
                  {"creme"},
                  {"creme"}},
        TokenCase{"final_sigma", with(plain, {.lowercase = true}), "ΟΔΟΣ", {"οδος"}, {"οδος"}},
        // lengths count characters after stemming
        TokenCase{"min_len_every_tokenizer", with(plain, {.min_token_len = 3}), "ab abc", {"abc"}, {"abc"}},
        TokenCase{"max_len_word", with(plain, {.max_token_len = 5}), "abcdef abcde", {"abcde"}, {"abcde"}},
        TokenCase{"max_len_counts_characters", with(plain, {.max_token_len = 2}), "éé ééé", {"éé"}, {"éé"}},
        TokenCase{"max_len_prefix",
                  with(plain, {.tokenizer = "prefix", .max_token_len = 5}),
                  "abcdef",
                  {"abcde"},
                  {"a", "ab", "abc", "abcd", "abcde"}},
        TokenCase{"prefix_min_len",
                  with(plain, {.tokenizer = "prefix", .min_token_len = 2}),
                  "cat a",
                  {"cat"},
                  {"ca", "cat"}},
        TokenCase{"prefix_min_zero_adds_empty",
                  with(plain, {.tokenizer = "prefix", .min_token_len = 0}),
                  "ca",
                  {"ca"},
                  {"", "c", "ca"}},
        TokenCase{"prefix_max_zero", with(plain, {.tokenizer = "prefix", .max_token_len = 0}), "ab cd", {""}, {}}),
    [](const testing::TestParamInfo<TokenCase>& info) { return info.param.name; });

TEST(Bm25Encoder, StopWordsAndCase) {
    const Bm25Encoder lower = encoder_for({.stemmer = "none"});
    EXPECT_EQ(query(lower, "The THE the").indices, std::vector<std::uint32_t>{});
    const Bm25Encoder keep_case = encoder_for({.lowercase = false, .stemmer = "none"});
    EXPECT_EQ(query(keep_case, "The the").indices, indices_of({"The"}));
    // the stop-word set is not folded: été stays a stop word, its folded token ete does not match
    const Bm25Encoder french = encoder_for({.language = "fr", .ascii_folding = true, .stemmer = "none"});
    EXPECT_EQ(query(french, "été").indices, indices_of({"ete"}));
    EXPECT_EQ(query(encoder_for({.language = "fr", .stemmer = "none"}), "été").indices, std::vector<std::uint32_t>{});
    // Prefix keeps stop words on the query side only
    const Bm25Encoder prefix = encoder_for({.tokenizer = "prefix", .stemmer = "none"});
    EXPECT_EQ(query(prefix, "the").indices, indices_of({"the"}));
    EXPECT_EQ(document(prefix, "the").indices, std::vector<std::uint32_t>{});
    // custom words replace the language's list, and are lower-cased like tokens
    const Bm25Encoder custom =
        encoder_for({.stopwords = std::vector<std::string>{"Cats", "two words"}, .stemmer = "none"});
    EXPECT_EQ(query(custom, "the cats two words").indices, indices_of({"the", "two", "words"}));
    const Bm25Encoder none = encoder_for({.stopwords = std::vector<std::string>{}, .stemmer = "none"});
    EXPECT_EQ(query(none, "the").indices, indices_of({"the"}));
}

TEST(Bm25Encoder, Stemmers) {
    EXPECT_EQ(query(encoder_for({}), "running cats").indices, indices_of({"run", "cat"}));
    EXPECT_EQ(query(encoder_for({.stemmer = "none"}), "cats").indices, indices_of({"cats"}));
    EXPECT_EQ(query(encoder_for({.language = "german"}), "Häuser").indices, indices_of({"haus"}));
    // chinese has no stemmer: unset means none
    EXPECT_EQ(query(encoder_for({.language = "zh"}), "cats").indices, indices_of({"cats"}));
    // Armenian and Tamil are no BM25 languages but have stemmers
    const Bm25Encoder armenian = encoder_for({.stopwords = std::vector<std::string>{}, .stemmer = "hy"});
    EXPECT_EQ(query(armenian, "քաղաքներում").indices, indices_of({"քաղ"}));
    // (Whitespace: the Tamil virama is no Alphabetic character, so Word would split there)
    const Bm25Encoder tamil =
        encoder_for({.tokenizer = "whitespace", .stopwords = std::vector<std::string>{}, .stemmer = "tamil"});
    EXPECT_EQ(query(tamil, "வீடுகள்").indices, indices_of({"வீடு"}));
    // stemming comes before the length check
    EXPECT_EQ(query(encoder_for({.max_token_len = 3}), "cats").indices, indices_of({"cat"}));
}

TEST(Bm25Encoder, MultilingualIsRefusedBeforeReading) {
    const Bm25Encoder encoder = encoder_for({.tokenizer = "multilingual"});
    for (const auto& result : {encode_query(encoder, ""), encode_document(encoder, "")}) {
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().code, "ZORV-VALIDATION-CONFIG");
        EXPECT_EQ(result.error().kind, core::ErrorKind::Validation);
        EXPECT_EQ(result.error().message,
                  "bm25 tokenizer \"multilingual\" needs script-aware segmentation, which is not compiled in; use "
                  "\"word\" or \"whitespace\"");
    }
}

TEST(Bm25Encoder, NormaliseToken) {
    const Bm25Encoder encoder = encoder_for({.min_token_len = 2, .max_token_len = 4});
    EXPECT_EQ(normalise_token(encoder, "Cats", true, true), "cat");
    EXPECT_EQ(normalise_token(encoder, "", true, true), std::nullopt);
    EXPECT_EQ(normalise_token(encoder, "The", false, true), std::nullopt);
    EXPECT_EQ(normalise_token(encoder, "hello", false, true), std::nullopt);
    EXPECT_EQ(normalise_token(encoder, "hello", false, false), "hello");
}

TEST(Bm25Encoder, BuiltinModelNames) {
    for (const char* name : {"", "default", "DEFAULT", "Qdrant/BM25", "qdrant/bm25"}) {
        EXPECT_TRUE(is_builtin_bm25_model(name)) << name;
    }
    for (const char* name : {"bm25", "qdrant/bm25 ", "Qdrant/bm42", "defaults"}) {
        EXPECT_FALSE(is_builtin_bm25_model(name)) << name;
    }
}

TEST(Bm25Encoder, ThreadsShareOneEncoder) {
    const Bm25Encoder encoder = encoder_for({.language = "english"});
    std::string text;
    for (int i = 0; i < 200; ++i) text += "Running cats jumped over " + std::to_string(i) + " lazy dogs. ";
    const SparseVector expected_query = query(encoder, text);
    const SparseVector expected_document = document(encoder, text);
    std::vector<int> same(8, 0);
    std::vector<std::thread> threads;
    threads.reserve(same.size());
    for (int& result : same) {
        threads.emplace_back([&encoder, &text, &expected_query, &expected_document, out = &result] {
            bool ok = true;
            for (int round = 0; round < 20; ++round) {
                ok = ok && encode_query(encoder, text) == expected_query;
                ok = ok && encode_document(encoder, text) == expected_document;
            }
            *out = ok ? 1 : 0;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(same, std::vector<int>(8, 1));
}

}  // namespace
}  // namespace zorv::embed
