#include <gtest/gtest.h>

#include <string>

#include "core/parser/parser.h"

namespace zorv::core {
namespace {

std::string error_text(const ZorvError& e) {
    EXPECT_EQ(e.kind, e.code.starts_with("ZORV-LEX") ? ErrorKind::Lex : ErrorKind::Parse);
    return format_error(e);
}

struct ScriptCase {
    std::string input;
    std::string expected;  // statement kinds joined by ",", or the error's display text
};

void PrintTo(const ScriptCase& c, std::ostream* os) { *os << '"' << c.input << '"'; }

std::string describe(const std::vector<Statement>& statements) {
    std::string out;
    for (const Statement& s : statements) {
        if (!out.empty()) out += ",";
        out += statement_kind_name(s.kind());
        if (s.kind() == StatementKind::ShowCollection) out += "(" + s.get<StatementKind::ShowCollection>().name + ")";
        if (s.kind() == StatementKind::ShowShardKeys) out += "(" + s.get<StatementKind::ShowShardKeys>().name + ")";
    }
    return out;
}

class ScriptTable : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(ScriptTable, Parses) {
    auto r = parse_script(GetParam().input);
    EXPECT_EQ(r ? describe(*r) : error_text(r.error()), GetParam().expected);
}

const ScriptCase kScripts[] = {
    {"", ""},
    {"  -- nothing here\n", ""},
    {"SHOW COLLECTIONS;", "ShowCollections"},
    {"show collections; SHOW QUOTAS", "ShowCollections,ShowQuotas"},
    {"SHOW COLLECTIONS;;", "[ZORV-PARSE-EMPTY-STATEMENT] repeated semicolons are not allowed at 17..18"},
    {"; SHOW QUOTAS", "[ZORV-PARSE-EMPTY-STATEMENT] leading or empty statements are not allowed at 0..1"},
    {"SHOW COLLECTIONS SHOW QUOTAS",
     "[ZORV-PARSE-SEPARATOR] multiple statements must be separated by a semicolon at 17..21"},
    {"show collection 'My Coll'", "ShowCollection(My Coll)"},
    {"SHOW COLLECTION score", "ShowCollection(score)"},
    {"SHOW COLLECTION \"a\\\"b\"", "ShowCollection(a\"b)"},
    {"SHOW COLLECTION 'it''s'", "ShowCollection(it's)"},
    {"SHOW COLLECTION 'a\\nb'", "ShowCollection(a\nb)"},
    {"SHOW COLLECTION r'a\\nb'", "ShowCollection(a\\nb)"},
    {"SHOW COLLECTION `a\\nb`", "ShowCollection(a\\nb)"},
    {"SHOW COLLECTION '''a\\nb'''", "ShowCollection(a\\nb)"},
    {"SHOW COLLECTION \"x''y\"", "ShowCollection(x''y)"},
    {"SHOW COLLECTION 'a\\$b\\tc'", "ShowCollection(a$b\tc)"},
    {"SHOW COLLECTION 'a\\x'", "[ZORV-PARSE-ESCAPE] unsupported escape sequence \\x at 16..21"},
    {"SHOW COLLECTION 'a\\\xC3\xA9'", "[ZORV-PARSE-ESCAPE] unsupported escape sequence \\\xC3\xA9 at 16..22"},
    {"SHOW COLLECTION 5", "[ZORV-PARSE-IDENTIFIER] expected identifier or quoted name, got '5' at 16..17"},
    {"SHOW COLLECTION", "[ZORV-PARSE-IDENTIFIER] expected identifier or quoted name, got '' at 15..15"},
    {"SHOW SHARD KEYS ON COLLECTION docs", "ShowShardKeys(docs)"},
    {"SHOW SHARD KEYS FOR x", "[ZORV-PARSE-EXPECTED] expected ON but got 'FOR' at 16..19"},
    {"SHOW TABLES",
     "[ZORV-PARSE-SYNTAX] expected COLLECTION, COLLECTIONS, QUOTAS, or SHARD KEYS after SHOW, "
     "got 'TABLES' at 5..11"},
    {"SHOW", "[ZORV-PARSE-SYNTAX] expected COLLECTION, COLLECTIONS, QUOTAS, or SHARD KEYS after SHOW, got '' at 4..4"},
    {"SELECT 1", "[ZORV-PARSE-STATEMENT] expected a ZORV statement keyword, got 'SELECT' at 0..6"},
    {"SHOW QUOTAS; !", "[ZORV-LEX-CHAR] Unexpected character '!' at 13..14"},
};

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptTable, ::testing::ValuesIn(kScripts));

TEST(Script, AtMost256Statements) {
    std::string text;
    for (int i = 0; i < 256; ++i) text += "SHOW QUOTAS;";
    auto ok = parse_script(text);
    ASSERT_TRUE(ok) << format_error(ok.error());
    EXPECT_EQ(ok->size(), 256u);
    const std::size_t last = text.size();
    text += "SHOW QUOTAS";
    auto too_many = parse_script(text);
    ASSERT_FALSE(too_many);
    EXPECT_EQ(format_error(too_many.error()),
              "[ZORV-PARSE-STATEMENT-LIMIT] a script may contain at most 256 "
              "statements at " +
                  std::to_string(last) + ".." + std::to_string(last + 4));
}

TEST(Statement, ExactlyOneStatementWithOneOptionalSemicolon) {
    EXPECT_TRUE(parse_statement("SHOW COLLECTIONS;"));
    auto trailing = parse_statement("SHOW COLLECTIONS;;");
    ASSERT_FALSE(trailing);
    EXPECT_EQ(format_error(trailing.error()), "[ZORV-PARSE-TRAILING] unexpected trailing token ';' at 17..18");
    auto two = parse_statement("SHOW QUOTAS; SHOW QUOTAS");
    ASSERT_FALSE(two);
    EXPECT_EQ(two.error().code, "ZORV-PARSE-TRAILING");
    auto empty = parse_statement("");
    ASSERT_FALSE(empty);
    EXPECT_EQ(format_error(empty.error()), "[ZORV-PARSE-STATEMENT] expected a ZORV statement keyword, got '' at 0..0");
}

TEST(Statement, CopiesAreDeepAndEqual) {
    auto s = *parse_statement("SHOW COLLECTION docs");
    Statement copy = s;
    EXPECT_EQ(copy, s);
    copy.get<StatementKind::ShowCollection>().name = "other";
    EXPECT_NE(copy, s);
    EXPECT_EQ(statement_category(StatementKind::Scroll), "SCROLL");
    EXPECT_EQ(statement_category(StatementKind::CreateIndex), "DDL");
    EXPECT_EQ(statement_category(StatementKind::DropIndex), "DROP");
    EXPECT_EQ(statement_category(StatementKind::ShowQuotas), "SHOW");
    EXPECT_EQ(statement_category(StatementKind::SetQuota), "SET QUOTA");
    EXPECT_EQ(statement_category(StatementKind::Delete), "mutation");
}

TEST(Script, PositionalPlaceholdersCountAcrossStatementsOfOneCall) {
    auto script = parse_script("QUERY [1, 2] FROM c LIMIT ?; QUERY [1, 2] FROM c LIMIT ?");
    ASSERT_TRUE(script) << format_error(script.error());
    EXPECT_EQ((*script)[0].get<StatementKind::Query>()->page.limit_param->text(), "?0");
    EXPECT_EQ((*script)[1].get<StatementKind::Query>()->page.limit_param->text(), "?1");
    auto again = parse_statement("QUERY [1, 2] FROM c LIMIT ?");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->get<StatementKind::Query>()->page.limit_param->text(), "?0");
}

Parser parser_for(const std::string& text) { return Parser(text, *lex_all(text)); }

TEST(Cursor, WordsAndNames) {
    std::string text = "limit Foo 5 FLOAT * 'x'";
    Parser p = parser_for(text);
    EXPECT_TRUE(p.is_word("LIMIT"));
    EXPECT_TRUE(p.accept_word("Limit"));
    EXPECT_TRUE(p.is_word("foo"));
    EXPECT_TRUE(Parser::is_name_token(p.take_token()));
    EXPECT_FALSE(p.is_word("5"));
    EXPECT_FALSE(Parser::is_name_token(p.take_token()));
    EXPECT_FALSE(p.is_word("FLOAT"));  // FLOAT and INTEGER kinds are never words
    EXPECT_TRUE(Parser::is_name_token(p.current()));
    auto expected = p.expect_word("float");
    ASSERT_FALSE(expected);
    EXPECT_EQ(format_error(expected.error()), "[ZORV-PARSE-EXPECTED] expected float but got 'FLOAT' at 12..17");
    p.take_token();
    EXPECT_FALSE(Parser::is_name_token(p.take_token()));  // *
    EXPECT_FALSE(Parser::is_name_token(p.take_token()));  // STRING
    EXPECT_EQ(p.take_token().kind, TokenKind::Eof);
    EXPECT_EQ(p.current().span, (Span{23, 23}));
    // Matching the synthetic EOF consumes nothing: the position stays at the end.
    EXPECT_TRUE(p.accept(TokenKind::Eof));
    EXPECT_TRUE(p.expect_token(TokenKind::Eof));
    EXPECT_EQ(p.position(), 6u);
    EXPECT_EQ(p.previous().text, "x");
}

TEST(Cursor, ParamAndWait) {
    std::string text = ": name WAIT true WAIT 1";
    Parser p = parser_for(text);
    p.take_token();
    EXPECT_EQ(*p.parse_param(), "name");
    EXPECT_EQ(*p.parse_wait_clause(), std::optional<bool>(true));
    auto bad = p.parse_wait_clause();
    ASSERT_FALSE(bad);
    EXPECT_EQ(format_error(bad.error()), "[ZORV-PARSE-BOOL] expected true or false at 22..23");
    std::string five = ": 5";
    Parser q = parser_for(five);
    q.take_token();
    EXPECT_EQ(format_error(q.parse_param().error()),
              "[ZORV-PARSE-PARAM] expected parameter identifier after ':', found '5' at 2..3");
    std::string none = "LIMIT";
    EXPECT_EQ(*parser_for(none).parse_wait_clause(), std::nullopt);
}

TEST(Cursor, NestingLimitIs128Levels) {
    std::string text = "(";
    Parser p = parser_for(text);
    std::vector<NestGuard> guards;
    for (int i = 0; i < 128; ++i) guards.push_back(*p.enter_nesting(p.current()));
    auto deeper = p.enter_nesting(p.current());
    ASSERT_FALSE(deeper);
    EXPECT_EQ(format_error(deeper.error()),
              "[ZORV-PARSE-NESTING] statement nests deeper than 128 levels; flatten the expression at 0..1");
    guards.pop_back();
    EXPECT_TRUE(p.enter_nesting(p.current()));
}

TEST(Delimited, OpensNestsAndClosesAPair) {
    std::string text = "( [ x ) { }";
    Parser p = parser_for(text);
    Delimited parens = *Delimited::open(p, TokenKind::LParen);
    EXPECT_EQ(parens.opener().span, (Span{0, 1}));
    EXPECT_EQ(p.depth(), 1u);
    {
        Delimited brackets = *Delimited::open(p, TokenKind::LBracket);
        EXPECT_EQ(p.depth(), 2u);
        p.take_token();  // x
        EXPECT_FALSE(brackets.at_close());
        auto wrong = brackets.close();
        ASSERT_FALSE(wrong);
        EXPECT_EQ(format_error(wrong.error()), "[ZORV-PARSE-EXPECTED] expected RBRACKET but got ')' at 6..7");
    }
    EXPECT_EQ(p.depth(), 1u);  // the level ends with the guard, closed or not
    EXPECT_TRUE(parens.close());
    auto not_an_opener = Delimited::open(p, TokenKind::LParen);
    ASSERT_FALSE(not_an_opener);
    EXPECT_EQ(format_error(not_an_opener.error()), "[ZORV-PARSE-EXPECTED] expected LPAREN but got '{' at 8..9");
    Delimited braces = *Delimited::open_flat(p, TokenKind::LBrace);
    EXPECT_EQ(p.depth(), 1u);  // a flat pair takes no level
    EXPECT_TRUE(braces.accept_close());
    EXPECT_TRUE(p.at_end());
}

TEST(Delimited, CaseClosesWithEnd) {
    std::string text = "CASE x END";
    Parser p = parser_for(text);
    Delimited case_end = *Delimited::open(p, TokenKind::Case);
    EXPECT_EQ(case_end.closer(), TokenKind::End);
    p.take_token();
    EXPECT_TRUE(case_end.close());
}

TEST(Delimited, TheOpenerPastTheLimitCarriesTheNestingError) {
    std::string text = std::string(129, '(');
    Parser p = parser_for(text);
    std::vector<Delimited> levels;
    for (int i = 0; i < 128; ++i) levels.push_back(*Delimited::open(p, TokenKind::LParen));
    auto deeper = Delimited::open(p, TokenKind::LParen);
    ASSERT_FALSE(deeper);
    EXPECT_EQ(format_error(deeper.error()),
              "[ZORV-PARSE-NESTING] statement nests deeper than 128 levels; flatten the expression at 128..129");
}

TEST(EnumeratedWords, TiersDatatypesIndexTypes) {
    EXPECT_EQ(parse_storage_tier("Cached"), StorageTier::Cached);
    EXPECT_EQ(parse_storage_tier("warm"), std::nullopt);
    EXPECT_EQ(parse_vector_datatype("F16"), VectorDatatype::Float16);
    EXPECT_EQ(parse_vector_datatype("t4"), VectorDatatype::Turbo4);
    EXPECT_EQ(parse_vector_datatype(""), std::nullopt);
    EXPECT_TRUE(is_index_type_name("datetime"));
    EXPECT_FALSE(is_index_type_name("Keyword"));
}

}  // namespace
}  // namespace zorv::core
