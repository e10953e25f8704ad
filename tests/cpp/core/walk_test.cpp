// The tree walker and the placeholder slots found with it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ast/walk.h"
#include "core/fmt/statement.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::must_parse;

using test_support::span_of;
using test_support::TextCase;

std::vector<std::string> placeholder_texts(const Statement& statement) {
    std::vector<std::string> texts;
    for (const ConstPlaceholderSlot& slot : placeholder_slots(statement)) texts.push_back(slot.placeholder->text());
    return texts;
}

struct SlotCase {
    std::string text;
    std::vector<std::string> expected;
};

void PrintTo(const SlotCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class PlaceholderSlots : public testing::TestWithParam<SlotCase> {};

TEST_P(PlaceholderSlots, ComeInVisitingOrder) {
    const SlotCase& c = GetParam();
    Statement statement = must_parse(c.text);
    EXPECT_EQ(placeholder_texts(statement), c.expected);
    // The mutable form finds the same slots.
    std::vector<std::string> mutable_texts;
    for_each_placeholder(statement, [&](PlaceholderSlot& slot) { mutable_texts.push_back(slot.placeholder->text()); });
    EXPECT_EQ(mutable_texts, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Walk, PlaceholderSlots,
    testing::Values(
        SlotCase{"QUERY [1, 2] FROM c LIMIT 3", {}}, SlotCase{"SHOW COLLECTIONS", {}},
        // definitions, quotas and batches: shard keys and entry values
        SlotCase{"CREATE SHARD KEY :k ON COLLECTION c", {":k"}}, SlotCase{"DROP SHARD KEY ? ON COLLECTION c", {"?0"}},
        SlotCase{"SET QUOTA (a = :x, b = [1, ?]) WAIT true", {":x", "?0"}},
        SlotCase{"CREATE COLLECTION c (v VECTOR(4, DOT)) WITH PARAMS (shard_keys = ['a', :k, ?]) WITH METADATA "
                 "(owner = :o)",
                 {":k", "?0", ":o"}},
        SlotCase{"ALTER COLLECTION c WITH METADATA (a = ?, b = {c: :b}) WITH STRICT_MODE (max_timeout = 5)",
                 {"?0", ":b"}},
        SlotCase{"BATCH { QUERY ? FROM a WHERE x = :x; DELETE FROM b WHERE id = ? SHARD :s } PARAMS (hnsw_ef = 8)",
                 {"?0", ":x", "?1", ":s"}},
        // literals in filters, lists and dicts
        SlotCase{"QUERY [1] FROM c WHERE a = :x AND b IN (1, ?, :y) AND c BETWEEN ? AND :hi",
                 {":x", "?0", ":y", "?1", ":hi"}},
        SlotCase{"QUERY [1] FROM c WHERE NOT (a = :x OR NESTED('n', b MATCH ANY (:m, 2))) AND d != ?",
                 {":x", ":m", "?0"}},
        // point ids: in filters, POINTS, POINT inputs
        SlotCase{"QUERY [1] FROM c WHERE id = :p OR id IN (1, ?)", {":p", "?0"}},
        SlotCase{"QUERY POINTS (:a, 2, ?) FROM c SHARD :k", {":a", "?0", ":k"}},
        SlotCase{"QUERY RECOMMEND POSITIVE (POINT :p, VECTOR ?) NEGATIVE (:n) FROM c SHARD ? LIMIT :l",
                 {":p", "?0", ":n", "?1", ":l"}},
        // query inputs and text slots
        SlotCase{"QUERY ? FROM c LIMIT :n OFFSET ?", {"?0", ":n", "?1"}},
        SlotCase{"QUERY TEXT :t MODEL 'm' OPTIONS {lang: :lang} FROM c", {":t", ":lang"}},
        SlotCase{"QUERY OBJECT {a: :o, b: [?]} FROM c", {":o", "?0"}},
        SlotCase{"QUERY HYBRID TEXT ? MODEL 'bm25' DENSE d SPARSE s FROM c LIMIT ? OFFSET ?", {"?0", "?1", "?2"}},
        SlotCase{"QUERY CROSS RERANK TEXT :q MODEL 'ce' FROM c PREFETCH (QUERY TEXT :q LIMIT ?) LIMIT :k",
                 {":q", ":q", "?0", ":k"}},
        SlotCase{"QUERY CONTEXT (POSITIVE :a NEGATIVE ?, POSITIVE POINT 3 NEGATIVE :b) FROM c", {":a", "?0", ":b"}},
        SlotCase{"QUERY DISCOVER TARGET ? CONTEXT (POSITIVE :p NEGATIVE :n) FROM c", {"?0", ":p", ":n"}},
        SlotCase{"QUERY RELEVANCE FEEDBACK TARGET :q FEEDBACK ((POINT ?, 0.9), (:e, 0.1)) STRATEGY NAIVE "
                 "(a = 1, b = 0.5, c = 0.5) FROM c",
                 {":q", "?0", ":e"}},
        SlotCase{"QUERY RERANK VECTOR :v MODEL 'm' FROM c USING col PREFETCH (QUERY ? USING d LIMIT 9)", {":v", "?0"}},
        SlotCase{"QUERY ORDER BY t DESC START FROM :cursor FROM c LIMIT :n", {":cursor", ":n"}},
        // formulas: variables, CASE filters, match values, decay keywords in any order
        SlotCase{"QUERY FORMULA :w * $score + CASE WHEN a = ? THEN :t ELSE 0 END FROM c PREFETCH (QUERY [1])",
                 {":w", "?0", ":t"}},
        SlotCase{"QUERY FORMULA exp_decay(target = ?, x = ?) + match(tag, [:m]) FROM c PREFETCH (QUERY [1])",
                 {"?1", "?0", ":m"}},
        SlotCase{"QUERY FORMULA ':x' + :y DEFAULTS (boost = :b) FROM c PREFETCH (QUERY [1])", {":y", ":b"}},
        // PARAMS, prefetch stages, lookups, CTEs
        SlotCase{"QUERY [1] FROM c WHERE a = ? PARAMS (idf = WHERE lang = :lang, hnsw_ef = 5) LIMIT ?",
                 {"?0", ":lang", "?1"}},
        SlotCase{"QUERY FUSION RRF FROM c PREFETCH (QUERY :a WHERE x = ? LIMIT 5 LOOKUP FROM o SHARD :s, "
                 "QUERY FUSION DBSF PREFETCH (QUERY ? LIMIT :inner)) WHERE z = :z",
                 {":a", "?0", ":s", "?1", ":inner", ":z"}},
        SlotCase{"WITH a AS (QUERY :v WHERE k = ? LIMIT 50), b AS (QUERY TEXT ?) QUERY FUSION RRF FROM c "
                 "PREFETCH (a, b WHERE kind = :kind) LIMIT ?",
                 {":v", "?0", "?1", ":kind", "?2"}},
        SlotCase{"QUERY [1] FROM c WHERE a = :early GROUP BY g SIZE 2 LOOKUP FROM docs WITH PAYLOAD true LIMIT :late",
                 {":early", ":late"}},
        // Reads and point mutations
        SlotCase{"SCROLL FROM c WHERE a = :a AFTER ? ORDER BY t START FROM :from SHARD :s LIMIT ?",
                 {":a", "?0", ":from", "?1", ":s"}},
        SlotCase{"COUNT FROM c WHERE a IN (?, :b) SHARD ?", {"?0", ":b", "?1"}},
        SlotCase{"FACET k FROM c WHERE a = :a LIMIT ? SHARD :s", {":a", "?0", ":s"}},
        SlotCase{"UPSERT INTO c VALUES {id: ?, city: :city, vector: {d: :v, s: ?}}, :rows, ? UPDATE FILTER a = :f "
                 "SHARD :s",
                 {"?0", ":v", "?1", ":city", ":rows", "?2", ":f", ":s"}},
        SlotCase{"DELETE FROM c WHERE id IN (:a, ?) SHARD :s", {":a", "?0", ":s"}},
        SlotCase{"DELETE PAYLOAD a, b FROM c WHERE x = ? AND id = :id", {"?0", ":id"}},
        SlotCase{"UPDATE c SET PAYLOAD = {a: :a, b: [?]} WHERE id = ?", {"?1", ":a", "?0"}},
        SlotCase{"UPDATE c SET VECTOR d = :v WHERE id = ?", {"?0", ":v"}},
        SlotCase{"UPDATE c SET VECTOR VALUES {id: :i, vector: ?}, {id: 2, vector: {d: :d}} SHARD ?",
                 {":i", "?0", ":d", "?1"}},
        SlotCase{"CLEAR PAYLOAD FROM c WHERE id = :id WAIT true", {":id"}}));

// Spans stay inside the placeholder: the slots report them, ":" through the name or the "?".
TEST(PlaceholderSlotSpans, CoverTheWrittenPlaceholder) {
    const std::string text =
        "WITH s AS (QUERY :v) QUERY CROSS RERANK TEXT ? MODEL 'm' FROM c PREFETCH (s, QUERY HYBRID TEXT :h "
        "LOOKUP FROM o SHARD :k) WHERE id = :id SHARD ? PARAMS (idf = WHERE l = :l) LIMIT :n OFFSET ?";
    const Statement statement = must_parse(text);
    std::vector<std::string> found;
    for (const ConstPlaceholderSlot& slot : placeholder_slots(statement)) {
        ASSERT_TRUE(slot.placeholder->span.has_value()) << slot.placeholder->text();
        const Span span = *slot.placeholder->span;
        found.push_back(text.substr(span.start, span.end - span.start));
    }
    EXPECT_EQ(found, (std::vector<std::string>{":v", "?", ":h", ":k", ":id", ":l", "?", ":n", "?"}));
    const auto slots = placeholder_slots(statement);
    EXPECT_EQ(slots[0].placeholder->span.get(), span_of(text, ":v"));
    EXPECT_EQ(slots[4].placeholder->span.get(), span_of(text, ":id"));
}

// Each slot names the record that owns it, which is what a binder rewrites.
TEST(PlaceholderSlotOwners, NameTheRecordThatHoldsThePlaceholder) {
    Statement statement = must_parse(
        "QUERY FORMULA :w + exp_decay(x = d, target = ?) FROM c PREFETCH (QUERY TEXT :t LIMIT ?) "
        "WHERE id = :id AND a = ? SHARD :k LIMIT :n");
    std::vector<std::string> owners;
    for (const PlaceholderSlot& slot : placeholder_slots(statement)) {
        owners.emplace_back(std::visit(Overloaded{
                                           [](Literal*) { return "Literal"; },
                                           [](PointId*) { return "PointId"; },
                                           [](ShardKey*) { return "ShardKey"; },
                                           [](VectorValue*) { return "VectorValue"; },
                                           [](PointVectors*) { return "PointVectors"; },
                                           [](QueryInput*) { return "QueryInput"; },
                                           [](QueryInput::Text*) { return "Text"; },
                                           [](QueryExpr::Hybrid*) { return "Hybrid"; },
                                           [](QueryExpr::CrossRerank*) { return "CrossRerank"; },
                                           [](Page*) { return "Page"; },
                                           [](FormulaExpr*) { return "FormulaExpr"; },
                                           [](Scroll*) { return "Scroll"; },
                                           [](Facet*) { return "Facet"; },
                                           [](UpsertRow*) { return "UpsertRow"; },
                                       },
                                       slot.owner));
    }
    EXPECT_EQ(owners, (std::vector<std::string>{"FormulaExpr", "FormulaExpr", "Text", "Page", "PointId", "Literal",
                                                "ShardKey", "Page"}));
}

// A binder-shaped rewrite through the owners: every slot gets a value, and the statement prints
// without placeholders.
TEST(PlaceholderSlotOwners, LetABinderReplaceEverySlot) {
    Statement statement = must_parse(
        "QUERY FORMULA :w * $score FROM c PREFETCH (QUERY TEXT ? USING d LIMIT :inner) WHERE a = :a AND id IN (1, ?) "
        "SHARD :k LIMIT :n OFFSET ?");
    std::uint64_t next = 10;
    for (PlaceholderSlot& slot : placeholder_slots(statement)) {
        const std::uint64_t value = next++;
        std::visit(Overloaded{
                       [&](Literal* owner) { *owner = Literal::int64(static_cast<std::int64_t>(value)); },
                       [&](PointId* owner) { owner->value = value; },
                       [&](ShardKey* owner) { owner->value = "k" + std::to_string(value); },
                       [&](VectorValue*) { FAIL(); },
                       [&](PointVectors*) { FAIL(); },
                       [&](QueryInput*) { FAIL(); },
                       [&](QueryInput::Text* owner) {
                           owner->text = "t" + std::to_string(value);
                           owner->text_param.reset();
                       },
                       [&](QueryExpr::Hybrid*) { FAIL(); },
                       [&](QueryExpr::CrossRerank*) { FAIL(); },
                       [&](Page* owner) {
                           // LIMIT and OFFSET share the record: the slot's placeholder tells which.
                           if (slot.placeholder == &*owner->limit_param) {
                               owner->limit = value;
                               owner->limit_param.reset();
                           } else {
                               owner->offset = value;
                               owner->offset_param.reset();
                           }
                       },
                       [&](FormulaExpr* owner) { *owner = FormulaExpr::constant(static_cast<double>(value)); },
                       [&](Scroll*) { FAIL(); },
                       [&](Facet*) { FAIL(); },
                       [&](UpsertRow*) { FAIL(); },
                   },
                   slot.owner);
    }
    EXPECT_TRUE(placeholder_slots(statement).empty());
    EXPECT_TRUE(statement ==
                must_parse("QUERY FORMULA 10.0 * $score FROM c PREFETCH (QUERY TEXT 't11' USING d LIMIT 12) "
                           "WHERE a = 13 AND id IN (1, 14) SHARD 'k15' LIMIT 16 OFFSET 17"))
        << format_statement(statement);
}

// The walk enters every node: counted here by kind over filters and formulas that use each
// recursive form.
TEST(Walk, EntersEveryNestedFilterAndFormula) {
    const Statement statement = must_parse(
        "QUERY FORMULA max(a, -b, pow(abs(c), 2), CASE WHEN x = 1 AND NOT (y = 2 OR MIN SHOULD 1 (z = 3)) THEN "
        "gauss_decay(d, 0, 2) ELSE sqrt(e) / ln(f) END) FROM c PREFETCH (QUERY [1] WHERE NESTED('n', w = 4) LIMIT 5)");
    int filters = 0;
    int formulas = 0;
    int compares = 0;
    int variables = 0;
    walk(statement, Overloaded{
                        [&](const Filter&) { ++filters; },
                        [&](const Filter::Compare&) { ++compares; },
                        [&](const FormulaExpr&) { ++formulas; },
                        [&](const FormulaExpr::Variable&) { ++variables; },
                    });
    // And, x = 1, Not, Or, y = 2, MinShould, z = 3, Nested, w = 4
    EXPECT_EQ(filters, 9);
    EXPECT_EQ(compares, 4);
    // Max, a, Neg, b, Pow, Abs, c, 2, Case, Decay, d, 0, Div, Sqrt, e, Ln, f
    EXPECT_EQ(formulas, 17);
    EXPECT_EQ(variables, 6);
}

// The mutable walk may rewrite what it visits and then descends into the rewritten node.
TEST(Walk, MutableFormRewritesNodesInPlace) {
    Statement statement = must_parse(
        "WITH s AS (QUERY [1] WHERE a = 1) QUERY FUSION RRF FROM c PREFETCH (s, QUERY [2] WHERE b IN (2, 3)) "
        "WHERE c = {k: [4]} AND id = 5");
    walk(statement, Overloaded{
                        [](Literal& literal) {
                            if (literal.is(Literal::Kind::Int)) literal = Literal::int64(literal.as_int() * 10);
                        },
                        [](PointId& id) { id.value = std::string("p"); },
                    });
    EXPECT_TRUE(statement == must_parse("WITH s AS (QUERY [1] WHERE a = 10) QUERY FUSION RRF FROM c PREFETCH (s, QUERY "
                                        "[2] WHERE b IN (20, 30)) WHERE c = {k: [40]} AND id = 'p'"))
        << format_statement(statement);
}

// Nodes built by hand rather than parsed: a placeholder standing for a whole vector, and slots
// without spans, which keep tree order.
TEST(Walk, ReachesVectorPlaceholdersAndUnspannedSlots) {
    Query query;
    query.expression.node =
        QueryExpr::Recommend{{QueryInput{VectorValue{Placeholder::named("vec")}},
                              QueryInput{VectorValue{VectorValue::Object{
                                  Box<Literal>(Literal::dict({{"o", Literal::positional(4)}})), std::nullopt, {}}}}},
                             {},
                             std::nullopt,
                             std::nullopt,
                             {}};
    query.page.limit_param = Placeholder::named("n");
    Statement statement{Box<Query>(std::move(query))};
    EXPECT_EQ(placeholder_texts(statement), (std::vector<std::string>{":vec", "?4", ":n"}));

    PointVectors vectors{
        NamedVectors{{"a", VectorValue{Placeholder::positional(0)}}, {"b", VectorValue{VectorValue::Dense{{1.0F}}}}}};
    std::vector<std::string> seen;
    walk(vectors, [&](const Placeholder& p) { seen.push_back(p.text()); });
    EXPECT_EQ(seen, (std::vector<std::string>{"?0"}));
}

// ---- trees compare without source positions ----------------------------------------------------

TEST(TreeEquality, IgnoresLayoutButNotValues) {
    const Statement spaced = must_parse("QUERY  :v FROM c LIMIT :k");
    EXPECT_TRUE(must_parse("QUERY :v FROM c LIMIT :k") == spaced);
    EXPECT_TRUE(must_parse("query :v\n  from c\tlimit :k") == spaced);
    const std::string differing[] = {
        "QUERY :w FROM c LIMIT :k", "QUERY :v FROM d LIMIT :k", "QUERY :v FROM c LIMIT :j",
        "QUERY ? FROM c LIMIT :k",  "QUERY :v FROM c LIMIT 5",  "QUERY :v FROM c LIMIT :k OFFSET 1",
    };
    for (const std::string& text : differing) EXPECT_FALSE(must_parse(text) == spaced) << text;
}

TEST(TreeEquality, PlaceholdersDifferByKindNameAndIndex) {
    EXPECT_EQ(Placeholder::named("a", Span{0, 2}), Placeholder::named("a", Span{5, 7}));
    EXPECT_EQ(Placeholder::named("a", Span{0, 2}), Placeholder::named("a"));
    EXPECT_NE(Placeholder::named("a"), Placeholder::named("b"));
    EXPECT_NE(Placeholder::positional(0), Placeholder::positional(1));
    EXPECT_NE(Placeholder::positional(0), Placeholder::named(""));
    EXPECT_EQ(Placeholder::named("rate").text(), ":rate");
    EXPECT_EQ(Placeholder::positional(3).text(), "?3");
    // A quoted key that looks like a placeholder is a key.
    EXPECT_NE(FormulaExpr::variable(":x"), FormulaExpr::named_param("x"));
}

TEST(TreeEquality, KindsKeepTheirTagNumbers) {
    EXPECT_EQ(static_cast<int>(Literal::param("x").kind()), 9);
    EXPECT_EQ(static_cast<int>(Literal::positional(0).kind()), 10);
    EXPECT_EQ(static_cast<int>(PointId{Placeholder::positional(0)}.kind()), 3);
    EXPECT_EQ(static_cast<int>(ShardKey{Placeholder::named("k")}.kind()), 2);
    EXPECT_EQ(static_cast<int>(VectorValue{Placeholder::positional(0)}.kind()), 7);
    EXPECT_EQ(static_cast<int>(PointVectors{Placeholder::named("v")}.kind()), 2);
    EXPECT_EQ(static_cast<int>(QueryInput{Placeholder::positional(1)}.kind()), 6);
    EXPECT_EQ(static_cast<int>(QueryInput{PointId{std::uint64_t{1}}}.kind()), 4);
}

}  // namespace
}  // namespace zorv::core
