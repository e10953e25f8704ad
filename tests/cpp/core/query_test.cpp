#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/ast/query.h"
#include "core/parser/parser.h"
#include "core/parser/query.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using namespace zorv::core::test_support;

// The whole statement through the dispatch, which hands QUERY and WITH to the query parser.
Result<Statement> parse_query_text(std::string_view text) { return parse_statement(text); }

Query must_parse(const std::string& text) {
    auto result = parse_query_text(text);
    EXPECT_TRUE(result.has_value()) << text << "\n  " << (result ? "" : format_error(result.error()));
    if (!result) return Query{};
    return *result->get<StatementKind::Query>();
}

Literal lit_int(std::int64_t v) { return Literal::int64(v); }

QueryInput text_input(std::string text) { return QueryInput{QueryInput::Text{std::move(text), {}, {}, {}}}; }
QueryInput dense_input(std::vector<float> values) {
    return QueryInput{VectorValue{VectorValue::Dense{std::move(values)}}};
}
QueryInput point_input(std::uint64_t id) { return QueryInput{PointId{id}}; }

Prefetch cte_ref(std::string name) { return Prefetch{PrefetchSource::cte(std::move(name)), {}, {}, {}}; }

// ---- errors: code, kind, message and span ----------------------------------------------------

class QueryErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(QueryErrorTest, FailsWithCodeMessageAndSpan) {
    const ErrorCase& c = GetParam();
    expect_error(parse_query_text(c.text), c);
}

constexpr ErrorKind P = ErrorKind::Parse;
constexpr ErrorKind V = ErrorKind::Validation;

const char* const kHybridNeedsText =
    "USING HYBRID requires a text nearest query (QUERY TEXT '\u2026' or QUERY '\u2026')";

const ErrorCase kBodyErrors[] = {
    {"QUERY 'red shoes'", "ZORV-VALIDATION-FROM", V, "top-level QUERY requires FROM <collection>", ""},
    {"QUERY 'shoes' MODEL 'm' FROM c", "ZORV-VALIDATION-FROM", V, "top-level QUERY requires FROM <collection>",
     "MODEL"},
    {"QUERY [1] FROM", "ZORV-PARSE-IDENTIFIER", P, "expected identifier or quoted name, got ''", ""},
    {"QUERY [1] FROM c USING dense AS HYBRID", "ZORV-PARSE-VECTOR-KIND", P,
     "USING <vector> AS requires DENSE, SPARSE, or MULTI", "HYBRID"},
    {"QUERY [1] FROM c USING dense AS", "ZORV-PARSE-VECTOR-KIND", P,
     "USING <vector> AS requires DENSE, SPARSE, or MULTI", ""},
    {"QUERY [1] FROM c LIMIT 10 WHERE x = 1", "ZORV-PARSE-CLAUSE-ORDER", P, "duplicate or out-of-order query clause",
     "WHERE"},
    {"QUERY [1] FROM c LIMIT 10 LIMIT 5", "ZORV-PARSE-CLAUSE-ORDER", P, "duplicate or out-of-order query clause",
     "LIMIT", 1},
    {"QUERY [1] FROM c WITH VECTOR true WITH PAYLOAD true", "ZORV-PARSE-CLAUSE-ORDER", P,
     "duplicate or out-of-order query clause", "WITH", 1},
    {"QUERY [1] FROM c PARAMS (exact = true) WHERE x = 1", "ZORV-PARSE-CLAUSE-ORDER", P,
     "duplicate or out-of-order query clause", "WHERE"},
    {"QUERY [1] FROM c OFFSET 2 PREFETCH (QUERY [2])", "ZORV-PARSE-CLAUSE-ORDER", P,
     "duplicate or out-of-order query clause", "PREFETCH"},
    {"QUERY [1] FROM c FROM d", "ZORV-PARSE-TRAILING", P, "unexpected trailing token 'FROM'", "FROM", 1},
    {"QUERY [1] FROM c LIMIT 0", "ZORV-PARSE-POSITIVE-INTEGER", P, "LIMIT must be a positive integer", "0"},
    {"QUERY [1] FROM c OFFSET -1", "ZORV-PARSE-NONNEGATIVE-INTEGER", P, "OFFSET must be a non-negative integer", "-1"},
    // A ":" without a name is no placeholder here: the number reader meets the ":".
    {"QUERY [1] FROM c LIMIT : 5", "ZORV-PARSE-EXPECTED", P, "expected INTEGER but got ':'", ":"},
    {"QUERY [1] FROM c OFFSET : 5", "ZORV-PARSE-EXPECTED", P, "expected INTEGER but got ':'", ":"},
    {"QUERY [1] FROM c SCORE THRESHOLD 1e999", "ZORV-PARSE-NUMBER", P, "number '1e999' is not finite", "1e999"},
    {"QUERY [1] FROM c SCORE 0.5", "ZORV-PARSE-EXPECTED", P, "expected THRESHOLD but got '0.5'", "0.5"},
    {"QUERY [1] FROM c GROUP city", "ZORV-PARSE-EXPECTED", P, "expected BY but got 'city'", "city"},
    {"QUERY [1] FROM c GROUP BY city SIZE 0", "ZORV-PARSE-POSITIVE-INTEGER", P, "group size must be a positive integer",
     "0"},
    {"QUERY [1] FROM c GROUP BY city LOOKUP cities", "ZORV-PARSE-EXPECTED", P, "expected FROM but got 'cities'",
     "cities"},
    {"QUERY [1] FROM c PREFETCH ()", "ZORV-PARSE-PREFETCH", P, "PREFETCH cannot be empty", ")"},
    {"QUERY [1] FROM c PREFETCH QUERY [2]", "ZORV-PARSE-EXPECTED", P, "expected LPAREN but got 'QUERY'", "QUERY", 1},
    {"QUERY () FROM c", "ZORV-PARSE-QUERY-INPUT", P,
     "query input requires TEXT, IMAGE, OBJECT, VECTOR, POINT, or parameter", "("},
    {"QUERY", "ZORV-PARSE-QUERY-INPUT", P, "query input requires TEXT, IMAGE, OBJECT, VECTOR, POINT, or parameter", ""},
};
INSTANTIATE_TEST_SUITE_P(Body, QueryErrorTest, ::testing::ValuesIn(kBodyErrors));

// Errors of steps that need the whole body carry the span of the body's first token.
const ErrorCase kPlacementErrors[] = {
    {"QUERY POINTS (1, 'a') FROM c LIMIT 5", "ZORV-VALIDATION-POINTS-CLAUSE", V,
     "QUERY POINTS accepts only output selectors and SHARD", "POINTS"},
    {"QUERY POINTS (1) FROM c WHERE x = 1", "ZORV-VALIDATION-POINTS-CLAUSE", V,
     "QUERY POINTS accepts only output selectors and SHARD", "POINTS"},
    {"QUERY POINTS (1) FROM c OFFSET :o", "ZORV-VALIDATION-POINTS-CLAUSE", V,
     "QUERY POINTS accepts only output selectors and SHARD", "POINTS"},
    {"QUERY POINTS (1) FROM c GROUP BY g", "ZORV-VALIDATION-POINTS-CLAUSE", V,
     "QUERY POINTS accepts only output selectors and SHARD", "POINTS"},
    {"QUERY POINTS (1) FROM c SCORE THRESHOLD 0.1", "ZORV-VALIDATION-POINTS-CLAUSE", V,
     "QUERY POINTS accepts only output selectors and SHARD", "POINTS"},
    {"QUERY POINTS (1) FROM c PARAMS (exact = true)", "ZORV-VALIDATION-POINTS-CLAUSE", V,
     "QUERY POINTS accepts only output selectors and SHARD", "POINTS"},
    {"QUERY POINTS (1) FROM c USING v", "ZORV-VALIDATION-USING", V, "this query expression does not accept USING",
     "POINTS"},
    {"QUERY SAMPLE RANDOM FROM c USING v", "ZORV-VALIDATION-USING", V, "this query expression does not accept USING",
     "SAMPLE"},
    {"QUERY FORMULA 1 FROM c USING v", "ZORV-VALIDATION-USING", V, "this query expression does not accept USING",
     "FORMULA"},
    {"QUERY ORDER BY price FROM c PREFETCH (QUERY [1])", "ZORV-VALIDATION-PREFETCH", V,
     "this query expression does not accept PREFETCH", "ORDER"},
    {"QUERY HYBRID 'q' FROM c PREFETCH (QUERY [1])", "ZORV-VALIDATION-PREFETCH", V,
     "this query expression does not accept PREFETCH", "HYBRID"},
    {"QUERY TEXT 'q' FROM c USING HYBRID PREFETCH (QUERY [1])", "ZORV-VALIDATION-PREFETCH", V,
     "this query expression does not accept PREFETCH", "TEXT"},
    {"QUERY FUSION RRF FROM c", "ZORV-VALIDATION-FUSION-PREFETCH", V, "FUSION requires PREFETCH", "FUSION"},
    {"QUERY FUSION RRF FROM c USING v", "ZORV-VALIDATION-USING", V, "this query expression does not accept USING",
     "FUSION"},
    {"QUERY RERANK TEXT 'q' MODEL 'm' FROM c PREFETCH (QUERY [1] LIMIT 50)", "ZORV-VALIDATION-RERANK-USING", V,
     "RERANK requires USING <vector>", "RERANK"},
    {"QUERY RERANK TEXT 'q' MODEL 'm' FROM c USING d", "ZORV-VALIDATION-RERANK-PREFETCH", V, "RERANK requires PREFETCH",
     "RERANK"},
    {"QUERY CROSS RERANK 'q' MODEL 'ce' FROM c", "ZORV-VALIDATION-CROSS-RERANK-PREFETCH", V,
     "CROSS RERANK requires PREFETCH (candidate stage)", "CROSS"},
    {"QUERY CROSS RERANK 'q' MODEL 'ce' FROM c USING d PREFETCH (QUERY [1])", "ZORV-VALIDATION-USING", V,
     "this query expression does not accept USING", "CROSS"},
};
INSTANTIATE_TEST_SUITE_P(Placement, QueryErrorTest, ::testing::ValuesIn(kPlacementErrors));

const ErrorCase kExpressionErrors[] = {
    {"QUERY SAMPLE FROM c", "ZORV-PARSE-SAMPLE", P, "SAMPLE requires RANDOM", "FROM"},
    {"QUERY POINTS () FROM c", "ZORV-PARSE-POINT-IDS", P, "point ID list cannot be empty", ")"},
    {"QUERY POINTS (1,) FROM c", "ZORV-PARSE-POINT-ID", P,
     "point ID list requires an unsigned integer or string point ID", ")"},
    {"QUERY RECOMMEND POSITIVE () FROM c", "ZORV-PARSE-POINT-IDS", P, "recommend example list cannot be empty", ")"},
    {"QUERY RECOMMEND POSITIVE (-1) FROM c", "ZORV-PARSE-POINT-ID", P,
     "recommend example list requires an unsigned integer or string point ID", "-1"},
    {"QUERY RECOMMEND (1) FROM c", "ZORV-PARSE-EXPECTED", P, "expected POSITIVE but got '('", "("},
    {"QUERY RECOMMEND POSITIVE (1) STRATEGY best FROM c", "ZORV-VALIDATION-RECOMMEND-STRATEGY", V,
     "unknown recommend strategy 'best'", "best"},
    {"QUERY RECOMMEND POSITIVE (1) STRATEGY", "ZORV-VALIDATION-RECOMMEND-STRATEGY", V, "unknown recommend strategy ''",
     ""},
    {"QUERY MMR [1, 2] DIVERSITY 1.01 CANDIDATES 5 FROM c", "ZORV-VALIDATION-MMR", V,
     "MMR diversity must be between 0 and 1", "1.01"},
    {"QUERY MMR [1, 2] DIVERSITY -0.5 CANDIDATES 5 FROM c", "ZORV-VALIDATION-MMR", V,
     "MMR diversity must be between 0 and 1", "-0.5"},
    {"QUERY MMR [1, 2] DIVERSITY 0.5 CANDIDATES 0 FROM c", "ZORV-PARSE-POSITIVE-INTEGER", P,
     "MMR candidates must be a positive integer", "0", 1},
    {"QUERY MMR [1, 2] CANDIDATES 5 FROM c", "ZORV-PARSE-EXPECTED", P, "expected DIVERSITY but got 'CANDIDATES'",
     "CANDIDATES"},
    {"QUERY ORDER BY price START FROM true FROM c", "ZORV-PARSE-ORDER-START", P,
     "ORDER BY START FROM requires an integer, float, datetime string, or placeholder", "true"},
    {"QUERY ORDER BY price START FROM 18446744073709551615 FROM c", "ZORV-PARSE-ORDER-START", P,
     "ORDER BY START FROM requires an integer, float, datetime string, or placeholder", "18446744073709551615"},
    {"QUERY ORDER BY price START FROM [1] FROM c", "ZORV-PARSE-ORDER-START", P,
     "ORDER BY START FROM requires an integer, float, datetime string, or placeholder", "["},
    {"QUERY ORDER price FROM c", "ZORV-PARSE-EXPECTED", P, "expected BY but got 'price'", "price"},
    {"QUERY FUSION RANK FROM c", "ZORV-VALIDATION-FUSION", V, "fusion method must be RRF or DBSF", "RANK"},
    {"QUERY FUSION", "ZORV-VALIDATION-FUSION", V, "fusion method must be RRF or DBSF", ""},
    {"QUERY CONTEXT () FROM c", "ZORV-PARSE-EXPECTED", P, "expected POSITIVE but got ')'", ")"},
    {"QUERY CONTEXT (POSITIVE 1 NEGATIVE 2) FROM c", "ZORV-PARSE-QUERY-INPUT", P,
     "query input requires TEXT, IMAGE, OBJECT, VECTOR, POINT, or parameter", "1"},
    {"QUERY DISCOVER TARGET POINT 1 (POSITIVE POINT 2 NEGATIVE POINT 3) FROM c", "ZORV-PARSE-EXPECTED", P,
     "expected CONTEXT but got '('", "("},
    {"QUERY OBJECT (a: 1) FROM c", "ZORV-PARSE-EXPECTED", P, "expected LBRACE but got 'a'", "a"},
    {"QUERY TEXT FROM c", "ZORV-PARSE-EXPECTED", P, "expected STRING but got 'FROM'", "FROM"},
    {"QUERY TEXT : 5 FROM c", "ZORV-PARSE-EXPECTED", P, "expected STRING but got ':'", ":"},
    {"QUERY TEXT 'q' OPTIONS {a: 1, A: 2} FROM c", "ZORV-PARSE-DUPLICATE-KEY", P, "duplicate payload key 'A'", "A"},
    {"QUERY POINT -1 FROM c", "ZORV-PARSE-POINT-ID", P, "POINT requires an unsigned integer or string point ID", "-1"},
    {"QUERY FORMULA 1 DEFAULTS (a = 1, a = 2) FROM c", "ZORV-PARSE-DUPLICATE-KEY", P, "duplicate configuration key 'a'",
     "a", 1},
    // Relevance feedback strategy parameters: exactly a, b, c in this order.
    {"QUERY RELEVANCE FEEDBACK TARGET [1] FEEDBACK (([2], 0.5)) STRATEGY NAIVE (b = 1, a = 1, c = 1) FROM c",
     "ZORV-PARSE-FEEDBACK-STRATEGY", P, "feedback strategy expects 'A' here (order: a, b, c)", "b"},
    {"QUERY RELEVANCE FEEDBACK TARGET [1] FEEDBACK (([2], 0.5)) STRATEGY NAIVE (a = 1, c = 1, b = 1) FROM c",
     "ZORV-PARSE-FEEDBACK-STRATEGY", P, "feedback strategy expects 'B' here (order: a, b, c)", "c"},
    {"QUERY RELEVANCE FEEDBACK TARGET [1] FEEDBACK (([2], 0.5)) STRATEGY NAIVE (a = 1, b = 2) FROM c",
     "ZORV-PARSE-FEEDBACK-STRATEGY", P, "feedback strategy expects exactly three parameters (a, b, c) in order", ")",
     2},
    {"QUERY RELEVANCE FEEDBACK TARGET [1] FEEDBACK (([2], 0.5)) STRATEGY NAIVE (a = 1, b = 2, c = 3, d = 4) FROM c",
     "ZORV-PARSE-FEEDBACK-STRATEGY", P, "feedback strategy accepts exactly three parameters (a, b, c) in order", ",",
     3},
    {"QUERY RELEVANCE FEEDBACK TARGET [1] FEEDBACK () STRATEGY NAIVE (a = 1, b = 2, c = 3) FROM c",
     "ZORV-PARSE-EXPECTED", P, "expected LPAREN but got ')'", ")"},
    {"QUERY RELEVANCE FEEDBACK TARGET [1] FEEDBACK (([2], 0.5)) STRATEGY SMART (a = 1, b = 2, c = 3) FROM c",
     "ZORV-PARSE-EXPECTED", P, "expected NAIVE but got 'SMART'", "SMART"},
    // HYBRID shorthand and USING HYBRID.
    {"QUERY HYBRID 'q' SPARSE s DENSE d FROM c", "ZORV-VALIDATION-FROM", V,
     "top-level QUERY requires FROM <collection>", "DENSE"},
    {"QUERY HYBRID [1, 2] FROM c", "ZORV-VALIDATION-HYBRID", V, "HYBRID shorthand requires a text input", "["},
    {"QUERY HYBRID TEXT 'q' OPTIONS {a: 1} FROM c", "ZORV-VALIDATION-HYBRID", V,
     "HYBRID shorthand cannot carry OPTIONS; query the dense and sparse vectors separately", "TEXT"},
    {"QUERY HYBRID 'q' FUSION max FROM c", "ZORV-VALIDATION-FUSION", V, "fusion method must be RRF or DBSF", "max"},
    {"QUERY [1, 2] FROM c USING HYBRID", "ZORV-VALIDATION-HYBRID", V, kHybridNeedsText, "["},
    {"QUERY POINT 7 FROM c USING HYBRID", "ZORV-VALIDATION-HYBRID", V, kHybridNeedsText, "POINT"},
    {"QUERY RECOMMEND POSITIVE (1) FROM c USING HYBRID", "ZORV-VALIDATION-HYBRID", V, kHybridNeedsText, "RECOMMEND"},
    {"QUERY HYBRID 'q' FROM c USING HYBRID", "ZORV-VALIDATION-HYBRID", V,
     "USING HYBRID is redundant with QUERY HYBRID; use one form only", "HYBRID"},
    {"QUERY MMR 'q' DIVERSITY 0.5 CANDIDATES 10 FROM c USING HYBRID", "ZORV-VALIDATION-HYBRID", V,
     "USING HYBRID cannot combine with MMR; use dense nearest with MMR or HYBRID without MMR", "MMR"},
    {"QUERY TEXT 'q' OPTIONS {lang: 'en'} FROM c USING HYBRID", "ZORV-VALIDATION-HYBRID", V,
     "USING HYBRID cannot carry OPTIONS; query the dense and sparse vectors separately", "TEXT"},
    // RERANK and CROSS RERANK inputs.
    {"QUERY CROSS RERANK [1] MODEL 'ce' FROM c", "ZORV-PARSE-CROSS-RERANK", P,
     "CROSS RERANK requires TEXT '\u2026' or a string query", "["},
    {"QUERY CROSS RERANK TEXT [1] MODEL 'ce' FROM c", "ZORV-PARSE-CROSS-RERANK", P,
     "CROSS RERANK requires TEXT '\u2026' or a string query", "["},
    {"QUERY CROSS RERANK : 5 MODEL 'ce' FROM c", "ZORV-PARSE-CROSS-RERANK", P,
     "CROSS RERANK requires TEXT '\u2026' or a string query", ":"},
    {"QUERY CROSS RERANK 'q' FROM c", "ZORV-PARSE-EXPECTED", P, "expected MODEL but got 'FROM'", "FROM"},
    {"QUERY CROSS RERANK 'q' MODEL 'ce' ON body FROM c", "ZORV-PARSE-EXPECTED", P, "expected FIELD but got 'body'",
     "body"},
    {"QUERY RERANK TEXT :q MODEL 'm' FROM c", "ZORV-PARSE-EXPECTED", P, "expected STRING but got ':'", ":"},
    {"QUERY RERANK 'q' MODEL 'm' FROM c", "ZORV-PARSE-RERANK", P,
     "RERANK input requires TEXT '\u2026', VECTOR [\u2026], or POINT <id>", "'q'"},
    {"QUERY RERANK TEXT 'q' FROM c", "ZORV-PARSE-EXPECTED", P, "expected MODEL but got 'FROM'", "FROM"},
};
INSTANTIATE_TEST_SUITE_P(Expression, QueryErrorTest, ::testing::ValuesIn(kExpressionErrors));

const ErrorCase kPrefetchErrors[] = {
    {"WITH a AS (QUERY [1]), A AS (QUERY [2]) QUERY FUSION RRF FROM c PREFETCH (a, A)", "ZORV-PARSE-DUPLICATE-CTE", P,
     "duplicate CTE 'A'", "A", 1},
    // A CTE sees only the CTEs defined before it; the span is the start of the body holding the reference.
    {"WITH a AS (QUERY [1] PREFETCH (b)), b AS (QUERY [2]) QUERY FUSION RRF FROM c PREFETCH (a, b)",
     "ZORV-VALIDATION-PREFETCH-CTE", V, "PREFETCH references unknown CTE 'b'", "["},
    {"WITH a AS (QUERY [1] PREFETCH (a)) QUERY FUSION RRF FROM c PREFETCH (a)", "ZORV-VALIDATION-PREFETCH-CTE", V,
     "PREFETCH references unknown CTE 'a'", "["},
    {"QUERY FUSION RRF FROM c PREFETCH (Dense_Stage)", "ZORV-VALIDATION-PREFETCH-CTE", V,
     "PREFETCH references unknown CTE 'Dense_Stage'", "FUSION"},
    {"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (QUERY [2] PREFETCH (b))", "ZORV-VALIDATION-PREFETCH-CTE",
     V, "PREFETCH references unknown CTE 'b'", "[", 1},
    {"WITH a AS (QUERY [1]), QUERY [2] FROM c", "ZORV-PARSE-EXPECTED", P, "expected AS but got '['", "[", 1},
    {"WITH a AS QUERY [1] QUERY [2] FROM c", "ZORV-PARSE-EXPECTED", P, "expected LPAREN but got 'QUERY'", "QUERY"},
    {"WITH a AS (QUERY [1] QUERY [2] FROM c", "ZORV-PARSE-EXPECTED", P, "expected RPAREN but got 'QUERY'", "QUERY", 1},
    {"WITH a AS (QUERY [1])", "ZORV-PARSE-EXPECTED", P, "expected QUERY but got ''", ""},
    {"WITH a AS (QUERY [1] FROM c) QUERY FUSION RRF PREFETCH (a)", "ZORV-VALIDATION-FROM", V,
     "top-level QUERY requires FROM <collection>", "PREFETCH"},
    {"QUERY FUSION RRF FROM c PREFETCH (QUERY [1] LIMIT 10 WHERE x = 1)", "ZORV-PARSE-CLAUSE-ORDER", P,
     "duplicate or out-of-order query clause", "WHERE"},
    {"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a SHARD 'eu')", "ZORV-PARSE-EXPECTED", P,
     "expected RPAREN but got 'SHARD'", "SHARD"},
    {"WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (a LOOKUP other)", "ZORV-PARSE-EXPECTED", P,
     "expected FROM but got 'other'", "other"},
    {"QUERY FUSION RRF FROM c PREFETCH (QUERY [1] LOOKUP FROM o SHARD)", "ZORV-PARSE-EXPECTED", P,
     "expected STRING but got ')'", ")"},
    {"QUERY FUSION RRF FROM c PREFETCH (QUERY [1], )", "ZORV-PARSE-IDENTIFIER", P,
     "expected identifier or quoted name, got ')'", ")"},
};
INSTANTIATE_TEST_SUITE_P(Prefetch, QueryErrorTest, ::testing::ValuesIn(kPrefetchErrors));

// ---- nesting ----------------------------------------------------------------------------------

std::string prefetch_chain(int levels) {
    std::string text = "QUERY FUSION RRF FROM c";
    for (int i = 0; i < levels; ++i) text += " PREFETCH (QUERY 'x'";
    for (int i = 0; i < levels; ++i) text += ")";
    return text;
}

TEST(QueryNestingTest, PrefetchChainWithinTheLimitParses) {
    Query query = must_parse(prefetch_chain(128));
    const Query* level = &query;
    int depth = 0;
    while (const PrefetchList* list = level->expression.prefetch_list()) {
        if (list->empty()) break;
        level = &(*list)[0].source.query();
        ++depth;
    }
    EXPECT_EQ(depth, 128);
}

TEST(QueryNestingTest, PrefetchChainPastTheLimitFailsAtTheOpeningParenthesis) {
    const std::string text = prefetch_chain(129);
    auto result = parse_query_text(text);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, "ZORV-PARSE-NESTING");
    EXPECT_EQ(result.error().message, "statement nests deeper than 128 levels; flatten the expression");
    EXPECT_EQ(result.error().span, span_of(text, "(", 128));
}

TEST(QueryNestingTest, VeryDeepPrefetchChainFailsCleanly) {
    auto result = parse_query_text(prefetch_chain(5000));
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, "ZORV-PARSE-NESTING");
}

TEST(QueryNestingTest, CteBodiesCountAgainstTheLimit) {
    auto cte_with_chain = [](int levels) {
        std::string text = "WITH a AS (QUERY 'x'";
        for (int i = 0; i < levels; ++i) text += " PREFETCH (QUERY 'x'";
        for (int i = 0; i < levels; ++i) text += ")";
        return text + ") QUERY FUSION RRF FROM c PREFETCH (a)";
    };
    must_parse(cte_with_chain(127));
    const std::string text = cte_with_chain(128);
    auto result = parse_query_text(text);
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().code, "ZORV-PARSE-NESTING");
    EXPECT_EQ(result.error().span, span_of(text, "(", 128));
}

// ---- clauses ----------------------------------------------------------------------------------

TEST(QueryClauseTest, NearestIsTheDefaultForm) {
    Query bare = must_parse("QUERY [1, 2, 3] FROM c");
    EXPECT_EQ(bare.expression, must_parse("QUERY NEAREST [1, 2, 3] FROM c").expression);
    ASSERT_TRUE(bare.expression.is(QueryExpr::Kind::Nearest));
    const auto& nearest = bare.expression.get<QueryExpr::Kind::Nearest>();
    EXPECT_EQ(nearest.input, dense_input({1, 2, 3}));
    EXPECT_FALSE(nearest.mmr.has_value());
    EXPECT_FALSE(nearest.using_.has_value());
    EXPECT_EQ(bare.collection.name, "c");
    EXPECT_EQ(bare.collection_span.get(), (Span{21, 22}));
    EXPECT_TRUE(bare.ctes.empty());
}

TEST(QueryClauseTest, EveryClauseInOrder) {
    Query q = must_parse(
        "QUERY TEXT 'shoes' MODEL 'm' FROM \"My Coll\" USING dense AS DENSE WHERE city = 'Oslo' SHARD 'eu' "
        "PARAMS (hnsw_ef = 64) SCORE THRESHOLD 0.25 GROUP BY brand SIZE 2 WITH PAYLOAD true WITH VECTOR false "
        "LIMIT 10 OFFSET 0");
    EXPECT_EQ(q.collection.name, "My Coll");
    const auto& nearest = q.expression.get<QueryExpr::Kind::Nearest>();
    EXPECT_EQ(nearest.input, (QueryInput{QueryInput::Text{"shoes", "m", {}, {}}}));
    EXPECT_EQ(nearest.using_, (UsingVector{"dense", VectorKind::Dense, false}));
    ASSERT_TRUE(q.filter.has_value());
    EXPECT_TRUE((*q.filter)->is(Filter::Kind::Compare));
    EXPECT_EQ(q.shard_key, (ShardKey{std::string("eu")}));
    ASSERT_TRUE(q.params.has_value());
    EXPECT_EQ(q.params->hnsw_ef, 64u);
    EXPECT_EQ(q.score_threshold, 0.25);
    EXPECT_EQ(q.group, (GroupBy{"brand", 2, std::nullopt}));
    EXPECT_EQ(q.output.payload, PayloadSelector::all());
    EXPECT_EQ(q.output.vectors, VectorSelector::none());
    EXPECT_EQ(q.page, (Page{10, 0, {}, {}}));
}

TEST(QueryClauseTest, UsingVectorKinds) {
    struct Case {
        const char* text;
        UsingVector expected;
    };
    const Case cases[] = {
        {"QUERY [0.1, 0.2] FROM c USING v", {"v", std::nullopt, false}},
        {"QUERY [0.1, 0.2] FROM c USING 'v x' AS sparse", {"v x", VectorKind::Sparse, false}},
        {"QUERY [0.1, 0.2] FROM c USING dense AS MULTI", {"dense", VectorKind::Dense, true}},
        {"QUERY [0.1, 0.2] FROM c USING dense AS multivector", {"dense", VectorKind::Dense, true}},
    };
    for (const Case& c : cases) {
        Query q = must_parse(c.text);
        EXPECT_EQ(q.expression.get<QueryExpr::Kind::Nearest>().using_, c.expected) << c.text;
    }
}

TEST(QueryClauseTest, PlaceholderPagingKeepsTextAndSpan) {
    const std::string text = "QUERY ? FROM c LIMIT :n OFFSET ?";
    Query q = must_parse(text);
    const QueryInput& input = q.expression.get<QueryExpr::Kind::Nearest>().input;
    EXPECT_EQ(input, (QueryInput{Placeholder::positional(0)}));
    EXPECT_EQ(input.get<QueryInput::Kind::PositionalParam>().span.get(), (Span{6, 7}));
    EXPECT_EQ(q.page, (Page{std::nullopt, std::nullopt, Placeholder::named("n"), Placeholder::positional(1)}));
    EXPECT_EQ(q.page.limit_param->span.get(), (Span{21, 23}));
    EXPECT_EQ(q.page.offset_param->span.get(), (Span{31, 32}));
}

TEST(QueryClauseTest, GroupLookupTakesTheSelectorsThatFollowIt) {
    Query q =
        must_parse("QUERY [1] FROM c GROUP BY city SIZE 3 LOOKUP FROM cities WITH PAYLOAD true WITH PAYLOAD false");
    ASSERT_TRUE(q.group.has_value());
    EXPECT_EQ(q.group->lookup, (GroupLookup{"cities", PayloadSelector::all(), std::nullopt}));
    EXPECT_EQ(q.output.payload, PayloadSelector::none());
    EXPECT_FALSE(q.output.vectors.has_value());
}

TEST(QueryClauseTest, PointsAcceptsShardAndOutputSelectors) {
    Query q = must_parse("QUERY POINTS (1, 'a') FROM c SHARD 'k' WITH PAYLOAD true");
    EXPECT_EQ(q.expression.get<QueryExpr::Kind::Points>().ids,
              (std::vector<PointId>{PointId{std::uint64_t{1}}, PointId{std::string("a")}}));
    EXPECT_EQ(q.shard_key, (ShardKey{std::string("k")}));
}

TEST(QueryClauseTest, CopiesAreDeepAndEqual) {
    Query original = must_parse("QUERY FUSION RRF FROM c PREFETCH (QUERY [1] WHERE a = 1 LIMIT 5) LIMIT 3");
    Query copy = original;
    EXPECT_EQ(copy, original);
    auto& nested = copy.expression.prefetch_list()->front().source.query();
    nested.page.limit = 6;
    EXPECT_NE(copy, original);
}

// ---- query inputs -------------------------------------------------------------------------------

TEST(QueryInputTest, InputForms) {
    QueryInput::Text with_model{"shoes", "m", {}, {}};
    QueryInput::Image image{"https://x/a.png", "clip", {{"size", lit_int(2)}}};
    QueryInput::Object object{Literal::dict({{"a", lit_int(1)}}), std::nullopt, {}};
    struct Case {
        const char* text;
        QueryInput expected;
    };
    const Case cases[] = {
        {"QUERY 'shoes' FROM c", text_input("shoes")},
        {"QUERY TEXT 'shoes' MODEL 'm' FROM c", QueryInput{with_model}},
        {"QUERY TEXT :q FROM c", QueryInput{QueryInput::Text{"", std::nullopt, Placeholder::named("q"), {}}}},
        {"QUERY TEXT ? FROM c", QueryInput{QueryInput::Text{"", std::nullopt, Placeholder::positional(0), {}}}},
        {"QUERY IMAGE 'https://x/a.png' MODEL 'clip' OPTIONS {size: 2} FROM c", QueryInput{image}},
        {"QUERY OBJECT {a: 1} FROM c", QueryInput{object}},
        {"QUERY OBJECT ({a: 1}) FROM c", QueryInput{object}},
        {"QUERY VECTOR :v FROM c", QueryInput{Placeholder::named("v", Span{13, 15})}},
        {"QUERY :v FROM c", QueryInput{Placeholder::named("v", Span{6, 8})}},
        {"QUERY VECTOR [1, 2] FROM c", dense_input({1, 2})},
        {"QUERY {indices: [1, 7], values: [0.5, 0.25]} FROM c",
         QueryInput{VectorValue{VectorValue::Sparse{{1, 7}, {0.5F, 0.25F}}}}},
        {"QUERY [[1, 2], [3, 4]] FROM c", QueryInput{VectorValue{VectorValue::MultiDense{{{1, 2}, {3, 4}}}}}},
        {"QUERY POINT 42 FROM c", point_input(42)},
        {"QUERY POINT 'x' FROM c", QueryInput{PointId{std::string("x")}}},
    };
    for (const Case& c : cases) {
        Query q = must_parse(c.text);
        const QueryInput& input = q.expression.get<QueryExpr::Kind::Nearest>().input;
        EXPECT_EQ(input, c.expected) << c.text;
        // Trees compare without spans: check a placeholder's own.
        if (const auto* expected = std::get_if<Placeholder>(&c.expected.value)) {
            EXPECT_EQ(std::get<Placeholder>(input.value).span.get(), expected->span.get()) << c.text;
        }
    }
}

// ---- ranking forms ---------------------------------------------------------------------------

TEST(QueryExprTest, RecommendExamplesAndStrategies) {
    Query q = must_parse(
        "QUERY RECOMMEND POSITIVE (1, 'p2', [0.1, 0.2]) NEGATIVE (TEXT 'bad') STRATEGY 'best_score' FROM c "
        "USING img");
    const auto& rec = q.expression.get<QueryExpr::Kind::Recommend>();
    EXPECT_EQ(rec.positive, (std::vector<QueryInput>{point_input(1), QueryInput{PointId{std::string("p2")}},
                                                     dense_input({0.1F, 0.2F})}));
    EXPECT_EQ(rec.negative, (std::vector<QueryInput>{text_input("bad")}));
    EXPECT_EQ(rec.strategy, RecommendStrategy::BestScore);
    EXPECT_EQ(rec.using_, (UsingVector{"img", std::nullopt, false}));

    const std::pair<const char*, RecommendStrategy> strategies[] = {
        {"BEST_SCORE", RecommendStrategy::BestScore},
        {"Best_Score", RecommendStrategy::BestScore},
        {"average_vector", RecommendStrategy::AverageVector},
        {"SUM_SCORES", RecommendStrategy::SumScores},
    };
    for (const auto& [word, strategy] : strategies) {
        Query s = must_parse(std::string("QUERY RECOMMEND POSITIVE (1) STRATEGY ") + word + " FROM c");
        const auto& r = s.expression.get<QueryExpr::Kind::Recommend>();
        EXPECT_EQ(r.strategy, strategy) << word;
        EXPECT_TRUE(r.negative.empty());
    }
    EXPECT_FALSE(must_parse("QUERY RECOMMEND POSITIVE (1) FROM c")
                     .expression.get<QueryExpr::Kind::Recommend>()
                     .strategy.has_value());
}

TEST(QueryExprTest, MmrBounds) {
    for (const char* d : {"0", "1", "0.5"}) {
        Query q = must_parse(std::string("QUERY MMR [1, 2] DIVERSITY ") + d + " CANDIDATES 7 FROM c");
        const auto& nearest = q.expression.get<QueryExpr::Kind::Nearest>();
        ASSERT_TRUE(nearest.mmr.has_value()) << d;
        EXPECT_EQ((*nearest.mmr)->diversity, std::stod(d));
        EXPECT_EQ((*nearest.mmr)->candidates, 7u);
    }
}

TEST(QueryExprTest, ContextAndDiscoverPairs) {
    Query ctx = must_parse("QUERY CONTEXT (POSITIVE POINT 1 NEGATIVE POINT 2, POSITIVE [1] NEGATIVE [2]) FROM c");
    EXPECT_EQ(ctx.expression.get<QueryExpr::Kind::Context>().pairs,
              (std::vector<ContextPair>{{point_input(1), point_input(2)}, {dense_input({1}), dense_input({2})}}));
    Query disc = must_parse("QUERY DISCOVER TARGET 'x' CONTEXT (POSITIVE POINT 1 NEGATIVE POINT 2) FROM c USING v");
    const auto& d = disc.expression.get<QueryExpr::Kind::Discover>();
    EXPECT_EQ(d.target, text_input("x"));
    EXPECT_EQ(d.context, (std::vector<ContextPair>{{point_input(1), point_input(2)}}));
    EXPECT_EQ(d.using_->name, "v");
}

TEST(QueryExprTest, OrderBy) {
    const auto& asc = must_parse("QUERY ORDER BY price FROM c").expression;
    EXPECT_EQ(asc.get<QueryExpr::Kind::OrderBy>(), (QueryExpr::OrderBy{"price", OrderDirection::Asc, std::nullopt}));
    Query desc = must_parse("QUERY ORDER BY meta.ts DESC START FROM '2024-01-01T00:00:00Z' FROM c");
    EXPECT_EQ(desc.expression.get<QueryExpr::Kind::OrderBy>(),
              (QueryExpr::OrderBy{"meta.ts", OrderDirection::Desc, Literal::str("2024-01-01T00:00:00Z")}));
    for (const char* start : {"-5", "2.5", ":s", "?"}) {
        Query q = must_parse(std::string("QUERY ORDER BY n ASC START FROM ") + start + " FROM c");
        EXPECT_TRUE(q.expression.get<QueryExpr::Kind::OrderBy>().start_from.has_value()) << start;
    }
}

TEST(QueryExprTest, SampleAndFusion) {
    EXPECT_TRUE(must_parse("QUERY SAMPLE random FROM c").expression.is(QueryExpr::Kind::SampleRandom));
    for (const char* method : {"dbsf", "DBSF", "'Dbsf'"}) {
        Query q = must_parse(std::string("QUERY FUSION ") + method + " FROM c PREFETCH (QUERY [1], QUERY [2])");
        const auto& fusion = q.expression.get<QueryExpr::Kind::Fusion>();
        EXPECT_EQ(fusion.method, FusionMethod::Dbsf) << method;
        EXPECT_EQ(fusion.prefetch.size(), 2u);
        EXPECT_EQ(fusion.prefetch[0].source.query().collection, CollectionRef{});
    }
}

TEST(QueryExprTest, FormulaWithDefaultsAndPrefetch) {
    Query q = must_parse("QUERY FORMULA $score + 2 * boost DEFAULTS (boost = 1) FROM c PREFETCH (QUERY [1] LIMIT 9)");
    const auto& formula = q.expression.get<QueryExpr::Kind::Formula>();
    EXPECT_TRUE(formula.expression->is(FormulaExpr::Kind::Sum));
    EXPECT_EQ(formula.defaults, (LiteralDict{{"boost", lit_int(1)}}));
    EXPECT_EQ(formula.prefetch.size(), 1u);
    EXPECT_TRUE(must_parse("QUERY FORMULA 1 FROM c").expression.get<QueryExpr::Kind::Formula>().defaults.empty());
}

TEST(QueryExprTest, RelevanceFeedback) {
    Query q = must_parse(
        "QUERY RELEVANCE FEEDBACK TARGET 'q' FEEDBACK ((POINT 1, 0.9), ([1, 2], -0.5)) STRATEGY naive "
        "(A = 1, b = 0.5, c = 2) FROM c USING v");
    const auto& rf = q.expression.get<QueryExpr::Kind::RelevanceFeedback>();
    EXPECT_EQ(rf.target, text_input("q"));
    EXPECT_EQ(rf.feedback, (std::vector<FeedbackItem>{{point_input(1), 0.9}, {dense_input({1, 2}), -0.5}}));
    EXPECT_EQ(rf.strategy, (FeedbackStrategy{1, 0.5, 2}));
    EXPECT_EQ(rf.using_->name, "v");
}

TEST(QueryExprTest, HybridShorthandAndUsingHybrid) {
    struct Case {
        const char* text;
        QueryExpr::Hybrid expected;
    };
    const Case cases[] = {
        {"QUERY HYBRID 'q' DENSE d SPARSE s FUSION DBSF FROM c", {"q", {}, "d", "s", FusionMethod::Dbsf, {}}},
        {"QUERY HYBRID TEXT :q MODEL 'm' SPARSE s FROM c",
         {"", "m", {}, "s", FusionMethod::Rrf, Placeholder::named("q")}},
        {"QUERY TEXT 'q' FROM c USING HYBRID", {"q", {}, {}, {}, FusionMethod::Rrf, {}}},
        {"QUERY 'q' FROM c USING HYBRID DENSE d FUSION rrf", {"q", {}, "d", {}, FusionMethod::Rrf, {}}},
        {"QUERY TEXT ? MODEL 'bm' FROM c USING HYBRID SPARSE s",
         {"", "bm", {}, "s", FusionMethod::Rrf, Placeholder::positional(0)}},
    };
    for (const Case& c : cases) {
        Query q = must_parse(c.text);
        ASSERT_TRUE(q.expression.is(QueryExpr::Kind::Hybrid)) << c.text;
        EXPECT_EQ(q.expression.get<QueryExpr::Kind::Hybrid>(), c.expected) << c.text;
    }
}

TEST(QueryExprTest, RerankAndCrossRerank) {
    Query rerank = must_parse("QUERY RERANK VECTOR [1, 2] MODEL 'colbert' FROM c USING late PREFETCH (QUERY [1])");
    const auto& r = rerank.expression.get<QueryExpr::Kind::Rerank>();
    EXPECT_EQ(r.input, dense_input({1, 2}));
    EXPECT_EQ(r.model, "colbert");
    EXPECT_EQ(r.using_->name, "late");
    EXPECT_EQ(must_parse("QUERY RERANK POINT 5 MODEL 'm' FROM c USING v PREFETCH (QUERY [1])")
                  .expression.get<QueryExpr::Kind::Rerank>()
                  .input,
              point_input(5));

    Query cross = must_parse("QUERY CROSS RERANK 'q' MODEL 'ce' ON FIELD body FROM c PREFETCH (QUERY [1] LIMIT 50)");
    const auto& x = cross.expression.get<QueryExpr::Kind::CrossRerank>();
    EXPECT_EQ(x.query, "q");
    EXPECT_EQ(x.model, "ce");
    EXPECT_EQ(x.field, "body");
    EXPECT_FALSE(x.query_param.has_value());
    Query param = must_parse("QUERY CROSS RERANK TEXT ? MODEL 'ce' FROM c PREFETCH (QUERY [1])");
    EXPECT_EQ(param.expression.get<QueryExpr::Kind::CrossRerank>().query_param->text(), "?0");
    EXPECT_EQ(param.expression.get<QueryExpr::Kind::CrossRerank>().query, "");
}

// ---- prefetch and CTEs --------------------------------------------------------------------------

TEST(QueryPrefetchTest, CtesAreKeptOnceAndReferencedByName) {
    Query q = must_parse(
        "WITH a AS (QUERY [1, 2] LIMIT 50), b AS (QUERY TEXT 'x' USING sparse LIMIT 50) "
        "QUERY FUSION RRF FROM c PREFETCH (a, b) LIMIT 10");
    ASSERT_EQ(q.ctes.size(), 2u);
    EXPECT_EQ(q.ctes[0].name, "a");
    EXPECT_EQ(q.ctes[1].name, "b");
    EXPECT_TRUE(q.ctes[0].query->collection.is_inherited());
    EXPECT_TRUE(q.ctes[1].query->collection.is_inherited());
    EXPECT_EQ(q.ctes[1].query->expression.get<QueryExpr::Kind::Nearest>().using_->name, "sparse");
    EXPECT_EQ(q.expression.get<QueryExpr::Kind::Fusion>().prefetch, (PrefetchList{cte_ref("a"), cte_ref("b")}));
    EXPECT_EQ(q.page.limit, 10u);
}

TEST(QueryPrefetchTest, CteReferencesIgnoreCaseAndSeeEarlierCtes) {
    must_parse("WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (A)");
    must_parse("WITH b AS (QUERY [2]), a AS (QUERY [1] PREFETCH (b)) QUERY FUSION RRF FROM c PREFETCH (a)");
    // Nested bodies see the same CTEs as the body around them.
    must_parse("WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c PREFETCH (QUERY FUSION DBSF PREFETCH (a, QUERY [2]))");
}

TEST(QueryPrefetchTest, ItemFields) {
    Query q = must_parse(
        "WITH a AS (QUERY [1]) QUERY FUSION RRF FROM c "
        "PREFETCH (a WHERE city = 'x' SCORE THRESHOLD 0.3 LOOKUP FROM other VECTOR img SHARD 'eu')");
    const Prefetch& item = q.expression.get<QueryExpr::Kind::Fusion>().prefetch.at(0);
    EXPECT_EQ(item.source.cte_name(), "a");
    EXPECT_TRUE(item.filter.has_value());
    EXPECT_EQ(item.score_threshold, 0.3);
    EXPECT_EQ(item.lookup, (PrefetchLookup{"other", "img", ShardKey{std::string("eu")}}));
}

TEST(QueryPrefetchTest, NestedQuerySources) {
    Query where = must_parse("QUERY FUSION RRF FROM c PREFETCH (QUERY [1] WHERE x = 1 LIMIT 10)");
    const Prefetch& item = where.expression.get<QueryExpr::Kind::Fusion>().prefetch.at(0);
    EXPECT_TRUE(item.source.query().filter.has_value());
    EXPECT_EQ(item.source.query().page.limit, 10u);
    EXPECT_FALSE(item.filter.has_value());

    Query lookup = must_parse("QUERY FUSION RRF FROM c PREFETCH (QUERY [1] LIMIT 100 LOOKUP FROM other)");
    const Prefetch& looked = lookup.expression.get<QueryExpr::Kind::Fusion>().prefetch.at(0);
    EXPECT_TRUE(looked.source.is(PrefetchSource::Kind::Query));
    EXPECT_EQ(looked.lookup, (PrefetchLookup{"other", std::nullopt, std::nullopt}));

    Query points = must_parse("QUERY FUSION RRF FROM c PREFETCH (QUERY POINTS (1))");
    EXPECT_TRUE(points.expression.prefetch_list()->at(0).source.query().expression.is(QueryExpr::Kind::Points));

    Query own_from = must_parse("QUERY FUSION RRF FROM c PREFETCH (QUERY [1] FROM other_coll)");
    EXPECT_EQ(own_from.expression.prefetch_list()->at(0).source.query().collection.name, "other_coll");
}

// ---- corpus -----------------------------------------------------------------------------------

TEST(QueryCorpusTest, EveryLineParses) {
    std::ifstream in(std::string(ZORV_TEST_DATA_DIR) + "/query_corpus.zorv");
    ASSERT_TRUE(in.is_open());
    std::string line;
    int count = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line.starts_with("--")) continue;
        auto result = parse_statement(line);
        EXPECT_TRUE(result.has_value()) << line << "\n  " << (result ? "" : format_error(result.error()));
        if (result) {
            EXPECT_EQ(result->kind(), StatementKind::Query) << line;
        }
        ++count;
    }
    EXPECT_GE(count, 60);
}

}  // namespace
}  // namespace zorv::core
