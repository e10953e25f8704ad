// Canonical text of QUERY statements, filters and formulas, and the print/parse round trip.
#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <string>
#include <vector>

#include "core/fmt/filter.h"
#include "core/fmt/formula.h"
#include "core/fmt/query.h"
#include "core/fmt/search.h"
#include "core/fmt/statement.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

Result<Statement> parse_text(std::string_view text) { return parse_statement(text); }

std::string canonical(const std::string& text) {
    auto parsed = parse_text(text);
    EXPECT_TRUE(parsed.has_value()) << text << "\n  " << (parsed ? "" : format_error(parsed.error()));
    return parsed ? format_statement(*parsed) : std::string();
}

struct TextCase {
    std::string text;
    std::string canonical;  // empty: the text is canonical already
};

const std::vector<TextCase>& query_cases() {
    static const std::vector<TextCase> cases = {
        // expressions and inputs
        {"QUERY TEXT 'cats' FROM c", "QUERY 'cats' FROM c"},
        {"QUERY TEXT 'cats' MODEL 'm' FROM c", ""},
        {"QUERY TEXT 'x' OPTIONS {lang: 'en'} FROM c", ""},
        {"QUERY TEXT :q FROM c", "QUERY :q FROM c"},
        {"query [1, 2] from \"dq\" limit 3", "QUERY [1.0, 2.0] FROM dq LIMIT 3"},
        {"QUERY VECTOR :v FROM c", "QUERY :v FROM c"},
        {"QUERY IMAGE 'http://x/y.png' MODEL 'clip' OPTIONS {size: 3} FROM c", ""},
        {"QUERY OBJECT {a: 1} FROM c", ""},
        {"QUERY {indices: [1, 2], values: [0.5, 0.25]} FROM c USING s AS SPARSE", ""},
        {"QUERY [[1.0, 2.0], [3.0]] FROM c USING m AS MULTI", ""},
        {"QUERY [1.0] FROM c USING v AS DENSE", ""},
        {"QUERY POINTS (1, 'abc', :a, ?) FROM c", ""},
        {"QUERY MMR [1.0] DIVERSITY 0 CANDIDATES 3 FROM c", "QUERY MMR VECTOR [1.0] DIVERSITY 0.0 CANDIDATES 3 FROM c"},
        {"QUERY RECOMMEND POSITIVE (1, TEXT 'x') FROM c", ""},
        // A placeholder point id keeps POINT so that it reads back as a point, not as a placeholder input.
        {"QUERY RECOMMEND POSITIVE (POINT :liked, :v) NEGATIVE (POINT ?) FROM c", ""},
        {"QUERY RECOMMEND POSITIVE (1, [1.0]) NEGATIVE (2) STRATEGY best_score FROM c",
         "QUERY RECOMMEND POSITIVE (1, VECTOR [1.0]) NEGATIVE (2) STRATEGY best_score\nFROM c"},
        {"QUERY DISCOVER TARGET POINT 1 CONTEXT (POSITIVE POINT 2 NEGATIVE POINT 3) FROM c", ""},
        {"QUERY CONTEXT (POSITIVE POINT 1 NEGATIVE [1.0], POSITIVE 'a' NEGATIVE TEXT 'b' MODEL 'm') FROM c",
         "QUERY CONTEXT (POSITIVE POINT 1 NEGATIVE [1.0], POSITIVE 'a' NEGATIVE TEXT 'b' MODEL 'm')\nFROM c"},
        {"QUERY RELEVANCE FEEDBACK TARGET 'x' FEEDBACK ((POINT 2, 0.5), ([1.0], 1)) STRATEGY NAIVE (a = 1, b = 2, c = "
         "3) "
         "FROM c",
         "QUERY RELEVANCE FEEDBACK TARGET 'x' FEEDBACK ((POINT 2, 0.5), ([1.0], 1.0)) STRATEGY NAIVE (a = 1.0, b = "
         "2.0, "
         "c = 3.0)\nFROM c"},
        {"QUERY ORDER BY ts FROM c", "QUERY ORDER BY ts ASC FROM c"},
        {"QUERY ORDER BY ts DESC START FROM '2024-01-01' FROM c", ""},
        {"QUERY SAMPLE RANDOM FROM c LIMIT 3", ""},
        {"QUERY FUSION DBSF FROM c PREFETCH (QUERY [1.0] FROM c LIMIT 10)", ""},
        {"QUERY HYBRID TEXT 'x' MODEL 'm' DENSE d SPARSE s FUSION DBSF FROM c", ""},
        {"QUERY TEXT 'x' FROM c USING HYBRID DENSE d", "QUERY HYBRID TEXT 'x' DENSE d FUSION RRF FROM c"},
        {"QUERY RERANK TEXT 'q' MODEL 'm' FROM c USING v PREFETCH (QUERY [1.0] FROM c LIMIT 10)",
         "QUERY RERANK TEXT 'q' MODEL 'm'\nFROM c\nUSING v\nPREFETCH (QUERY [1.0] FROM c LIMIT 10)"},
        {"QUERY RERANK VECTOR :q MODEL 'm' FROM c USING v PREFETCH (QUERY [1.0] FROM c)", ""},
        {"QUERY RERANK VECTOR ? MODEL 'm' FROM c USING v PREFETCH (QUERY [1.0] FROM c)", ""},
        {"QUERY CROSS RERANK :q MODEL 'ce' ON FIELD body FROM c PREFETCH (QUERY [1.0] FROM c)",
         "QUERY CROSS RERANK TEXT :q MODEL 'ce' ON FIELD body\nFROM c\nPREFETCH (QUERY [1.0] FROM c)"},
        {"QUERY FORMULA $score + 2 * (a - b) DEFAULTS (a = 0) FROM c PREFETCH (QUERY [1.0] FROM c)",
         "QUERY FORMULA $score + 2.0 * (a - b) DEFAULTS (a = 0)\nFROM c\nPREFETCH (QUERY [1.0] FROM c)"},
        // clauses in their fixed order, placeholders of LIMIT and OFFSET
        {"QUERY [1.0] FROM c WHERE a = 1 SHARD 'x' PARAMS (exact = true) SCORE THRESHOLD 0.1 GROUP BY g "
         "WITH PAYLOAD false WITH VECTOR true LIMIT 1 OFFSET 2",
         "QUERY [1.0]\nFROM c\nWHERE a = 1\nSHARD 'x'\nPARAMS (exact = true)\nSCORE THRESHOLD 0.1\nGROUP BY g\n"
         "WITH PAYLOAD false\nWITH VECTOR true\nLIMIT 1\nOFFSET 2"},
        {"QUERY [1.0] FROM c GROUP BY g SIZE 3 LOOKUP FROM o WITH PAYLOAD INCLUDE (a) WITH VECTOR (v)",
         "QUERY [1.0]\nFROM c\nGROUP BY g SIZE 3 LOOKUP FROM o WITH PAYLOAD INCLUDE (a) WITH VECTOR (v)"},
        {"QUERY [1.0] FROM c WITH PAYLOAD EXCLUDE (a, 'b c') WITH VECTOR (v1)", ""},
        {"QUERY :q FROM c LIMIT :lim OFFSET ?", ""},
        {"QUERY ? FROM c LIMIT ? OFFSET :o", ""},
        {"QUERY [1.0] FROM c PARAMS (hnsw_ef = 128, exact = false)", ""},
        {"QUERY [1.0] FROM c PARAMS (consistency = 2, timeout = 5)",
         "QUERY [1.0] FROM c PARAMS (timeout = 5, consistency = 2)"},
        {"QUERY [1.0] FROM c PARAMS (quantization = {}, idf = 'global')", ""},
        {"QUERY [1.0] FROM c PARAMS (idf = WHERE a = 1)", ""},
        {"QUERY [1.0] FROM c PARAMS (quantization = {oversampling: 2, ignore: true}, rrf_weights = [1, 0.5], "
         "consistency = majority)",
         "QUERY [1.0]\nFROM c\nPARAMS (rrf_weights = [1.0, 0.5], quantization = {ignore: true, oversampling: 2.0}, "
         "consistency = majority)"},
        {"QUERY [1.0] FROM c PREFETCH (QUERY [1.0] FROM c LIMIT 10 LOOKUP FROM o VECTOR 'v x' SHARD 'k')",
         "QUERY [1.0]\nFROM c\nPREFETCH (QUERY [1.0] FROM c LIMIT 10 LOOKUP FROM o VECTOR 'v x' SHARD 'k')"},
        // values and names
        {"QUERY [1.0] FROM 'my coll' WHERE 'a.b' = 'it''s' AND b = 'tab\\there' AND c = \"dq\\\"x\"",
         "QUERY [1.0]\nFROM 'my coll'\nWHERE 'a.b' = 'it\\'s' AND b = 'tab\\there' AND c = 'dq\"x'"},
        {"QUERY [1e-7, 0.1] FROM limit", "QUERY [0.0000001, 0.1] FROM limit"},
        {"QUERY [1.0] FROM c WHERE a = 1e20 AND d = 18446744073709551615",
         "QUERY [1.0]\nFROM c\nWHERE a = 100000000000000000000.0 AND d = 18446744073709551615"},
        {"QUERY [1.0] FROM c WHERE a = {x: 1, 'y z': [1, 'a', null, true]}", ""},
        {"QUERY [1.0] FROM c WHERE a = :p AND b = ? AND c IN (:x, ?)", ""},
        {"QUERY 'ünïcode' FROM \"café\"", "QUERY 'ünïcode' FROM 'café'"},
        // filters
        {"QUERY [1.0] FROM c WHERE NOT a = 1 AND b != 2 AND c NOT IN (1) AND d IS NOT NULL",
         "QUERY [1.0]\nFROM c\nWHERE NOT a = 1 AND NOT b = 2 AND NOT c IN (1) AND NOT d IS NULL"},
        {"QUERY [1.0] FROM c WHERE NOT (a = 1 OR b = 2)", ""},
        {"QUERY [1.0] FROM c WHERE (a = 1 AND b = 2) OR c = 3", "QUERY [1.0] FROM c WHERE a = 1 AND b = 2 OR c = 3"},
        {"QUERY [1.0] FROM c WHERE id = 5 OR id IN (1, 'x')", ""},
        {"QUERY [1.0] FROM c WHERE c BETWEEN 1 AND 2.5 AND d IS EMPTY AND e MATCH 'foo'", ""},
        {"QUERY [1.0] FROM c WHERE t MATCH ANY ('a') OR t MATCH PHRASE 'a b'", ""},
        {"QUERY [1.0] FROM c WHERE t MATCH PREFIX 'p'", ""},
        {"QUERY [1.0] FROM c WHERE t MATCH TOKENS 'x y' OR t MATCH EXCEPT (1, 2)", ""},
        {"QUERY [1.0] FROM c WHERE HAS_VECTOR v AND SLICE (4, 1) AND tags VALUES_COUNT >= 2",
         "QUERY [1.0]\nFROM c\nWHERE HAS_VECTOR v AND SLICE (4, 1) AND tags VALUES_COUNT >= 2"},
        {"QUERY [1.0] FROM c WHERE MIN SHOULD 2 (a = 1, b = 2 AND c = 3)", ""},
        {"QUERY [1.0] FROM c WHERE NESTED('items', price > 3 OR price < 1)", ""},
        {"QUERY [1.0] FROM c WHERE g GEO_RADIUS {center: {lat: 1, lon: 2}, radius: 10}",
         "QUERY [1.0]\nFROM c\nWHERE g GEO_RADIUS {center: {lat: 1.0, lon: 2.0}, radius: 10.0}"},
        {"QUERY [1.0] FROM c WHERE g GEO_BBOX {top_left: {lat: 1, lon: 2}, bottom_right: {lat: 0, lon: 3}}",
         "QUERY [1.0]\nFROM c\nWHERE g GEO_BBOX {top_left: {lat: 1.0, lon: 2.0}, bottom_right: {lat: 0.0, lon: 3.0}}"},
        {"QUERY [1.0] FROM c WHERE g GEO_POLYGON {exterior: [{lat: 1, lon: 2}, {lat: 0, lon: 3}, {lat: 1, lon: 2}], "
         "interiors: [[{lat: 1, lon: 2}, {lat: 0, lon: 3}, {lat: 1, lon: 2}]]}",
         "QUERY [1.0]\nFROM c\nWHERE g GEO_POLYGON {exterior: [{lat: 1.0, lon: 2.0}, {lat: 0.0, lon: 3.0}, "
         "{lat: 1.0, lon: 2.0}], interiors: [[{lat: 1.0, lon: 2.0}, {lat: 0.0, lon: 3.0}, {lat: 1.0, lon: 2.0}]]}"},
        // formulas
        {"QUERY FORMULA (a + b) * c - -(-2) / d FROM c", "QUERY FORMULA (a + b) * c - -(-2.0) / d FROM c"},
        {"QUERY FORMULA POW(x, 2) + SQRT(y) [DEFAULT = 1] + LN(z) + ABS(q) + MAX(a, b) + GEO_DISTANCE(1, 2, loc) FROM "
         "c",
         "QUERY FORMULA POW(x, 2.0) + SQRT(y) [DEFAULT = 1.0] + LN(z) + ABS(q) + MAX(a, b) + GEO_DISTANCE(1.0, 2.0, "
         "loc)"
         "\nFROM c"},
        {"QUERY FORMULA DATETIME('2024-01-01') + DATETIME_KEY('ts') + LIN_DECAY(x, MIDPOINT = 0.5) FROM c",
         "QUERY FORMULA DATETIME('2024-01-01') + DATETIME_KEY('ts') + LIN_DECAY(x, MIDPOINT = 0.5)\nFROM c"},
        {"QUERY FORMULA exp_decay(x, target = 1, scale = 2) FROM c",
         "QUERY FORMULA EXP_DECAY(x, TARGET = 1.0, SCALE = 2.0) FROM c"},
        {"QUERY FORMULA CASE WHEN a = 1 THEN 1 ELSE 0 END FROM c",
         "QUERY FORMULA CASE WHEN a = 1 THEN 1.0 ELSE 0.0 END FROM c"},
        {"QUERY FORMULA -(2) FROM c", "QUERY FORMULA -2.0 FROM c"},
        {"QUERY FORMULA MATCH(tag, 'a') + MATCH(tag, ['a', 'b']) FROM c", ""},
        {"QUERY FORMULA :w * x + ? + ':x' + '' + 'a.b' FROM c", ""},
        // WITH and the line layout
        {"WITH a AS (QUERY [1.0] FROM c LIMIT 10), b AS (QUERY [2.0] FROM c WHERE x = 1) QUERY FUSION RRF FROM c "
         "PREFETCH (a, b)",
         "WITH\n  a AS (QUERY [1.0] FROM c LIMIT 10),\n  b AS (QUERY [2.0] FROM c WHERE x = 1)\nQUERY FUSION RRF\n"
         "FROM c\nPREFETCH (a, b)"},
        {"WITH a AS (QUERY [1.0] FROM c) QUERY FUSION RRF FROM c PREFETCH (a WHERE x = 1 SCORE THRESHOLD 0.5)",
         "WITH\n  a AS (QUERY [1.0] FROM c)\nQUERY FUSION RRF\nFROM c\nPREFETCH (a WHERE x = 1 SCORE THRESHOLD 0.5)"},
        {"QUERY FUSION RRF FROM c PREFETCH (QUERY [1.0] FROM c)", ""},
        // Two or more PREFETCH sources put each part on its own line; a comma inside one source does not.
        {"QUERY FUSION RRF FROM c PREFETCH (QUERY [1.0, 2.0] FROM c)", ""},
        {"QUERY FUSION RRF FROM c PREFETCH (QUERY 'a,b' FROM c LIMIT 5)", ""},
        {"QUERY FUSION RRF FROM c PREFETCH (QUERY [1.0] FROM c WHERE t IN ('a', 'b'))", ""},
        {"QUERY FUSION RRF FROM c PREFETCH (QUERY [1.0] FROM c, QUERY [2.0] FROM c)",
         "QUERY FUSION RRF\nFROM c\nPREFETCH (QUERY [1.0] FROM c, QUERY [2.0] FROM c)"},
        {"QUERY [1.0] FROM c USING v PREFETCH (QUERY [1.0] FROM c, QUERY 'x' FROM c)",
         "QUERY [1.0]\nFROM c\nUSING v\nPREFETCH (QUERY [1.0] FROM c, QUERY 'x' FROM c)"},
        {"QUERY [1.0] FROM c WHERE a = 1 LIMIT 5 OFFSET 1", "QUERY [1.0]\nFROM c\nWHERE a = 1\nLIMIT 5\nOFFSET 1"},
        {"QUERY [1.0] FROM " + std::string(54, 'n') + " LIMIT 10", ""},
        {"QUERY [1.0] FROM " + std::string(55, 'n') + " LIMIT 10",
         "QUERY [1.0]\nFROM " + std::string(55, 'n') + "\nLIMIT 10"},
    };
    return cases;
}

TEST(FmtQuery, PrintsCanonicalText) {
    for (const auto& c : query_cases()) {
        EXPECT_EQ(canonical(c.text), c.canonical.empty() ? c.text : c.canonical) << c.text;
    }
}

TEST(FmtQuery, ShowStatementsHaveTheirForms) {
    const std::vector<TextCase> cases = {
        {"show collections", "SHOW COLLECTIONS"},
        {"SHOW QUOTAS", ""},
        {"SHOW COLLECTION 'My Coll'", ""},
        {"SHOW COLLECTION score", ""},
        {"show shard keys on collection \"2nd\"", "SHOW SHARD KEYS ON COLLECTION '2nd'"},
    };
    for (const auto& c : cases) EXPECT_EQ(canonical(c.text), c.canonical.empty() ? c.text : c.canonical);
}

TEST(FmtQuery, NestedBodyWithoutCollectionHasNoFrom) {
    Query query;
    query.expression = QueryExpr{QueryExpr::SampleRandom{}};
    EXPECT_EQ(format_nested_query(query), "QUERY SAMPLE RANDOM");
    query.page.limit = 3;
    query.collection.name = "c";
    EXPECT_EQ(format_nested_query(query), "QUERY SAMPLE RANDOM FROM c LIMIT 3");
}

TEST(FmtQuery, BareInputsDropTheirKeyword) {
    QueryInput text{QueryInput::Text{"cats", std::nullopt, std::nullopt, {}}};
    QueryInput param_text{QueryInput::Text{"", std::nullopt, Placeholder::named("q"), {}}};
    QueryInput positional_text{QueryInput::Text{"", std::string("m"), Placeholder::positional(3), {}}};
    QueryInput vector{VectorValue{VectorValue::Dense{{1.0f, 2.0f}}}};
    EXPECT_EQ(format_query_input(text, true), "'cats'");
    EXPECT_EQ(format_query_input(text, false), "TEXT 'cats'");
    EXPECT_EQ(format_query_input(param_text, true), ":q");
    EXPECT_EQ(format_query_input(positional_text, true), "TEXT ? MODEL 'm'");
    EXPECT_EQ(format_query_input(vector, true), "[1.0, 2.0]");
    EXPECT_EQ(format_query_input(vector, false), "VECTOR [1.0, 2.0]");
    EXPECT_EQ(format_query_input(QueryInput{PointId{std::uint64_t{7}}}, true), "POINT 7");
}

// ---- filters and formulas built as trees -------------------------------------------------------

Filter cmp(std::string field, std::int64_t value) {
    return Filter{Filter::Compare{std::move(field), CompareOp::Eq, Literal::int64(value)}};
}
Filter all_of(std::vector<Filter> operands) { return Filter{Filter::And{std::move(operands)}}; }
Filter any_of(std::vector<Filter> operands) { return Filter{Filter::Or{std::move(operands)}}; }

TEST(FmtFilter, ParenthesisesOnlyWhereThePrecedenceNeedsIt) {
    struct Case {
        Filter filter;
        std::string text;
    };
    const std::vector<Case> cases = {
        {all_of({any_of({cmp("a", 1), cmp("b", 2)}), cmp("c", 3)}), "(a = 1 OR b = 2) AND c = 3"},
        {any_of({all_of({cmp("a", 1), cmp("b", 2)}), cmp("c", 3)}), "a = 1 AND b = 2 OR c = 3"},
        {all_of({all_of({cmp("a", 1), cmp("b", 2)}), cmp("c", 3)}), "(a = 1 AND b = 2) AND c = 3"},
        {any_of({any_of({cmp("a", 1), cmp("b", 2)}), cmp("c", 3)}), "(a = 1 OR b = 2) OR c = 3"},
        {negate_filter(any_of({cmp("a", 1), cmp("b", 2)})), "NOT (a = 1 OR b = 2)"},
        {negate_filter(all_of({cmp("a", 1), cmp("b", 2)})), "NOT (a = 1 AND b = 2)"},
        {negate_filter(cmp("f", 1)), "NOT f = 1"},
        {Filter{Filter::MinShould{1, {all_of({cmp("a", 1), cmp("b", 2)}), cmp("c", 3)}}},
         "MIN SHOULD 1 (a = 1 AND b = 2, c = 3)"},
        {Filter{Filter::ValuesCount{"tags", CompareOp::Lt, 3}}, "tags VALUES_COUNT < 3"},
        {Filter{Filter::Compare{"my-field", CompareOp::Lte, Literal::f64(2.5)}}, "'my-field' <= 2.5"},
        {Filter{Filter::GeoPolygon{"g", {{1, 2}}, {}}}, "g GEO_POLYGON {exterior: [{lat: 1.0, lon: 2.0}]}"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_filter(c.filter), c.text);
}

TEST(FmtFilter, PointSelectors) {
    EXPECT_EQ(format_point_selector(PointSelector{PointId{std::uint64_t{3}}}), "id = 3");
    std::vector<PointId> ids = {PointId{std::uint64_t{1}}, PointId{std::string("x")}};
    EXPECT_EQ(format_point_selector(PointSelector{ids}), "id IN (1, 'x')");
    EXPECT_EQ(format_point_selector(PointSelector{Box<Filter>(cmp("a", 1))}), "a = 1");
}

FormulaExpr var(std::string name) { return FormulaExpr::variable(std::move(name)); }
FormulaExpr num(double v) { return FormulaExpr::constant(v); }
FormulaExpr sub(FormulaExpr l, FormulaExpr r) { return FormulaExpr{FormulaExpr::Sub{std::move(l), std::move(r)}}; }
FormulaExpr sum(FormulaExpr l, FormulaExpr r) { return FormulaExpr{FormulaExpr::Sum{std::move(l), std::move(r)}}; }
FormulaExpr mul(FormulaExpr l, FormulaExpr r) { return FormulaExpr{FormulaExpr::Mul{std::move(l), std::move(r)}}; }
FormulaExpr neg(FormulaExpr x) { return FormulaExpr{FormulaExpr::Neg{std::move(x)}}; }
FormulaExpr div(FormulaExpr l, FormulaExpr r, std::optional<double> by_zero) {
    return FormulaExpr{FormulaExpr::Div{std::move(l), std::move(r), by_zero}};
}

TEST(FmtFormula, PrecedenceAndNames) {
    struct Case {
        FormulaExpr expr;
        std::string text;
    };
    const std::vector<Case> cases = {
        {sub(var("a"), sub(var("b"), var("c"))), "a - (b - c)"},
        {sub(sub(var("a"), var("b")), var("c")), "a - b - c"},
        {mul(sum(var("a"), var("b")), var("c")), "(a + b) * c"},
        {mul(var("a"), mul(var("b"), var("c"))), "a * (b * c)"},
        {neg(num(-2)), "-(-2.0)"},
        {neg(neg(var("x"))), "-(-x)"},
        {neg(sum(var("a"), var("b"))), "-(a + b)"},
        {neg(num(-0.0)), "-(-0.0)"},
        {neg(num(-std::numeric_limits<double>::infinity())), "-(-inf.0)"},
        {neg(num(-std::numeric_limits<double>::quiet_NaN())), "-NaN.0"},  // NaN prints unsigned
        {mul(neg(var("a")), var("b")), "-a * b"},
        {div(var("a"), var("b"), 0.0), "a / b [DEFAULT = 0.0]"},
        {mul(var("a"), div(var("b"), var("c"), 0.0)), "a * (b / c [DEFAULT = 0.0])"},
        {var("a.b"), "'a.b'"},
        {var("$score"), "$score"},
        {var("$a.b"), "'$a.b'"},
        {var(""), "''"},
        {var(":x"), "':x'"},  // a payload key, not a placeholder
        {FormulaExpr::named_param("w"), ":w"},
        {FormulaExpr::positional_param(4), "?"},
        {FormulaExpr{FormulaExpr::Decay{"gauss_decay", var("x"), std::nullopt, std::nullopt, 0.5}},
         "GAUSS_DECAY(x, MIDPOINT = 0.5)"},
        {FormulaExpr{FormulaExpr::MatchCondition{"tag", {}}}, "MATCH(tag, [])"},
        {FormulaExpr{FormulaExpr::Acosh{var("x"), 1.0}}, "ACOSH(x) [DEFAULT = 1.0]"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_formula(c.expr, 0), c.text) << c.text;
    EXPECT_EQ(format_formula(sum(var("a"), var("b")), 2), "(a + b)");
}

TEST(FmtSearch, ParamsAndSelectors) {
    EXPECT_EQ(format_search_params(SearchParams{}), "");
    SearchParams params;
    params.consistency = Consistency::quorum();
    params.idf = IdfParams{cmp("lang", 1)};
    EXPECT_EQ(format_search_params(params), "idf = WHERE lang = 1, consistency = quorum");
    EXPECT_EQ(format_payload_selector(PayloadSelector::all()), "true");
    EXPECT_EQ(format_payload_selector(PayloadSelector::exclude({"a", "b-c"})), "EXCLUDE (a, 'b-c')");
    EXPECT_EQ(format_vector_selector(VectorSelector::none()), "false");
    EXPECT_EQ(format_vector_selector(VectorSelector::names({"v"})), "(v)");
}

// ---- round trip: printing a parsed statement gives text that parses to the same tree ----------

void expect_round_trip(const std::string& text) {
    auto first = parse_text(text);
    ASSERT_TRUE(first.has_value()) << text << "\n  " << format_error(first.error());
    const std::string printed = format_statement(*first);
    auto second = parse_text(printed);
    ASSERT_TRUE(second.has_value()) << text << "\nprinted: " << printed << "\n  " << format_error(second.error());
    EXPECT_EQ(format_statement(*second), printed) << text;
    EXPECT_TRUE(test_support::same_tree_after_print(*first, *second)) << "tree changed through\n" << printed;
}

TEST(FmtRoundTrip, PrintedStatementsParseBackToTheSameTree) {
    for (const auto& c : query_cases()) expect_round_trip(c.text);
}

TEST(FmtRoundTrip, QueryCorpus) {
    std::ifstream corpus(std::string(ZORV_TEST_DATA_DIR) + "/query_corpus.zorv");
    ASSERT_TRUE(corpus) << "no query corpus";
    std::string line;
    int statements = 0;
    while (std::getline(corpus, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos || line.starts_with("--")) continue;
        expect_round_trip(line);
        ++statements;
    }
    EXPECT_GT(statements, 0);
}

}  // namespace
}  // namespace zorv::core
