// User text quoted in error messages: control characters appear escaped, everything else as written.
#include <gtest/gtest.h>

#include <string>

#include "core/lexer.h"
#include "core/parser/parser.h"
#include "core/text.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::TextCase;

class QuotedUserText : public ::testing::TestWithParam<TextCase> {};

TEST_P(QuotedUserText, ControlCharactersAreEscaped) {
    auto parsed = parse_statement(GetParam().input);
    ASSERT_FALSE(parsed);
    EXPECT_EQ(format_error(parsed.error()), GetParam().expected);
}

using namespace std::string_literals;

const TextCase kCases[] = {
    // lexer: a character that starts no token
    {"\x1b", "[ZORV-LEX-CHAR] Unexpected character '\\x1b' at 0..1"},
    {"SHOW \x7f", "[ZORV-LEX-CHAR] Unexpected character '\\x7f' at 5..6"},
    {"SHOW "s + '\0', "[ZORV-LEX-CHAR] Unexpected character '\\x00' at 5..6"},
    // parser: the token that was not expected, and other quoted names, keys and strings
    {"SHOW SHARD '\x1b[31mred'", "[ZORV-PARSE-EXPECTED] expected KEYS but got '\\x1b[31mred' at 11..21"},
    {"SHOW COLLECTIONS '\x01\x1f'", "[ZORV-PARSE-TRAILING] unexpected trailing token '\\x01\\x1f' at 17..21"},
    {"QUERY {'a\\tb': 1, 'a\\tb': 2} FROM c", "[ZORV-PARSE-DUPLICATE-KEY] duplicate payload key 'a\\x09b' at 18..24"},
    {"QUERY [1] FROM c WHERE 'x\\ny' LIMIT 3",
     "[ZORV-PARSE-FILTER] expected a filter operator after 'x\\x0ay' at 30..35"},
    {"WITH 'a\\rb' AS (QUERY [1]), 'a\\rb' AS (QUERY [2]) QUERY [3] FROM c",
     "[ZORV-PARSE-DUPLICATE-CTE] duplicate CTE 'a\\x0db' at 28..34"},
    {"QUERY [1] FROM c LIMIT '\x02'", "[ZORV-PARSE-EXPECTED] expected INTEGER but got '\\x02' at 23..26"},
    // printable text, UTF-8 included, stays as written
    {"SHOW SHARD 'h\xC3\xA9llo ~'", "[ZORV-PARSE-EXPECTED] expected KEYS but got 'h\xC3\xA9llo ~' at 11..21"},
    {"SHOW COLLECTIONS x", "[ZORV-PARSE-TRAILING] unexpected trailing token 'x' at 17..18"},
};

INSTANTIATE_TEST_SUITE_P(Messages, QuotedUserText, ::testing::ValuesIn(kCases));

TEST(EscapeForMessage, EscapesControlBytesOnly) {
    EXPECT_EQ(escape_for_message("a\x00z\x1f\x20\x7e\x7f"s), "a\\x00z\\x1f ~\\x7f");
    EXPECT_EQ(escape_for_message("\t\n\r"), "\\x09\\x0a\\x0d");
    EXPECT_EQ(escape_for_message("\xE2\x89\xA5 \xF0\x9F\x99\x82 \xFF"), "\xE2\x89\xA5 \xF0\x9F\x99\x82 \xFF");
    EXPECT_EQ(quote_for_message("\x1b"), "'\\x1b'");
    EXPECT_EQ(quote_for_message(""), "''");
}

}  // namespace
}  // namespace zorv::core
