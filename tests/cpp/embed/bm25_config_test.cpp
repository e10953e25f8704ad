#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/diagnostics.h"
#include "embed/bm25_config.h"

namespace zorv::embed {
namespace {

TEST(Bm25Config, NoSettingsGiveTheDefaults) {
    const auto config = build_bm25_config({});
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(*config, Bm25Config{});
    EXPECT_EQ(config->params, (Bm25Params{1.2, 0.75, 256.0}));
    EXPECT_EQ(config->language, Bm25Language::English);
    EXPECT_EQ(config->tokenizer, Bm25Tokenizer::Word);
    EXPECT_TRUE(config->lowercase);
    EXPECT_FALSE(config->ascii_folding);
    EXPECT_FALSE(config->stopwords.has_value());
    EXPECT_EQ(config->stemmer.kind, Bm25Stemmer::Kind::Unset);
    EXPECT_FALSE(config->min_token_len || config->max_token_len);
}

struct ErrorCase {
    std::string name;
    Bm25Settings settings;
    std::string message;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class Bm25ConfigErrors : public testing::TestWithParam<ErrorCase> {};

TEST_P(Bm25ConfigErrors, FailWithTheirMessage) {
    const auto config = build_bm25_config(GetParam().settings);
    ASSERT_FALSE(config.has_value());
    EXPECT_EQ(config.error().code, "ZORV-VALIDATION-CONFIG");
    EXPECT_EQ(config.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(config.error().message, GetParam().message);
    EXPECT_FALSE(config.error().span.has_value());
    EXPECT_TRUE(config.error().fields.empty());
}

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();
const std::string k1_message = "bm25 k1 must be a finite number greater than or equal to zero";
const std::string b_message = "bm25 b must be a finite number in [0, 1]";
const std::string avg_message = "bm25 avg_len must be a finite number greater than zero";

INSTANTIATE_TEST_SUITE_P(
    Table, Bm25ConfigErrors,
    testing::Values(
        ErrorCase{"k1_negative", {.k1 = -0.5}, k1_message}, ErrorCase{"k1_nan", {.k1 = nan}, k1_message},
        ErrorCase{"k1_inf", {.k1 = inf}, k1_message}, ErrorCase{"b_above", {.b = 1.0001}, b_message},
        ErrorCase{"b_below", {.b = -0.1}, b_message}, ErrorCase{"b_nan", {.b = nan}, b_message},
        ErrorCase{"avg_zero", {.avg_len = 0.0}, avg_message},
        ErrorCase{"avg_negative_zero", {.avg_len = -0.0}, avg_message},
        ErrorCase{"avg_nan", {.avg_len = nan}, avg_message}, ErrorCase{"avg_inf", {.avg_len = inf}, avg_message},
        // k1 is checked before b, b before avg_len
        ErrorCase{"k1_before_b", {.k1 = -1, .b = 2, .avg_len = 0}, k1_message},
        ErrorCase{"b_before_avg", {.b = 2, .avg_len = 0}, b_message},
        // stop-word languages come first of all
        ErrorCase{"stop_language_before_k1",
                  {.k1 = -1, .tokenizer = "bad", .stopwords_languages = std::vector<std::string>{"en", "Klingon"}},
                  "unsupported bm25 language: Klingon"},
        ErrorCase{"params_before_tokenizer", {.b = 7, .tokenizer = "bad"}, b_message},
        ErrorCase{"tokenizer_before_language",
                  {.language = "xx", .tokenizer = "Sentence"},
                  "unsupported bm25 tokenizer: Sentence"},
        ErrorCase{"language_before_stemmer", {.language = " en", .stemmer = "zh"}, "unsupported bm25 language:  en"},
        ErrorCase{"stemmer_unavailable_code",
                  {.stemmer = "ZH"},
                  "bm25 stemmer unavailable for language chinese: no Snowball stemmer (use \"none\" to "
                  "disable)"},
        ErrorCase{"stemmer_unavailable_basque",
                  {.stemmer = "eu"},
                  "bm25 stemmer unavailable for language basque: no Snowball stemmer (use \"none\" to "
                  "disable)"},
        ErrorCase{"stemmer_no_language", {.stemmer = "xx"}, "unsupported bm25 language: xx"},
        ErrorCase{"stemmer_none_padded", {.stemmer = "none "}, "unsupported bm25 language: none "}),
    [](const testing::TestParamInfo<ErrorCase>& info) { return info.param.name; });

TEST(Bm25Config, AcceptedEdgesOfTheParams) {
    for (const double k1 : {0.0, -0.0, 3.0}) EXPECT_TRUE(validate_bm25_params(k1, 0.75, 256).has_value()) << k1;
    for (const double b : {0.0, 1.0}) EXPECT_TRUE(validate_bm25_params(1.2, b, 256).has_value()) << b;
    EXPECT_TRUE(validate_bm25_params(1.2, 0.75, 1e-9).has_value());
}

TEST(Bm25Config, NamesAndCodes) {
    EXPECT_EQ(parse_bm25_tokenizer("PREFIX"), Bm25Tokenizer::Prefix);
    EXPECT_EQ(parse_bm25_tokenizer("multilingual"), Bm25Tokenizer::Multilingual);
    EXPECT_EQ(parse_bm25_tokenizer("WhiteSpace"), Bm25Tokenizer::Whitespace);
    for (const char* text : {"English", "EN", "en"}) EXPECT_EQ(parse_bm25_language(text), Bm25Language::English);
    EXPECT_EQ(parse_bm25_language("jp"), Bm25Language::Japanese);
    EXPECT_FALSE(parse_bm25_language("ja").has_value());
    EXPECT_EQ(parse_bm25_language("HI-EN"), Bm25Language::Hinglish);
    EXPECT_EQ(parse_bm25_language("tr"), Bm25Language::Turkish);
}

TEST(Bm25Config, StemmerNames) {
    using Kind = Bm25Stemmer::Kind;
    for (const char* text : {"None", "NONE", "none"}) EXPECT_EQ(parse_bm25_stemmer(text)->kind, Kind::None);
    EXPECT_EQ(parse_bm25_stemmer("hy")->kind, Kind::Armenian);
    EXPECT_EQ(parse_bm25_stemmer("Armenian")->kind, Kind::Armenian);
    EXPECT_EQ(parse_bm25_stemmer("TA")->kind, Kind::Tamil);
    EXPECT_EQ(parse_bm25_stemmer("en"), (Bm25Stemmer{Kind::Snowball, Bm25Language::English}));
    EXPECT_EQ(parse_bm25_stemmer("no"), (Bm25Stemmer{Kind::Snowball, Bm25Language::Norwegian}));
    EXPECT_EQ(parse_bm25_stemmer("chinese").error().message,
              "bm25 stemmer unavailable for language chinese: no Snowball stemmer (use \"none\" to disable)");
}

TEST(Bm25Config, StopwordOverride) {
    // an empty custom list is an override with nothing in it
    const auto empty = build_bm25_config({.stopwords = std::vector<std::string>{}});
    EXPECT_EQ(empty->stopwords, Bm25StopwordOverride{});
    // an empty language list alone is no override
    EXPECT_FALSE(build_bm25_config({.stopwords_languages = std::vector<std::string>{}})->stopwords.has_value());
    const auto both = build_bm25_config({.stopwords = std::vector<std::string>{"Foo"},
                                         .stopwords_languages = std::vector<std::string>{"de", "fr", "de"}});
    EXPECT_EQ(both->stopwords,
              (Bm25StopwordOverride{{Bm25Language::German, Bm25Language::French, Bm25Language::German}, {"Foo"}}));
}

TEST(Bm25Config, OtherSettingsAreTakenAsGiven) {
    const auto config = build_bm25_config(
        {.language = "chinese", .lowercase = false, .ascii_folding = true, .min_token_len = 9, .max_token_len = 2});
    ASSERT_TRUE(config.has_value());
    EXPECT_EQ(config->language, Bm25Language::Chinese);
    EXPECT_EQ(config->stemmer.kind, Bm25Stemmer::Kind::Unset);
    EXPECT_FALSE(config->lowercase);
    EXPECT_TRUE(config->ascii_folding);
    EXPECT_EQ(config->min_token_len, 9u);
    EXPECT_EQ(config->max_token_len, 2u);
}

}  // namespace
}  // namespace zorv::embed
