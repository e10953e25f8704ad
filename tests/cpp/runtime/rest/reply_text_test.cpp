#include "runtime/rest/reply_text.h"

#include <gtest/gtest.h>

#include <string>

namespace zorv::runtime::rest {
namespace {

TEST(ReplyText, InvalidSequencesBecomeReplacementCharacters) {
    const std::string r = "\xEF\xBF\xBD";
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"a\xFFz", "a" + r + "z"},
        {"a\xC3", "a" + r},                   // cut short at the end
        {"\xE2\x82z", r + "z"},               // one replacement for the maximal subpart
        {"\xED\xA0\x80", r + r + r},          // a surrogate is three faults
        {"\xC0\xAF", r + r},                  // overlong
        {"\xF4\x90\x80\x80", r + r + r + r},  // past U+10FFFF
    };
    for (const Case& c : cases) EXPECT_EQ(to_valid_utf8(c.in), c.out);
}

TEST(ReplyText, ExcerptEndsOnACharacterBoundary) {
    EXPECT_EQ(excerpt(std::string(10'000, 'x')).size(), 4096U);
    EXPECT_EQ(excerpt("short"), "short");
    // A four-byte character starting at 4094 straddles the limit: the cut falls before it.
    for (std::size_t start : {4093U, 4094U, 4095U}) {
        std::string body = std::string(start, 'x') + "\xF0\x9F\x98\x80" + std::string(100, 'y');
        EXPECT_EQ(excerpt(body).size(), start) << start;
    }
    std::string fits = std::string(4092, 'x') + "\xF0\x9F\x98\x80" + "tail";
    EXPECT_EQ(excerpt(fits).size(), 4096U);
}

}  // namespace
}  // namespace zorv::runtime::rest
