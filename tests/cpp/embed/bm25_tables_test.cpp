#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <string_view>

#include "embed/bm25_tables.h"

namespace zorv::embed {
namespace {

TEST(Bm25Stopwords, ListsHoldTheirDistinctWords) {
    // Distinct words per language, in Bm25Language order.
    const std::size_t sizes[bm25_language_count] = {701, 165, 258, 398, 279,  841,  94,  101, 179, 229,
                                                    157, 232, 265, 193, 1036, 198,  757, 279, 149, 276,
                                                    254, 172, 207, 356, 151,  1784, 313, 114, 163, 53};
    const std::map<Bm25Language, std::size_t> with_blanks = {
        {Bm25Language::Arabic, 5},  {Bm25Language::Azerbaijani, 1}, {Bm25Language::Basque, 27},
        {Bm25Language::Catalan, 2}, {Bm25Language::Hebrew, 8},      {Bm25Language::Nepali, 1},
        {Bm25Language::Tajik, 59},
    };
    std::size_t total = 0;
    for (std::size_t i = 0; i < bm25_language_count; ++i) {
        const auto language = static_cast<Bm25Language>(i);
        const auto words = builtin_stopwords(language);
        SCOPED_TRACE(bm25_language_name(language));
        EXPECT_EQ(std::set<std::string_view>(words.begin(), words.end()).size(), words.size()) << "duplicates";
        EXPECT_EQ(words.size(), sizes[i]);
        std::size_t blanks = 0;
        for (std::string_view word : words) {
            EXPECT_FALSE(word.empty());
            if (word.find(' ') != std::string_view::npos) ++blanks;
        }
        EXPECT_EQ(blanks, with_blanks.contains(language) ? with_blanks.at(language) : 0);
        total += words.size();
    }
    EXPECT_EQ(total, 10354u);
}

TEST(Bm25Stopwords, KnownWordsSitInTheirLists) {
    const auto has = [](Bm25Language language, std::string_view word) {
        for (std::string_view w : builtin_stopwords(language)) {
            if (w == word) return true;
        }
        return false;
    };
    EXPECT_TRUE(has(Bm25Language::English, "hers"));
    EXPECT_TRUE(has(Bm25Language::Greek, "αἱ"));
    EXPECT_TRUE(has(Bm25Language::Japanese, "といった"));
    EXPECT_TRUE(has(Bm25Language::Kazakh, "пай-пай"));
    EXPECT_TRUE(has(Bm25Language::Tajik, "чӣ"));
    EXPECT_FALSE(has(Bm25Language::English, "cat"));
}

struct Block {
    std::string_view name;
    char32_t first;
    char32_t last;  // of the block
    std::size_t mapped;
};

TEST(AsciiFolding, TableCoversItsBlocksOnly) {
    const Block blocks[] = {
        {"Latin-1 Supplement", 0x80, 0xFF, 67},
        {"Latin Extended-A", 0x100, 0x17F, 128},
        {"Latin Extended-B", 0x180, 0x24F, 178},
        {"IPA Extensions", 0x250, 0x2AF, 67},
        {"Phonetic Extensions", 0x1D00, 0x1D7F, 52},
        {"Phonetic Extensions Supplement", 0x1D80, 0x1DBF, 23},
        {"Latin Extended Additional", 0x1E00, 0x1EFF, 254},
        {"General Punctuation", 0x2000, 0x206F, 30},
        {"Superscripts and Subscripts", 0x2070, 0x209F, 34},
        {"Number Forms", 0x2150, 0x218F, 1},
        {"Enclosed Alphanumerics", 0x2460, 0x24FF, 160},
        {"Dingbats", 0x2700, 0x27BF, 48},
        {"Latin Extended-C", 0x2C60, 0x2C7F, 25},
        {"Supplemental Punctuation", 0x2E00, 0x2E7F, 2},
        {"Latin Extended-D", 0xA720, 0xA7FF, 74},
        {"Alphabetic Presentation Forms", 0xFB00, 0xFB4F, 6},
        {"Halfwidth and Fullwidth Forms", 0xFF00, 0xFFEF, 92},
    };
    std::size_t in_blocks = 0;
    for (const Block& block : blocks) {
        std::size_t mapped = 0;
        for (char32_t c = block.first; c <= block.last; ++c) mapped += fold_to_ascii(c).has_value();
        EXPECT_EQ(mapped, block.mapped) << block.name;
        in_blocks += mapped;
    }
    std::size_t all = 0;
    std::set<std::string_view> texts;
    std::map<std::size_t, std::size_t> by_length;
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        const auto text = fold_to_ascii(c);
        if (!text) continue;
        ++all;
        for (char a : *text) EXPECT_LT(static_cast<unsigned char>(a), 0x80u);
        if (texts.insert(*text).second) ++by_length[text->size()];
    }
    EXPECT_EQ(all, 1241u);
    EXPECT_EQ(in_blocks, all);
    EXPECT_EQ(texts.size(), 229u);
    EXPECT_EQ(by_length, (std::map<std::size_t, std::size_t>{{1, 92}, {2, 78}, {3, 48}, {4, 11}}));
}

TEST(AsciiFolding, TellingRows) {
    const std::pair<char32_t, std::string_view> folded[] = {
        {0xC5, "A"},    {0x1FC, "AE"},    {0xDF, "ss"},    {0x1E9E, "SS"},  {0xFE, "th"},  {0x111, "d"},
        {0x153, "oe"},  {0x1C5, "Dz"},    {0x131, "i"},    {0x138, "q"},    {0x17F, "s"},  {0x149, "n"},
        {0x259, "a"},   {0xAB, "\""},     {0x203A, "'"},   {0x2014, "-"},   {0xFF0D, "-"}, {0x2080, "0"},
        {0x2469, "10"}, {0x247D, "(10)"}, {0x2491, "10."}, {0x249C, "(a)"}, {0x24B6, "A"}, {0x2048, "?!"},
        {0x2E29, "))"}, {0xFB03, "ffi"},  {0xFB06, "st"},  {0xFF21, "A"},   {0xFF5E, "~"},
    };
    for (const auto& [c, text] : folded) EXPECT_EQ(fold_to_ascii(c), text) << std::hex << static_cast<int>(c);
    for (char32_t c : {0xAA, 0xBA, 0xBC, 0xD7, 0xF7, 0xB5, 0x18F, 0x2026, 0x2122, 0x3B1, 0x436, 0x41}) {
        EXPECT_EQ(fold_to_ascii(c), std::nullopt) << std::hex << static_cast<int>(c);
    }
}

}  // namespace
}  // namespace zorv::embed
