#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

#include "core/ast/query.h"
#include "core/parser/parser.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/query.h"
#include "plan/query_shape.h"
#include "plan/rest/route.h"

namespace zorv::plan {
namespace {

core::Result<PlanOp> plan_text(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement.has_value()) << text << ": " << (statement ? "" : statement.error().message);
    if (!statement) return std::unexpected(statement.error());
    return plan_statement(*statement);
}

// "POST /path?a=1&b=2 {body}" of a compiled statement, or the planning error's code.
std::string compiled(const std::string& text) {
    auto op = plan_text(text);
    if (!op) return op.error().code + ": " + op.error().message;
    auto request = plan_to_rest_request(*op);
    if (!request) return "no route";
    std::string out = std::string(http_method_name(request->method)) + " " + request->path;
    char sep = '?';
    for (const auto& [name, value] : request->query) {
        out += sep;
        out += name;
        out += '=';
        out += value;
        sep = '&';
    }
    return out + " " + (request->body ? json_text(*request->body) : "-");
}

struct RouteCase {
    std::string text;
    std::string expected;
};

void PrintTo(const RouteCase& c, std::ostream* os) { *os << c.text; }

class QueryRoutes : public testing::TestWithParam<RouteCase> {};

TEST_P(QueryRoutes, CompileToTheirRequest) { EXPECT_EQ(compiled(GetParam().text), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Statements, QueryRoutes,
    testing::
        Values(RouteCase{"QUERY [0.5, 0.25] FROM docs USING dense LIMIT 5",
                         R"(POST /collections/docs/points/query {"limit":5,"query":{"nearest":[0.5,0.25]},"using":"dense","with_payload":true})"},
               // Timeout and consistency travel as query parameters, never in the body.
               RouteCase{
                   "QUERY [0.5, 0.25] FROM docs USING dense PARAMS (timeout = 5, consistency = majority) LIMIT 5",
                   R"(POST /collections/docs/points/query?timeout=5&consistency=majority {"limit":5,"query":{"nearest":[0.5,0.25]},"using":"dense","with_payload":true})"},
               RouteCase{
                   "WITH a AS (QUERY [0.5] USING dense LIMIT 50) QUERY FUSION RRF FROM docs PREFETCH (a) LIMIT 10",
                   R"(POST /collections/docs/points/query {"limit":10,"prefetch":[{"limit":50,"query":{"nearest":[0.5]},"using":"dense"}],"query":{"fusion":"rrf"},"with_payload":true})"},
               RouteCase{
                   "QUERY [0.5] FROM docs GROUP BY city LIMIT 5 OFFSET 20",
                   R"(POST /collections/docs/points/query/groups {"group_by":"city","group_size":3,"limit":25,"query":{"nearest":[0.5]},"with_payload":true})"},
               RouteCase{
                   "QUERY [0.5] FROM c GROUP BY doc SIZE 2 LOOKUP FROM documents WITH PAYLOAD INCLUDE (title) LIMIT 10",
                   R"(POST /collections/c/points/query/groups {"group_by":"doc","group_size":2,"limit":10,"query":{"nearest":[0.5]},"with_lookup":{"collection":"documents","with_payload":{"include":["title"]}},"with_payload":true})"},
               RouteCase{
                   "QUERY [0.5] FROM c GROUP BY doc LOOKUP FROM documents",
                   R"(POST /collections/c/points/query/groups {"group_by":"doc","group_size":3,"limit":10,"query":{"nearest":[0.5]},"with_lookup":"documents","with_payload":true})"},
               RouteCase{
                   "QUERY POINTS (7, 7) FROM p SHARD 'x' WITH VECTOR true",
                   R"(POST /collections/p/points {"ids":[7,7],"shard_key":"x","with_payload":true,"with_vector":true})"},
               // Candidates are (LIMIT + OFFSET) x 10; the sparse stage named bm25 gets the server's BM25.
               RouteCase{
                   "QUERY HYBRID 'solar' DENSE dense SPARSE bm25 FROM p WHERE y > 1 LIMIT 7 OFFSET 3",
                   R"(POST /collections/p/points/query {"filter":{"must":[{"key":"y","range":{"gt":1}}]},"limit":7,"offset":3,"prefetch":[{"filter":{"must":[{"key":"y","range":{"gt":1}}]},"limit":100,"query":{"nearest":{"model":"","text":"solar"}},"using":"dense"},{"filter":{"must":[{"key":"y","range":{"gt":1}}]},"limit":100,"query":{"nearest":{"model":"Qdrant/bm25","text":"solar"}},"using":"bm25"}],"query":{"fusion":"rrf"},"with_payload":true})"},
               RouteCase{
                   "QUERY HYBRID 'x' DENSE d SPARSE s FUSION DBSF FROM p",
                   R"(POST /collections/p/points/query {"prefetch":[{"limit":100,"query":{"nearest":{"model":"","text":"x"}},"using":"d"},{"limit":100,"query":{"nearest":{"model":"","text":"x"}},"using":"s"}],"query":{"fusion":"dbsf"},"with_payload":true})"},
               RouteCase{
                   "QUERY HYBRID 'x' DENSE d SPARSE s FROM p PARAMS (rrf_k = 60) LIMIT 1",
                   R"(POST /collections/p/points/query {"limit":1,"prefetch":[{"limit":10,"query":{"nearest":{"model":"","text":"x"}},"using":"d"},{"limit":10,"query":{"nearest":{"model":"","text":"x"}},"using":"s"}],"query":{"rrf":{"k":60}},"with_payload":true})"},
               RouteCase{
                   "QUERY FUSION RRF FROM d PREFETCH (QUERY [1] USING a LIMIT 1, QUERY [2] USING b LIMIT 1) "
                   "PARAMS (rrf_weights = [0.7, 0.3]) LIMIT 2",
                   R"(POST /collections/d/points/query {"limit":2,"prefetch":[{"limit":1,"query":{"nearest":[1.0]},"using":"a"},{"limit":1,"query":{"nearest":[2.0]},"using":"b"}],"query":{"rrf":{"weights":[0.7,0.3]}},"with_payload":true})"},
               RouteCase{
                   "QUERY RECOMMEND POSITIVE (1, 2) NEGATIVE ('550e8400-e29b-41d4-a716-446655440000') STRATEGY "
                   "best_score FROM m USING v LIMIT 3",
                   R"(POST /collections/m/points/query {"limit":3,"query":{"recommend":{"negative":["550e8400-e29b-41d4-a716-446655440000"],"positive":[1,2],"strategy":"best_score"}},"using":"v","with_payload":true})"},
               RouteCase{
                   "QUERY RECOMMEND POSITIVE (1) FROM m",
                   R"(POST /collections/m/points/query {"query":{"recommend":{"negative":[],"positive":[1]}},"with_payload":true})"},
               RouteCase{
                   "QUERY DISCOVER TARGET [0.5] CONTEXT (POSITIVE POINT 1 NEGATIVE POINT 2) FROM i USING c LIMIT 5",
                   R"(POST /collections/i/points/query {"limit":5,"query":{"discover":{"context":[{"negative":2,"positive":1}],"target":[0.5]}},"using":"c","with_payload":true})"},
               RouteCase{
                   "QUERY ORDER BY price DESC START FROM 10 FROM p LIMIT 3",
                   R"(POST /collections/p/points/query {"limit":3,"query":{"order_by":{"direction":"desc","key":"price","start_from":10}},"with_payload":true})"},
               RouteCase{
                   "QUERY SAMPLE RANDOM FROM p LIMIT 2",
                   R"(POST /collections/p/points/query {"limit":2,"query":{"sample":"random"},"with_payload":true})"},
               RouteCase{
                   "QUERY FORMULA $score * 2 + pop DEFAULTS (pop = 0) FROM p PREFETCH (QUERY [0.5] USING d LIMIT 20)", R"(POST /collections/p/points/query {"prefetch":[{"limit":20,"query":{"nearest":[0.5]},"using":"d"}],"query":{"defaults":{"pop":0},"formula":{"sum":[{"mult":["$score",2.0]},"pop"]}},"with_payload":true})"},
               RouteCase{
                   "QUERY RELEVANCE FEEDBACK TARGET [0.5] FEEDBACK ((POINT 3, 1)) STRATEGY naive (a = 0.7, b = 0.2, "
                   "c = 0.1) FROM p LIMIT 5",
                   R"(POST /collections/p/points/query {"limit":5,"query":{"relevance_feedback":{"feedback":[{"example":3,"score":1.0}],"strategy":{"naive":{"a":0.7,"b":0.2,"c":0.1}},"target":[0.5]}},"with_payload":true})"},
               RouteCase{
                   "QUERY MMR [0.25] DIVERSITY 1 CANDIDATES 16384 FROM f USING v LIMIT 1",
                   R"(POST /collections/f/points/query {"limit":1,"query":{"mmr":{"candidates_limit":16384,"diversity":1.0},"nearest":[0.25]},"using":"v","with_payload":true})"},
               // bm25 in any case selects the server's model; bm25x does not.
               RouteCase{
                   "QUERY TEXT 'x' FROM d USING BM25 LIMIT 1",
                   R"(POST /collections/d/points/query {"limit":1,"query":{"nearest":{"model":"Qdrant/bm25","text":"x"}},"using":"BM25","with_payload":true})"},
               RouteCase{
                   "QUERY TEXT 'x' FROM d USING bm25x LIMIT 1",
                   R"(POST /collections/d/points/query {"limit":1,"query":{"nearest":{"model":"","text":"x"}},"using":"bm25x","with_payload":true})"},
               RouteCase{
                   "QUERY {indices: [1, 2], values: [0.5, 0.25]} FROM d USING s AS SPARSE PARAMS (exact = true, "
                   "acorn = true, max_selectivity = 0.5, idf = global, timeout = 3) LIMIT 1",
                   R"(POST /collections/d/points/query?timeout=3 {"limit":1,"params":{"acorn":{"enable":true,"max_selectivity":0.5},"exact":true,"idf":"global"},"query":{"nearest":{"indices":[1,2],"values":[0.5,0.25]}},"using":"s","with_payload":true})"},
               RouteCase{
                   "QUERY RERANK TEXT 'x' MODEL 'colbert' FROM r USING colbert PREFETCH (QUERY [0.5] USING dense "
                   "LIMIT 100) LIMIT 10",
                   R"(POST /collections/r/points/query {"limit":10,"prefetch":[{"limit":100,"query":{"nearest":[0.5]},"using":"dense"}],"query":{"nearest":{"model":"colbert","text":"x"}},"using":"colbert","with_payload":true})"},
               // The first source with a LOOKUP FROM gives the request's lookup_from.
               RouteCase{
                   "QUERY [1] FROM p USING full PREFETCH (QUERY [1] USING mini LIMIT 5, QUERY [2] USING m LIMIT 5 "
                   "LOOKUP FROM mirror VECTOR mini SHARD 'us') SHARD 7 LIMIT 10",
                   R"(POST /collections/p/points/query {"limit":10,"lookup_from":{"collection":"mirror","shard_key":"us","vector":"mini"},"prefetch":[{"limit":5,"query":{"nearest":[1.0]},"using":"mini"},{"limit":5,"lookup_from":{"collection":"mirror","shard_key":"us","vector":"mini"},"query":{"nearest":[2.0]},"using":"m"}],"query":{"nearest":[1.0]},"shard_key":7,"using":"full","with_payload":true})"},
               // WHERE then the source's own filter; the source's threshold wins over the CTE's.
               RouteCase{
                   "WITH a AS (QUERY [1] USING v WHERE x = 1 SCORE THRESHOLD 0.25 LIMIT 9) QUERY FUSION RRF FROM c "
                   "PREFETCH (A WHERE y = 2 SCORE THRESHOLD 0.5) LIMIT 1",
                   R"(POST /collections/c/points/query {"limit":1,"prefetch":[{"filter":{"must":[{"must":[{"key":"x","match":{"value":1}}]},{"must":[{"key":"y","match":{"value":2}}]}]},"limit":9,"query":{"nearest":[1.0]},"score_threshold":0.5,"using":"v"}],"query":{"fusion":"rrf"},"with_payload":true})"},
               // A stage that has its own PREFETCH nests it; one without has no "prefetch" key.
               RouteCase{
                   "QUERY FUSION RRF FROM d PREFETCH (QUERY FUSION DBSF PREFETCH (QUERY [0.5] USING a LIMIT 9) LIMIT "
                   "5)",
                   R"(POST /collections/d/points/query {"prefetch":[{"limit":5,"prefetch":[{"limit":9,"query":{"nearest":[0.5]},"using":"a"}],"query":{"fusion":"dbsf"}}],"query":{"fusion":"rrf"},"with_payload":true})"},
               RouteCase{"COUNT FROM c WHERE a = 1",
                         R"(POST /collections/c/points/count {"filter":{"must":[{"key":"a","match":{"value":1}}]}})"},
               RouteCase{"FACET city FROM docs LIMIT 5 EXACT TRUE SHARD 2",
                         R"(POST /collections/docs/facet {"exact":true,"key":"city","limit":5,"shard_key":2})"},
               RouteCase{"QUERY CROSS RERANK 'q' MODEL 'm' FROM docs PREFETCH (QUERY [0.5] USING d LIMIT 5)",
                         "no route"}));

struct RefusalCase {
    std::string text;
    std::string code;
    std::string message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << c.text; }

class QueryRefusals : public testing::TestWithParam<RefusalCase> {};

TEST_P(QueryRefusals, FailWithTheCodeAndMessage) {
    auto op = plan_text(GetParam().text);
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, GetParam().code);
    EXPECT_EQ(op.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(op.error().message, GetParam().message);
    EXPECT_FALSE(op.error().span.has_value());
}

const std::string kNotUuid = "\" is not a UUID; point IDs must be unsigned integers or UUIDs";

INSTANTIATE_TEST_SUITE_P(
    Statements, QueryRefusals,
    testing::Values(
        RefusalCase{"QUERY [1, 2] FROM c USING v AS SPARSE LIMIT 1", "ZORV-PLAN-VECTOR-KIND",
                    "query input vector type does not match the USING vector kind"},
        RefusalCase{"QUERY {indices: [1], values: [1]} FROM c USING v AS DENSE", "ZORV-PLAN-VECTOR-KIND",
                    "query input vector type does not match the USING vector kind"},
        RefusalCase{"QUERY RERANK VECTOR [1] MODEL 'm' FROM c USING v AS SPARSE PREFETCH (QUERY [1] USING d)",
                    "ZORV-PLAN-VECTOR-KIND", "RERANK requires a dense vector target"},
        // Three levels down still fails the statement.
        RefusalCase{"QUERY FUSION RRF FROM c PREFETCH (QUERY FUSION RRF PREFETCH (QUERY FUSION RRF PREFETCH "
                    "(QUERY [1] USING v AS SPARSE)))",
                    "ZORV-PLAN-VECTOR-KIND", "query input vector type does not match the USING vector kind"},
        RefusalCase{"QUERY RECOMMEND POSITIVE ([1, 2, 3], [1, 2, 3, 4]) FROM c", "ZORV-PLAN-RECOMMEND-AVERAGE",
                    "average_vector examples must share one dimension: found (1, 3) and (1, 4) rows x dims"},
        RefusalCase{"QUERY RECOMMEND POSITIVE ([1, 2, 3, 4]) NEGATIVE ([[1, 2, 3, 4], [5, 6, 7, 8]]) FROM c",
                    "ZORV-PLAN-RECOMMEND-AVERAGE",
                    "average_vector examples must share one dimension: found (1, 4) and (2, 4) rows x dims"},
        RefusalCase{"QUERY FUSION RRF FROM c PREFETCH (QUERY [1] USING a, QUERY [2] USING b) PARAMS (rrf_weights = "
                    "[1, 2, 3])",
                    "ZORV-PLAN-RRF-WEIGHTS", "rrf_weights contains 3 values but fusion has 2 prefetches"},
        RefusalCase{"QUERY HYBRID 'x' FUSION DBSF FROM c PARAMS (rrf_k = 2)", "ZORV-PLAN-RRF-PARAMS",
                    "rrf_k and rrf_weights are valid only with RRF fusion"},
        RefusalCase{"QUERY [1] FROM c PARAMS (rrf_k = 3)", "ZORV-PLAN-RRF-PARAMS",
                    "rrf_k and rrf_weights are valid only with RRF fusion"},
        // Checked even when the query never references the CTE.
        RefusalCase{"WITH a AS (QUERY [1] USING v AS SPARSE) QUERY [1] FROM c", "ZORV-PLAN-VECTOR-KIND",
                    "query input vector type does not match the USING vector kind"},
        RefusalCase{"QUERY [1] FROM c GROUP BY g LIMIT 18446744073709551615 OFFSET 1", "ZORV-VALIDATION-LIMIT-OVERFLOW",
                    "grouped query LIMIT 18446744073709551615 + OFFSET 1 overflows u64; reduce LIMIT or OFFSET"},
        RefusalCase{"QUERY HYBRID 'x' FROM c LIMIT 1844674407370955162", "ZORV-VALIDATION-LIMIT-OVERFLOW",
                    "hybrid query LIMIT 1844674407370955162 overflows the candidate limit (LIMIT * 10); reduce LIMIT"},
        // OFFSET counts towards the candidates.
        RefusalCase{"QUERY HYBRID 'x' FROM c LIMIT 1 OFFSET 18446744073709551615", "ZORV-VALIDATION-LIMIT-OVERFLOW",
                    "hybrid query LIMIT 1 overflows the candidate limit (LIMIT * 10); reduce LIMIT"},
        RefusalCase{"QUERY [1] FROM c PREFETCH (QUERY [1] USING v SHARD 1 GROUP BY g)", "ZORV-PLAN-PREFETCH-GROUP",
                    "GROUP BY is not supported inside PREFETCH"},
        RefusalCase{"QUERY [1] FROM c PREFETCH (QUERY [1] USING v SHARD 1)", "ZORV-PLAN-PREFETCH-SHARD",
                    "PREFETCH sources cannot carry SHARD routing; route the outer query instead"},
        RefusalCase{"QUERY [1] FROM c PREFETCH (QUERY [1] USING v PARAMS (timeout = 1))", "ZORV-PLAN-PREFETCH-PARAMS",
                    "PREFETCH sources cannot carry PARAMS timeout / consistency"},
        RefusalCase{"QUERY CROSS RERANK 'q' MODEL 'm' FROM c PREFETCH (QUERY [1] USING v GROUP BY g)",
                    "ZORV-PLAN-CROSS-RERANK-CANDIDATE",
                    "CROSS RERANK prefetch must plan as a search query, got QUERY_GROUPS"},
        RefusalCase{"QUERY [1] FROM c PARAMS (idf = WHERE id = 'zz')", "ZORV-PLAN-POINT-ID",
                    "point ID \"zz" + kNotUuid},
        RefusalCase{"QUERY FORMULA $score + CASE WHEN id = 'f1' THEN 1 ELSE 0 END FROM c PREFETCH (QUERY [1] USING v)",
                    "ZORV-PLAN-POINT-ID", "point ID \"f1" + kNotUuid},
        // The outer query is a plain search; the bad id sits in the second stage's negatives.
        RefusalCase{"QUERY [1] FROM c PREFETCH (QUERY [1] USING a, QUERY RECOMMEND POSITIVE (1) NEGATIVE ('n') "
                    "USING b)",
                    "ZORV-PLAN-POINT-ID", "point ID \"n" + kNotUuid},
        // A stage's IDF corpus comes right after its filter, before its nested stages.
        RefusalCase{"QUERY FUSION RRF FROM c PREFETCH (QUERY FUSION RRF PREFETCH (QUERY POINT 'inner' USING v) "
                    "WHERE id = 'where' PARAMS (idf = WHERE id = 'idf'))",
                    "ZORV-PLAN-POINT-ID", "point ID \"where" + kNotUuid},
        RefusalCase{"QUERY FUSION RRF FROM c PREFETCH (QUERY FUSION RRF PREFETCH (QUERY POINT 'inner' USING v) "
                    "PARAMS (idf = WHERE id = 'idf'))",
                    "ZORV-PLAN-POINT-ID", "point ID \"idf" + kNotUuid}));

// Refusals the parser pre-empts in text: the statement is parsed and then edited as a tree.
struct TreeCase {
    std::string name;
    std::string text;
    std::function<void(core::Query&)> edit;
    std::string code;
    std::string message;
};

void PrintTo(const TreeCase& c, std::ostream* os) { *os << c.name; }

class QueryTreeRefusals : public testing::TestWithParam<TreeCase> {};

TEST_P(QueryTreeRefusals, FailWithTheCodeAndMessage) {
    auto statement = core::parse_statement(GetParam().text);
    ASSERT_TRUE(statement.has_value()) << statement.error().message;
    core::Query& query = *statement->get<core::StatementKind::Query>();
    GetParam().edit(query);
    auto op = plan_statement(*statement);
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, GetParam().code);
    EXPECT_EQ(op.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(op.error().message, GetParam().message);
}

using core::QueryExpr;
using EK = QueryExpr::Kind;

core::PrefetchList& sources(core::Query& query) { return *query.expression.prefetch_list(); }
core::Query& first_source(core::Query& query) { return sources(query).front().source.query(); }

INSTANTIATE_TEST_SUITE_P(
    Trees, QueryTreeRefusals,
    testing::Values(
        TreeCase{"NoFrom", "QUERY [1] FROM c", [](core::Query& q) { q.collection.name.reset(); },
                 "ZORV-PLAN-COLLECTION", "top-level query requires an explicit collection (FROM ...)"},
        TreeCase{"EmptyFrom", "QUERY [1] FROM c", [](core::Query& q) { q.collection.name = ""; },
                 "ZORV-PLAN-COLLECTION", "query collection name must not be empty"},
        TreeCase{"EmptyGroupField", "QUERY [1] FROM c GROUP BY g", [](core::Query& q) { q.group->field.clear(); },
                 "ZORV-PLAN-GROUP", "group field must not be empty"},
        TreeCase{"FusionWithoutPrefetch", "QUERY FUSION RRF FROM c PREFETCH (QUERY [1])",
                 [](core::Query& q) { sources(q).clear(); }, "ZORV-PLAN-FUSION-PREFETCH",
                 "FUSION requires at least one prefetch"},
        TreeCase{"RerankWithoutUsing", "QUERY RERANK VECTOR [1] MODEL 'm' FROM c USING v PREFETCH (QUERY [1])",
                 [](core::Query& q) { q.expression.get<EK::Rerank>().using_.reset(); }, "ZORV-PLAN-RERANK-USING",
                 "RERANK requires a non-empty USING vector name"},
        TreeCase{"RerankWithEmptyUsing", "QUERY RERANK VECTOR [1] MODEL 'm' FROM c USING v PREFETCH (QUERY [1])",
                 [](core::Query& q) { q.expression.get<EK::Rerank>().using_->name.clear(); }, "ZORV-PLAN-RERANK-USING",
                 "RERANK requires non-empty USING vector name"},
        TreeCase{"RerankWithoutPrefetch", "QUERY RERANK VECTOR [1] MODEL 'm' FROM c USING v PREFETCH (QUERY [1])",
                 [](core::Query& q) { sources(q).clear(); }, "ZORV-PLAN-RERANK-PREFETCH",
                 "RERANK requires at least one prefetch"},
        TreeCase{"PointsInsidePrefetch", "QUERY [1] FROM c PREFETCH (QUERY [1])",
                 [](core::Query& q) { first_source(q).expression = QueryExpr{QueryExpr::Points{{}}}; },
                 "ZORV-PLAN-UNSUPPORTED-PREFETCH", "POINTS / CROSS RERANK are not supported inside PREFETCH"},
        TreeCase{"UnknownCte", "WITH a AS (QUERY [2]) QUERY FUSION RRF FROM c PREFETCH (a)",
                 [](core::Query& q) { sources(q).front().source = core::PrefetchSource::cte("B"); },
                 "ZORV-PLAN-PREFETCH-CTE", "PREFETCH references unknown CTE 'B'"},
        TreeCase{"MmrDiversityAboveOne", "QUERY MMR [1] DIVERSITY 1 CANDIDATES 5 FROM c",
                 [](core::Query& q) { (*q.expression.get<EK::Nearest>().mmr)->diversity = 1.5; }, "ZORV-PLAN-MMR",
                 "MMR DIVERSITY must be within [0, 1], got 1.5"},
        TreeCase{"MmrCandidatesZero", "QUERY MMR [1] DIVERSITY 1 CANDIDATES 5 FROM c",
                 [](core::Query& q) { (*q.expression.get<EK::Nearest>().mmr)->candidates = 0; }, "ZORV-PLAN-MMR",
                 "MMR CANDIDATES must be within 1..=16384, got 0"},
        TreeCase{"MmrCandidatesAboveCap", "QUERY MMR [1] DIVERSITY 1 CANDIDATES 5 FROM c",
                 [](core::Query& q) { (*q.expression.get<EK::Nearest>().mmr)->candidates = 16385; }, "ZORV-PLAN-MMR",
                 "MMR CANDIDATES must be within 1..=16384, got 16385"},
        TreeCase{"RrfKZero", "QUERY FUSION RRF FROM c PREFETCH (QUERY [1]) PARAMS (rrf_k = 1)",
                 [](core::Query& q) { q.params->rrf_k = 0; }, "ZORV-PLAN-RRF-PARAMS",
                 "rrf_k must be at least 1 (OpenAPI Rrf.k minimum)"},
        TreeCase{"MaxSelectivityWithoutAcorn", "QUERY [1] FROM c PARAMS (exact = true)",
                 [](core::Query& q) { q.params->max_selectivity = 0.5; }, "ZORV-PLAN-PARAMS",
                 "max_selectivity requires PARAMS (acorn = true, ...)"},
        TreeCase{"EmptyIdfCorpus", "QUERY [1] FROM c PARAMS (idf = WHERE a = 1)",
                 [](core::Query& q) { q.params->idf->corpus = core::Filter{core::Filter::And{}}; }, "ZORV-PLAN-IDF",
                 "idf corpus filter is empty or has no recognised conditions"},
        TreeCase{"CrossRerankWithoutPrefetch", "QUERY CROSS RERANK 'q' MODEL 'm' FROM c PREFETCH (QUERY [1])",
                 [](core::Query& q) { sources(q).clear(); }, "ZORV-PLAN-CROSS-RERANK-PREFETCH",
                 "CROSS RERANK requires at least one PREFETCH"},
        TreeCase{"CrossRerankEmptyQuery", "QUERY CROSS RERANK 'q' MODEL 'm' FROM c PREFETCH (QUERY [1])",
                 [](core::Query& q) { q.expression.get<EK::CrossRerank>().query.clear(); },
                 "ZORV-PLAN-CROSS-RERANK-QUERY", "CROSS RERANK query text must not be empty"},
        TreeCase{"CrossRerankEmptyModel", "QUERY CROSS RERANK 'q' MODEL 'm' FROM c PREFETCH (QUERY [1])",
                 [](core::Query& q) { q.expression.get<EK::CrossRerank>().model.clear(); },
                 "ZORV-PLAN-CROSS-RERANK-MODEL", "CROSS RERANK MODEL must not be empty"},
        TreeCase{"CrossRerankUnknownCte", "QUERY CROSS RERANK 'q' MODEL 'm' FROM c PREFETCH (QUERY [1])",
                 [](core::Query& q) { sources(q).front().source = core::PrefetchSource::cte("Nope"); },
                 "ZORV-PLAN-CROSS-RERANK-CTE", "PREFETCH references unknown CTE 'Nope'"}),
    [](const testing::TestParamInfo<TreeCase>& info) { return info.param.name; });

TEST(QueryLowering, CrossRerankCandidatesIncludeTheFieldAndInheritTheCollection) {
    auto op = plan_text(
        "WITH Cands AS (QUERY [1] USING v WITH PAYLOAD INCLUDE (title) LIMIT 5) QUERY CROSS RERANK 'q' MODEL 'm' "
        "FROM docs PREFETCH (cands, QUERY [2] USING v WHERE a = 1 WITH PAYLOAD EXCLUDE (text), QUERY [3] FROM other "
        "USING v WHERE b = 2 WITH PAYLOAD INCLUDE (TEXT))");
    ASSERT_TRUE(op.has_value()) << op.error().message;
    const CrossRerankOp& cross = op->get<PlanOpKind::CrossRerank>();
    EXPECT_EQ(cross.field, "text");
    EXPECT_EQ(cross.limit, 10U);
    EXPECT_EQ(cross.offset, 0U);
    ASSERT_EQ(cross.candidates.size(), 3U);
    EXPECT_EQ(cross.candidates[0].collection, "docs");
    EXPECT_EQ(cross.candidates[0].request.with_payload,
              (PlanPayloadSelector{PlanPayloadSelector::Include{{"title", "text"}}}));
    EXPECT_EQ(cross.candidates[1].request.with_payload, (PlanPayloadSelector{PlanPayloadSelector::Exclude{{"text"}}}));
    EXPECT_EQ(cross.candidates[2].collection, "other");
    EXPECT_EQ(cross.candidates[2].request.with_payload, (PlanPayloadSelector{PlanPayloadSelector::Include{{"TEXT"}}}));
}

TEST(QueryLowering, HybridAndRerankAreNoPlainQuerySources) {
    QueryBudget budget;
    auto hybrid = lower_query_source(QueryExpr{QueryExpr::Hybrid{}}, budget);
    ASSERT_FALSE(hybrid.has_value());
    EXPECT_EQ(hybrid.error().code, "ZORV-PLAN-UNSUPPORTED-PREFETCH");
    EXPECT_EQ(hybrid.error().message, "HYBRID must be lowered through the prefetch pipeline");
    auto rerank = lower_query_source(QueryExpr{QueryExpr::Rerank{}}, budget);
    ASSERT_FALSE(rerank.has_value());
    EXPECT_EQ(rerank.error().message, "RERANK must be lowered through the prefetch pipeline");
}

// The pipeline's own words for shapes the statement check refuses first.
TEST(QueryLowering, RerankPipelineRefusesMissingUsingAndPrefetch) {
    auto statement = core::parse_statement("QUERY RERANK VECTOR [1] MODEL 'm' FROM c USING v PREFETCH (QUERY [1])");
    ASSERT_TRUE(statement.has_value());
    core::Query& query = *statement->get<core::StatementKind::Query>();
    auto& rerank = query.expression.get<EK::Rerank>();
    QueryBudget budget;
    const CteScope scope{&query.ctes, 0};
    rerank.prefetch.clear();
    auto no_prefetch = lower_search_pipeline(query, scope, budget, 0);
    ASSERT_FALSE(no_prefetch.has_value());
    EXPECT_EQ(no_prefetch.error().code, "ZORV-PLAN-RERANK-PREFETCH");
    EXPECT_EQ(no_prefetch.error().message, "RERANK requires at least one PREFETCH");
    rerank.using_.reset();
    auto no_using = lower_search_pipeline(query, scope, budget, 0);
    ASSERT_FALSE(no_using.has_value());
    EXPECT_EQ(no_using.error().code, "ZORV-PLAN-RERANK-USING");
    EXPECT_EQ(no_using.error().message, "RERANK requires USING vector name");
}

TEST(QueryLowering, GroupsAssemblyNeedsAGroup) {
    auto statement = core::parse_statement("QUERY [1] FROM c");
    ASSERT_TRUE(statement.has_value());
    const core::Query& query = *statement->get<core::StatementKind::Query>();
    QueryBudget budget;
    auto op = lower_groups_query(query, CteScope{&query.ctes, 0}, budget);
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, "ZORV-PLAN-GROUP");
    EXPECT_EQ(op.error().message, "group required for groups query");
}

TEST(QueryLowering, NonFiniteStartFromAndDefaultsFail) {
    for (const char* text : {"QUERY ORDER BY p START FROM 1 FROM c",
                             "QUERY FORMULA a DEFAULTS (a = 1) FROM c PREFETCH "
                             "(QUERY [1])"}) {
        auto statement = core::parse_statement(text);
        ASSERT_TRUE(statement.has_value()) << text;
        core::Query& query = *statement->get<core::StatementKind::Query>();
        const core::Literal nan = core::Literal::f64(std::numeric_limits<double>::quiet_NaN());
        if (query.expression.is(EK::OrderBy)) {
            query.expression.get<EK::OrderBy>().start_from = nan;
        } else {
            query.expression.get<EK::Formula>().defaults.front().second = nan;
        }
        auto op = plan_statement(*statement);
        ASSERT_FALSE(op.has_value()) << text;
        EXPECT_EQ(op.error().code, "ZORV-PLAN-NON-FINITE") << text;
    }
}

TEST(QueryLowering, ParamsWithOnlyTimeoutLeaveNoSearchParams) {
    auto op = plan_text("QUERY [1] FROM c PARAMS (timeout = 4, consistency = 2)");
    ASSERT_TRUE(op.has_value()) << op.error().message;
    const QueryOp& query = op->get<PlanOpKind::Query>();
    EXPECT_FALSE(query.request.params.has_value());
    EXPECT_FALSE(query.request.limit.has_value());
    EXPECT_EQ(query.timeout, 4U);
    EXPECT_EQ(query.consistency, core::Consistency::factor(2));
}

// WITH c0 AS (...), c1 AS (FUSION over c0 twice), ...: every level doubles what a reference copies.
std::string doubling_chain(int levels, const std::string& base) {
    std::string text = "WITH c0 AS (" + base + ")";
    for (int i = 1; i <= levels; ++i) {
        const std::string prev = "c" + std::to_string(i - 1);
        text += ", c" + std::to_string(i);
        text += " AS (QUERY FUSION RRF PREFETCH (";
        text += prev;
        text += ", ";
        text += prev;
        text += "))";
    }
    return text + " QUERY FUSION RRF FROM d PREFETCH (c" + std::to_string(levels) + ")";
}

TEST(QueryPlanSize, ADoublingCteChainFailsAtOnce) {
    // 2^40 stages: without the cap this would never return.
    auto op = plan_text(doubling_chain(40, "QUERY [1] USING v"));
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, "ZORV-VALIDATION-PLAN-SIZE");
    EXPECT_EQ(op.error().message,
              "query plan expands to more than 10000 prefetch stages; reference each common table expression fewer "
              "times");
    EXPECT_FALSE(op.error().span.has_value());

    // 2^12 copies of the base stage: 8191 stages plan.
    EXPECT_TRUE(plan_text(doubling_chain(12, "QUERY [1] USING v")).has_value());
}

TEST(QueryPlanSize, VectorElementsCopiedByReferencesCount) {
    std::string vector = "[";
    for (int i = 0; i < 1024; ++i) vector += i == 0 ? "0.5" : ", 0.5";
    vector += "]";
    // 2^12 copies of 1024 elements is 4194304 exactly: the cap itself plans.
    EXPECT_TRUE(plan_text(doubling_chain(12, "QUERY " + vector + " USING v")).has_value());
    auto op =
        plan_text(doubling_chain(12, "QUERY RECOMMEND POSITIVE (" + vector + ", [1]) STRATEGY best_score USING v"));
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, "ZORV-VALIDATION-PLAN-SIZE");
    EXPECT_EQ(op.error().message,
              "query plan expands to more than 4194304 vector elements; reference each common table expression "
              "fewer times");
}

// c0 <- c1 <- ... <- c{n-1}, the query prefetching the last: the base stage sits n levels deep.
std::string cte_chain(int depth) {
    std::string text = "WITH c0 AS (QUERY [1] USING v)";
    for (int i = 1; i < depth; ++i)
        text += ", c" + std::to_string(i) + " AS (QUERY [1] USING v PREFETCH (c" + std::to_string(i - 1) + "))";
    return text + " QUERY [1] FROM d USING v PREFETCH (c" + std::to_string(depth - 1) + ")";
}

TEST(QueryNesting, SixtyFourLevelsPlanAndSixtyFiveFail) {
    EXPECT_TRUE(plan_text(cte_chain(64)).has_value());
    auto op = plan_text(cte_chain(65));
    ASSERT_FALSE(op.has_value());
    EXPECT_EQ(op.error().code, "ZORV-VALIDATION-NESTING");
    EXPECT_EQ(op.error().kind, core::ErrorKind::Validation);
    EXPECT_EQ(op.error().message,
              "query nesting exceeds the supported depth of 64 levels; flatten the CTE / PREFETCH chain");
}

TEST(BatchHeaderParams, KeepTimeoutAndConsistencyAndRefuseSearchFields) {
    EXPECT_EQ(batch_header_params(std::nullopt), BatchHeaderParams{});
    core::SearchParams params;
    params.timeout = 3;
    params.consistency = core::Consistency::quorum();
    EXPECT_EQ(batch_header_params(params), (BatchHeaderParams{3, core::Consistency::quorum()}));
    params.rrf_k = 2;
    params.exact = true;
    auto refused = batch_header_params(params);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().code, "ZORV-VALIDATION-BATCH-PARAMS");
    EXPECT_EQ(refused.error().message,
              "PARAMS exact has no representation on a BATCH header; keep it on member queries");
}

}  // namespace
}  // namespace zorv::plan
