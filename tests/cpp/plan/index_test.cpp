#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/parser/parser.h"
#include "plan/index.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/index_body.h"
#include "test_support.h"

namespace zorv::plan {

void PrintTo(const PlanFieldIndex& index, std::ostream* os) {
    *os << index.field_name << ' ' << json_text(field_schema_json(index));
}

namespace {

using core::Literal;
using core::test_support::must_parse;

// ---- statement text -> CREATE_INDEX operation -> body -------------------------------------------

struct BodyCase {
    std::string text;
    std::string value_form;  // keys sorted
    std::string text_form;   // "type" first, then the parameters in their declared order
    bool wait = true;
};

void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.text; }

class FieldIndexBody : public ::testing::TestWithParam<BodyCase> {};

TEST_P(FieldIndexBody, WritesTheSchemaInBothForms) {
    auto op = plan_statement(must_parse(GetParam().text));
    ASSERT_TRUE(op.has_value()) << core::format_error(op.error());
    ASSERT_EQ(op->kind(), PlanOpKind::CreateIndex);
    const CreateIndexOp& create = op->get<PlanOpKind::CreateIndex>();
    EXPECT_EQ(create.collection, "docs");
    EXPECT_EQ(create.wait, GetParam().wait);
    EXPECT_EQ(json_text(field_index_body(create)), GetParam().value_form);
    std::string text;
    write_field_index_body(text, create);
    EXPECT_EQ(text, GetParam().text_form);
}

INSTANTIATE_TEST_SUITE_P(
    Statements, FieldIndexBody,
    ::testing::Values(
        BodyCase{"CREATE INDEX ON COLLECTION docs FOR city TYPE keyword",
                 R"({"field_name":"city","field_schema":"keyword"})",
                 R"({"field_name":"city","field_schema":"keyword"})"},
        BodyCase{"CREATE INDEX ON COLLECTION docs FOR tenant TYPE keyword WITH (is_tenant = true)",
                 R"({"field_name":"tenant","field_schema":{"is_tenant":true,"type":"keyword"}})",
                 R"({"field_name":"tenant","field_schema":{"type":"keyword","is_tenant":true}})"},
        BodyCase{"CREATE INDEX ON COLLECTION docs FOR body TYPE text WITH (stopwords = ['a', 'the']) WAIT false",
                 R"({"field_name":"body","field_schema":{"stopwords":{"custom":["a","the"]},"type":"text"}})",
                 R"({"field_name":"body","field_schema":{"type":"text","stopwords":{"custom":["a","the"]}}})", false},
        BodyCase{"CREATE INDEX ON COLLECTION docs FOR body TYPE text WITH (stemmer = 'none', stopwords = {})",
                 R"({"field_name":"body","field_schema":{"stemmer":{"type":"none"},"stopwords":{},"type":"text"}})",
                 R"({"field_name":"body","field_schema":{"type":"text","stemmer":{"type":"none"},"stopwords":{}}})"},
        BodyCase{"CREATE INDEX ON COLLECTION docs FOR \"meta.title\" TYPE TEXT WITH (tokenizer = 'Multilingual', "
                 "min_token_len = 2, max_token_len = 40, lowercase = true, ascii_folding = false, "
                 "stemmer = 'English', stopwords = {languages: ['English'], custom: ['Foo']}, memory = 'PINNED') "
                 "WAIT true",
                 R"({"field_name":"meta.title","field_schema":{"ascii_folding":false,"lowercase":true,)"
                 R"("max_token_len":40,"memory":"pinned","min_token_len":2,)"
                 R"("stemmer":{"language":"english","type":"snowball"},)"
                 R"("stopwords":{"custom":["Foo"],"languages":["english"]},"tokenizer":"multilingual","type":"text"}})",
                 R"({"field_name":"meta.title","field_schema":{"type":"text","lowercase":true,"ascii_folding":false,)"
                 R"("min_token_len":2,"max_token_len":40,"tokenizer":"multilingual",)"
                 R"("stemmer":{"type":"snowball","language":"english"},)"
                 R"("stopwords":{"languages":["english"],"custom":["Foo"]},"memory":"pinned"}})"},
        BodyCase{"CREATE INDEX ON COLLECTION docs FOR year TYPE integer WITH (lookup = false, range = true, "
                 "is_principal = true, on_disk = true, enable_hnsw = false)",
                 R"({"field_name":"year","field_schema":{"enable_hnsw":false,"is_principal":true,"lookup":false,)"
                 R"("on_disk":true,"range":true,"type":"integer"}})",
                 R"({"field_name":"year","field_schema":{"type":"integer","on_disk":true,"enable_hnsw":false,)"
                 R"("lookup":false,"range":true,"is_principal":true}})"}));

// ---- refusals ---------------------------------------------------------------------------------

struct RefusalCase {
    std::string name;
    core::CreateIndex create;
    std::string code;
    std::string message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.name; }

core::CreateIndex index_with(std::string name, Literal value, std::string type = "text") {
    return core::CreateIndex{"docs", "body", std::move(type), {{std::move(name), std::move(value)}}, std::nullopt};
}

void expect_refusal(const core::Result<PlanFieldIndex>& result, const std::string& code, const std::string& message) {
    ASSERT_FALSE(result.has_value()) << message;
    EXPECT_EQ(result.error().code, code);
    EXPECT_EQ(result.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(result.error().message, message);
    EXPECT_FALSE(result.error().span.has_value());
    EXPECT_TRUE(result.error().fields.empty());
}

// Statement text where the planner's check is the first to see the value.
class IndexRefusalText : public ::testing::TestWithParam<core::test_support::TextCase> {};

TEST_P(IndexRefusalText, NamesTheOptionValue) {
    auto op = plan_statement(must_parse(GetParam().input));
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, "ZORV-PLAN-INDEX-OPTION");
    EXPECT_EQ(op.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(op.error().message, GetParam().expected);
    EXPECT_FALSE(op.error().span.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Statements, IndexRefusalText,
    ::testing::Values(
        core::test_support::TextCase{
            "CREATE INDEX ON COLLECTION docs FOR body TYPE text WITH (tokenizer = 'ngram')",
            "unsupported text tokenizer 'ngram'. Expected: word, whitespace, prefix, multilingual"},
        core::test_support::TextCase{"CREATE INDEX ON COLLECTION docs FOR body TYPE text WITH (stopwords = 'klingon')",
                                     "unknown stopwords language 'klingon'"},
        core::test_support::TextCase{
            "CREATE INDEX ON COLLECTION docs FOR body TYPE text WITH (stopwords = {Languages: ['english', 'Klingon']})",
            "unknown stopwords language 'Klingon'"},
        core::test_support::TextCase{
            "CREATE INDEX ON COLLECTION docs FOR body TYPE text WITH (Min_Token_Len = 18446744073709551615)",
            "Min_Token_Len must be a non-negative integer"}));

// Trees the parser would refuse first; the planner must still refuse them on its own.
class IndexRefusalTree : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(IndexRefusalTree, ReportsTheFirstFailure) {
    expect_refusal(lower_create_index(GetParam().create), GetParam().code, GetParam().message);
}

const std::string kOption = "ZORV-PLAN-INDEX-OPTION";

INSTANTIATE_TEST_SUITE_P(
    Trees, IndexRefusalTree,
    ::testing::Values(
        RefusalCase{"type_word", index_with("foo", Literal::null(), "string"), "ZORV-PLAN-INDEX-TYPE",
                    "unknown index field type 'string'"},
        RefusalCase{"empty_type", index_with("on_disk", Literal::boolean(true), ""), "ZORV-PLAN-INDEX-TYPE",
                    "unknown index field type ''"},
        RefusalCase{"option_name", index_with("Foo", Literal::boolean(true)), kOption, "unknown index option 'foo'"},
        RefusalCase{"empty_option_name", index_with("", Literal::boolean(true)), kOption, "unknown index option ''"},
        RefusalCase{"boolean", index_with("On_Disk", Literal::str("yes")), kOption, "On_Disk must be true or false"},
        RefusalCase{"text", index_with("Tokenizer", Literal::int64(1)), kOption, "Tokenizer must be a string"},
        RefusalCase{"stemmer_text", index_with("stemmer", Literal::boolean(false)), kOption,
                    "stemmer must be a string"},
        RefusalCase{"memory_word", index_with("memory", Literal::str("hot")), kOption,
                    "unsupported memory placement 'hot'. Expected: cold, cached, pinned"},
        RefusalCase{"negative_length", index_with("max_token_len", Literal::int64(-1)), kOption,
                    "max_token_len must be a non-negative integer"},
        RefusalCase{"float_length", index_with("min_token_len", Literal::f64(2.0)), kOption,
                    "min_token_len must be a non-negative integer"},
        RefusalCase{"stopwords_value", index_with("StopWords", Literal::int64(5)), kOption,
                    "StopWords must be a list of strings, a language name, or {languages: [\u2026], custom: [\u2026]}"},
        RefusalCase{"stopwords_item", index_with("StopWords", Literal::list({Literal::str("a"), Literal::int64(1)})),
                    kOption, "StopWords must be a list of strings"},
        RefusalCase{"stopwords_key", index_with("stopwords", Literal::dict({{"Other", Literal::list({})}})), kOption,
                    "unknown stopwords set key 'Other'. Expected: languages, custom"},
        RefusalCase{"stopwords_languages",
                    index_with("stopwords", Literal::dict({{"languages", Literal::str("english")}})), kOption,
                    "stopwords languages must be a list of strings"},
        RefusalCase{"stopwords_custom",
                    index_with("stopwords", Literal::dict({{"CUSTOM", Literal::list({Literal::null()})}})), kOption,
                    "stopwords custom must be a list of strings"},
        RefusalCase{"snowball_only_language", index_with("stopwords", Literal::str("armenian")), kOption,
                    "unknown stopwords language 'armenian'"}),
    [](const auto& info) { return info.param.name; });

// The parser folds the type word before the planner sees it; the planner folds it too.
TEST(LowerCreateIndex, ReadsTheTypeWordInAnyCase) {
    auto index = lower_create_index(index_with("IS_TENANT", Literal::boolean(true), "KeyWord"));
    ASSERT_TRUE(index.has_value());
    EXPECT_EQ(*index, (PlanFieldIndex{"body", PlanIndexType::Keyword, PlanIndexParams{.is_tenant = true}}));
}

TEST(LowerCreateIndex, StopsAtTheFirstFailingOption) {
    core::CreateIndex create = index_with("tokenizer", Literal::str("ngram"));
    create.options.emplace_back("memory", Literal::str("hot"));
    expect_refusal(lower_create_index(create), "ZORV-PLAN-INDEX-OPTION",
                   "unsupported text tokenizer 'ngram'. Expected: word, whitespace, prefix, multilingual");
}

TEST(LowerCreateIndex, APlaceholderValueLendsItsSpan) {
    const core::Span span{40, 46};
    auto result = lower_create_index(index_with("on_disk", Literal::param("flag", span)));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().message, "on_disk must be true or false");
    EXPECT_EQ(result.error().span, span);
}

// ---- accepted options -------------------------------------------------------------------------

struct LowerCase {
    std::string text;
    PlanFieldIndex expected;
};

void PrintTo(const LowerCase& c, std::ostream* os) { *os << c.text; }

class LowerIndex : public ::testing::TestWithParam<LowerCase> {};

TEST_P(LowerIndex, BuildsTheSpecification) {
    auto index = lower_create_index(must_parse<core::StatementKind::CreateIndex>(GetParam().text));
    ASSERT_TRUE(index.has_value()) << core::format_error(index.error());
    EXPECT_EQ(*index, GetParam().expected);
}

PlanFieldIndex text_index(PlanIndexParams params) {
    return PlanFieldIndex{"f", PlanIndexType::Text, std::move(params)};
}

INSTANTIATE_TEST_SUITE_P(
    Statements, LowerIndex,
    ::testing::Values(
        LowerCase{"CREATE INDEX ON COLLECTION c FOR f", PlanFieldIndex{"f", PlanIndexType::Keyword, {}}},
        LowerCase{"CREATE INDEX ON COLLECTION c FOR f TYPE UUID WITH (IS_TENANT = true)",
                  PlanFieldIndex{"f", PlanIndexType::Uuid, PlanIndexParams{.is_tenant = true}}},
        LowerCase{"CREATE INDEX ON COLLECTION c FOR f TYPE keyword WITH (tokenizer = 'WORD', prefix = true)",
                  PlanFieldIndex{"f", PlanIndexType::Keyword,
                                 PlanIndexParams{.prefix = true, .tokenizer = PlanTokenizer::Word}}},
        LowerCase{"CREATE INDEX ON COLLECTION c FOR f TYPE text WITH (stemmer = 'None', min_token_len = 0)",
                  text_index(PlanIndexParams{.min_token_len = 0, .stemmer = PlanStemmer{}})},
        LowerCase{"CREATE INDEX ON COLLECTION c FOR f TYPE text WITH (stemmer = 'Klingon')",
                  text_index(PlanIndexParams{.stemmer = PlanStemmer{"klingon"}})},
        LowerCase{"CREATE INDEX ON COLLECTION c FOR f TYPE text WITH (stopwords = 'English')",
                  text_index(PlanIndexParams{.stopwords = PlanStopwords{{"english"}, {}}})},
        LowerCase{"CREATE INDEX ON COLLECTION c FOR f TYPE text WITH (stopwords = ['A', 'klingon'])",
                  text_index(PlanIndexParams{.stopwords = PlanStopwords{{}, {"A", "klingon"}}})},
        LowerCase{"CREATE INDEX ON COLLECTION c FOR f TYPE text WITH (stopwords = {Languages: ['Hinglish', "
                  "'slovene'], custom: ['x']})",
                  text_index(PlanIndexParams{.stopwords = PlanStopwords{{"hinglish", "slovene"}, {"x"}}})},
        LowerCase{"CREATE INDEX ON COLLECTION c FOR f TYPE datetime WITH (memory = 'Cached')",
                  PlanFieldIndex{"f", PlanIndexType::Datetime, PlanIndexParams{.memory = core::StorageTier::Cached}}}));

// The parser refuses repeated keys in text, so repeats are built as trees.
TEST(LowerCreateIndex, ARepeatedOptionKeepsItsLastValueAndARepeatedSetAppends) {
    core::CreateIndex create = index_with("on_disk", Literal::boolean(true), "geo");
    create.options.emplace_back("ON_DISK", Literal::boolean(false));
    auto index = lower_create_index(create);
    ASSERT_TRUE(index.has_value());
    EXPECT_EQ(index->params, PlanIndexParams{.on_disk = false});

    const Literal sets = Literal::dict({{"languages", Literal::list({Literal::str("Dutch")})},
                                        {"LANGUAGES", Literal::list({Literal::str("dutch")})},
                                        {"custom", Literal::list({})}});
    index = lower_create_index(index_with("stopwords", sets));
    ASSERT_TRUE(index.has_value());
    EXPECT_EQ(index->params.stopwords, (PlanStopwords{{"dutch", "dutch"}, {}}));
}

TEST(OptionTextOrNone, FoldsEverythingButTheWordNone) {
    EXPECT_EQ(option_text_or_none("NoNe"), std::nullopt);
    EXPECT_EQ(option_text_or_none("English"), "english");
    EXPECT_EQ(option_text_or_none("none "), "none ");
}

}  // namespace
}  // namespace zorv::plan
