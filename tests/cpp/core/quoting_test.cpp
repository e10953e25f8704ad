#include <gtest/gtest.h>

#include <string>

#include "core/quoting.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::TextCase;

const char* style_name(QuoteStyle style) {
    switch (style) {
        case QuoteStyle::Single: return "single";
        case QuoteStyle::Double: return "double";
        case QuoteStyle::TripleSingle: return "triple-single";
        case QuoteStyle::TripleDouble: return "triple-double";
        case QuoteStyle::Backtick: return "backtick";
        case QuoteStyle::Raw: return "raw";
    }
    return "?";
}

// "style <content> end" (plus " unclosed"), or "none"; the region opens at offset 0.
std::string scanned(const std::string& text) {
    auto region = scan_quoted(text, 0);
    if (!region) return "none";
    std::string out = std::string(style_name(region->style)) + " <" +
                      text.substr(region->text_begin, region->text_end - region->text_begin) + "> " +
                      std::to_string(region->end);
    if (!region->closed) out += " unclosed";
    // The lexeme of a closed region reads back as the same style.
    if (region->closed) {
        EXPECT_EQ(quote_style_of(std::string_view(text).substr(0, region->end)), region->style);
    }
    return out;
}

class ScanQuoted : public ::testing::TestWithParam<TextCase> {};

TEST_P(ScanQuoted, DelimitsLikeTheLexer) { EXPECT_EQ(scanned(GetParam().input), GetParam().expected); }

const TextCase kScanCases[] = {
    {"'ab' x", "single <ab> 4"},
    {"\"ab\" x", "double <ab> 4"},
    {"'a''b' x", "single <a''b> 6"},  // '' is one quote, not the end
    {"\"a''\" x", "double <a''> 5"},
    {"'a\\'b' x", "single <a\\'b> 6"},  // a backslash takes the next byte
    {"'''a'b''' x", "triple-single <a'b> 9"},
    {"\"\"\"a\"b\"\"\" x", "triple-double <a\"b> 9"},
    {"'''a'", "single <''a> 5"},      // no closing triple: a single-quoted region
    {"`a\\` x", "backtick <a\\> 4"},  // verbatim: the backslash stays
    {"r'a\\' x", "raw <a\\> 5"},
    {"r\"a\" x", "raw <a> 4"},
    {"'abc", "single <abc> 4 unclosed"},
    {"'ab\\", "single <ab\\> 4 unclosed"},
    {"`abc", "backtick <abc> 4 unclosed"},
    {"r'abc", "raw <abc> 5 unclosed"},
    {"r", "none"},
    {"rx'a'", "none"},
    {"abc", "none"},
};

INSTANTIATE_TEST_SUITE_P(Regions, ScanQuoted, ::testing::ValuesIn(kScanCases));

struct EscapeCase {
    QuoteStyle style;
    std::string content;
    std::string expected;  // the resolved text, or "BAD <offset>"
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << style_name(c.style) << " \"" << c.content << '"'; }

class ResolveEscapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(ResolveEscapes, ResolvesByStyle) {
    const EscapeCase& c = GetParam();
    auto resolved = resolve_escapes(c.style, c.content);
    EXPECT_EQ(resolved ? *resolved : "BAD " + std::to_string(resolved.error()), c.expected);
}

const EscapeCase kEscapeCases[] = {
    {QuoteStyle::Single, "plain", "plain"},
    {QuoteStyle::Single, "a\\nb\\tc\\rd", "a\nb\tc\rd"},
    {QuoteStyle::Single, "\\\\ \\\" \\' \\$", "\\ \" ' $"},
    {QuoteStyle::Single, "it''s", "it's"},
    {QuoteStyle::Double, "it''s", "it''s"},  // '' is a quote only inside single quotes
    {QuoteStyle::Double, "a\\qb", "BAD 2"},
    {QuoteStyle::Single, "ok\\x", "BAD 3"},
    {QuoteStyle::Raw, "a\\qb", "a\\qb"},
    {QuoteStyle::Backtick, "a\\n''", "a\\n''"},
    {QuoteStyle::TripleSingle, "a\\n''", "a\\n''"},
    {QuoteStyle::TripleDouble, "a\\q", "a\\q"},
};

INSTANTIATE_TEST_SUITE_P(Styles, ResolveEscapes, ::testing::ValuesIn(kEscapeCases));

}  // namespace
}  // namespace zorv::core
