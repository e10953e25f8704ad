#include <google/protobuf/text_format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/parser/parser.h"
#include "plan/planner.h"
#include "runtime/grpc_route/formula_proto.h"
#include "runtime/grpc_route/query_request.h"
#include "runtime/grpc_route/read_requests.h"

namespace zorv::runtime::rpc {
namespace {

using core::Literal;

plan::PlanOp plan_of(std::string_view statement) {
    auto parsed = core::parse_statement(statement);
    EXPECT_TRUE(parsed.has_value()) << statement;
    auto op = plan::plan_statement(*parsed);
    EXPECT_TRUE(op.has_value()) << statement << ": " << (op ? "" : op.error().message);
    return std::move(*op);
}

core::Result<qdrant::QueryPoints> query_of(std::string_view statement) {
    plan::PlanOp op = plan_of(statement);
    const auto& query = op.get<plan::PlanOpKind::Query>();
    return build_query_points(query.request, query.collection);
}

std::string text_of(const google::protobuf::Message& message) { return message.ShortDebugString(); }

void expect_refused(const core::ZorvError& error, std::string_view code, std::string_view message) {
    EXPECT_EQ(error.code, code);
    EXPECT_EQ(error.message, message);
    EXPECT_EQ(error.kind, core::ErrorKind::Validation);
    EXPECT_FALSE(error.span.has_value());
    EXPECT_TRUE(error.fields.empty());
}

// Closed sets of words are matched exactly: a word in other letter case is refused, never guessed.
TEST(GrpcReadRequest, WordsMatchExactly) {
    struct Case {
        std::string_view word;
        std::optional<int> value;
    };
    for (const Case& c : std::vector<Case>{{"asc", 0}, {"desc", 1}, {"DESC", {}}, {"Asc", {}}, {"", {}}}) {
        SCOPED_TRACE(c.word);
        auto order = order_by_to_proto("price", std::string(c.word), Literal::str("yesterday"));
        if (c.value) {
            // The direction passes; the START FROM text is what fails next.
            ASSERT_FALSE(order.has_value());
            EXPECT_EQ(order.error().code, "ZORV-GRPC-START-FROM");
            auto plain = order_by_to_proto("price", std::string(c.word), std::nullopt);
            ASSERT_TRUE(plain.has_value());
            EXPECT_EQ(static_cast<int>(plain->direction()), *c.value);
            continue;
        }
        ASSERT_FALSE(order.has_value());
        expect_refused(order.error(), "ZORV-GRPC-DIRECTION",
                       "unsupported order_by direction '" + std::string(c.word) +
                           "' on the gRPC path; use 'asc' or 'desc'");
    }
    EXPECT_FALSE(order_by_to_proto("k", std::nullopt, std::nullopt)->has_direction());

    for (const Case& c : std::vector<Case>{{"rrf", 0}, {"dbsf", 1}, {"RRF", {}}, {"Dbsf", {}}}) {
        SCOPED_TRACE(c.word);
        auto query = query_to_proto(plan::PlanQuery{plan::PlanQuery::Fusion{std::string(c.word)}});
        if (c.value) {
            ASSERT_TRUE(query.has_value());
            EXPECT_EQ(static_cast<int>(query->fusion()), *c.value);
            continue;
        }
        ASSERT_FALSE(query.has_value());
        expect_refused(query.error(), "ZORV-GRPC-FUSION",
                       "unsupported fusion method '" + std::string(c.word) + "' on the gRPC path");
    }

    for (const Case& c : std::vector<Case>{
             {"average_vector", 0}, {"best_score", 1}, {"sum_scores", 2}, {"Best_Score", {}}, {"best score", {}}}) {
        SCOPED_TRACE(c.word);
        auto strategy = recommend_strategy_to_proto(c.word);
        if (c.value) {
            ASSERT_TRUE(strategy.has_value());
            EXPECT_EQ(static_cast<int>(*strategy), *c.value);
            continue;
        }
        ASSERT_FALSE(strategy.has_value());
        expect_refused(strategy.error(), "ZORV-GRPC-STRATEGY",
                       "unsupported recommend strategy '" + std::string(c.word) +
                           "' on the gRPC path; use average_vector, best_score, or sum_scores");
    }
}

TEST(GrpcReadRequest, StartFromKinds) {
    const std::string representation =
        "' cannot be represented on the gRPC path; use an integer, float, or "
        "ISO-8601 datetime";
    struct Case {
        Literal value;
        std::string wire;   // the StartFrom sent, or empty when refused
        std::string error;  // the message when refused
    };
    const std::vector<Case> cases = {
        {Literal::int64(-5), "integer: -5", ""},
        {Literal::uint64(9'223'372'036'854'775'807ULL), "integer: 9223372036854775807", ""},
        {Literal::uint64(9'223'372'036'854'775'808ULL), "",
         "order_by START FROM integer 9223372036854775808 cannot be represented on the gRPC path: the bundled "
         "Qdrant proto stores it as int64 (max 9223372036854775807)"},
        {Literal::f64(1.5), "float: 1.5", ""},
        {Literal::str("2024-01-31"), "datetime: \"2024-01-31\"", ""},
        {Literal::str("2024-01-31 10:00:00.5+02:00"), "datetime: \"2024-01-31 10:00:00.5+02:00\"", ""},
        {Literal::str("yesterday"), "",
         "order_by START FROM \"yesterday\" cannot be represented on the gRPC path; use an integer, float, or "
         "ISO-8601 datetime"},
        {Literal::boolean(true), "",
         "order_by START FROM true cannot be represented on the gRPC path; use an integer, float, or ISO-8601 "
         "datetime"},
        {Literal::null(), "",
         "order_by START FROM null cannot be represented on the gRPC path; use an integer, float, or ISO-8601 "
         "datetime"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wire + c.error);
        auto order = order_by_to_proto("at", std::string("desc"), c.value);
        if (c.error.empty()) {
            ASSERT_TRUE(order.has_value()) << order.error().message;
            EXPECT_EQ(text_of(order->start_from()), c.wire);
        } else {
            ASSERT_FALSE(order.has_value());
            expect_refused(order.error(), "ZORV-GRPC-START-FROM", c.error);
        }
    }
}

TEST(GrpcReadRequest, NarrowFieldsAreCheckedNotCut) {
    plan::ScrollOp scroll;
    scroll.collection = "c";
    scroll.limit = 4'294'967'295ULL;
    auto sent = build_scroll_points(scroll);
    ASSERT_TRUE(sent.has_value());
    EXPECT_EQ(sent->limit(), 4'294'967'295U);
    scroll.limit = 4'294'967'296ULL;
    auto refused = build_scroll_points(scroll);
    ASSERT_FALSE(refused.has_value());
    expect_refused(refused.error(), "ZORV-GRPC-SCROLL-LIMIT",
                   "scroll limit 4294967296 cannot be represented on the gRPC path: the bundled Qdrant proto stores "
                   "scroll limit as uint32 (max 4294967295)");

    struct Case {
        std::optional<std::uint64_t> k;
        std::optional<std::vector<double>> weights;
        std::string wire;
        std::string code;
        std::string error;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Case> cases = {
        {4'294'967'295ULL, std::vector<double>{0.5, 2}, "rrf { k: 4294967295 weights: 0.5 weights: 2 }", "", ""},
        {std::nullopt, std::nullopt, "rrf { }", "", ""},
        {4'294'967'296ULL, std::vector<double>{0.1}, "", "ZORV-GRPC-RRF-K",
         "rrf_k = 4294967296 cannot be represented on the gRPC path: the bundled Qdrant proto stores k as uint32 "
         "(max 4294967295)"},
        {60, std::vector<double>{0.1, 1}, "", "ZORV-GRPC-RRF-WEIGHT",
         "rrf_weights value 0.1 cannot be represented exactly on the gRPC path: the bundled Qdrant proto stores "
         "weights as f32"},
        {std::nullopt, std::vector<double>{1, nan}, "", "ZORV-GRPC-RRF-WEIGHT",
         "rrf_weights value nan cannot be represented exactly on the gRPC path: the bundled Qdrant proto stores "
         "weights as f32"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wire + c.error);
        auto query = query_to_proto(plan::PlanQuery{plan::PlanQuery::Rrf{c.k, c.weights}});
        if (c.code.empty()) {
            ASSERT_TRUE(query.has_value()) << query.error().message;
            EXPECT_EQ(text_of(*query), c.wire);
        } else {
            ASSERT_FALSE(query.has_value());
            expect_refused(query.error(), c.code, c.error);
        }
    }
}

// Each query form reaches the wire as its own variant, with what REST would send of it.
TEST(GrpcReadRequest, QueryVariants) {
    struct Case {
        std::string_view statement;
        std::string_view query;  // the Query message sent
    };
    const std::vector<Case> cases = {
        {"QUERY [0.5, 0.25] FROM c LIMIT 3", "nearest { dense { data: 0.5 data: 0.25 } }"},
        {"QUERY MMR [0.5, 0.25] DIVERSITY 0.5 CANDIDATES 20 FROM c LIMIT 3",
         "nearest_with_mmr { nearest { dense { data: 0.5 data: 0.25 } } mmr { diversity: 0.5 candidates_limit: 20 "
         "} }"},
        {"QUERY RECOMMEND POSITIVE (1, 2) NEGATIVE (3) STRATEGY best_score FROM c LIMIT 3",
         "recommend { positive { id { num: 1 } } positive { id { num: 2 } } negative { id { num: 3 } } strategy: "
         "RECOMMEND_BEST_SCORE }"},
        {"QUERY RECOMMEND POSITIVE (1) FROM c LIMIT 3", "recommend { positive { id { num: 1 } } }"},
        {"QUERY CONTEXT (POSITIVE POINT 1 NEGATIVE POINT 2) FROM c LIMIT 3",
         "context { pairs { positive { id { num: 1 } } negative { id { num: 2 } } } }"},
        {"QUERY DISCOVER TARGET POINT 5 CONTEXT (POSITIVE POINT 1 NEGATIVE POINT 2) FROM c LIMIT 3",
         "discover { target { id { num: 5 } } context { pairs { positive { id { num: 1 } } negative { id { num: 2 } "
         "} } } }"},
        {"QUERY ORDER BY price DESC START FROM 10 FROM c LIMIT 3",
         "order_by { key: \"price\" direction: DIRECTION_DESC start_from { integer: 10 } }"},
        {"QUERY SAMPLE RANDOM FROM c LIMIT 3", "sample: SAMPLE_RANDOM"},
        {"QUERY FUSION DBSF FROM c PREFETCH (QUERY [1] LIMIT 5, QUERY [2] LIMIT 5) LIMIT 3", "fusion: FUSION_DBSF"},
        {"QUERY FUSION RRF FROM c PREFETCH (QUERY [1] LIMIT 5, QUERY [2] LIMIT 5) PARAMS (rrf_k = 60, rrf_weights = "
         "[0.5, 2]) LIMIT 3",
         "rrf { k: 60 weights: 0.5 weights: 2 }"},
        {"QUERY RELEVANCE FEEDBACK TARGET POINT 1 FEEDBACK ((POINT 2, 0.5)) STRATEGY NAIVE (a = 1, b = 0.5, c = 0.25) "
         "FROM c LIMIT 3",
         "relevance_feedback { target { id { num: 1 } } feedback { example { id { num: 2 } } score: 0.5 } strategy "
         "{ naive { a: 1 b: 0.5 c: 0.25 } } }"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statement);
        auto request = query_of(c.statement);
        ASSERT_TRUE(request.has_value()) << request.error().message;
        EXPECT_EQ(text_of(request->query()), c.query);
    }
}

TEST(GrpcReadRequest, RequestFields) {
    auto plain = query_of("QUERY [0.5] FROM c");
    ASSERT_TRUE(plain.has_value());
    // No prefetch, no limit: nothing invented.
    EXPECT_EQ(plain->prefetch_size(), 0);
    EXPECT_FALSE(plain->has_limit());
    EXPECT_FALSE(plain->has_lookup_from());

    auto full = query_of(
        "QUERY RECOMMEND POSITIVE (1) FROM c USING v PREFETCH (QUERY [1] USING w LIMIT 50 LOOKUP FROM other VECTOR "
        "img SHARD 'eu') SHARD 3 PARAMS (hnsw_ef = 64, exact = false, quantization = {rescore: true, oversampling: "
        "1.5}, idf = global) SCORE THRESHOLD 0.1 WITH PAYLOAD INCLUDE (a, b) WITH VECTOR (v) LIMIT 5 OFFSET 2");
    ASSERT_TRUE(full.has_value()) << full.error().message;
    // The ids of the request's inputs are looked up where its first stage looks them up, as over REST.
    const std::string lookup =
        "collection_name: \"other\" vector_name: \"img\" shard_key_selector { shard_keys { keyword: \"eu\" } }";
    EXPECT_EQ(text_of(full->lookup_from()), lookup);
    EXPECT_EQ(text_of(full->prefetch(0)),
              "query { nearest { dense { data: 1 } } } using: \"w\" limit: 50 lookup_from { " + lookup + " }");
    EXPECT_EQ(full->score_threshold(), 0.1F);
    EXPECT_EQ(text_of(full->with_payload()), "include { fields: \"a\" fields: \"b\" }");
    EXPECT_EQ(text_of(full->with_vectors()), "include { names: \"v\" }");
    EXPECT_EQ(text_of(full->shard_key_selector()), "shard_keys { number: 3 }");
    EXPECT_EQ(text_of(full->params()),
              "hnsw_ef: 64 exact: false quantization { rescore: true oversampling: 1.5 } idf { }");
    EXPECT_EQ(full->limit(), 5U);
    EXPECT_EQ(full->offset(), 2U);

    plan::PlanOp groups_op = plan_of(
        "QUERY [0.5] FROM c PARAMS (timeout = 40, consistency = majority) GROUP BY city SIZE 2 LOOKUP FROM cities "
        "WITH PAYLOAD INCLUDE (name) WITH VECTOR false LIMIT 5 OFFSET 1");
    auto groups = build_query_point_groups(groups_op.get<plan::PlanOpKind::QueryGroups>());
    ASSERT_TRUE(groups.has_value()) << groups.error().message;
    EXPECT_EQ(groups->group_by(), "city");
    EXPECT_EQ(groups->group_size(), 2U);
    EXPECT_EQ(groups->limit(), 6U);
    EXPECT_EQ(text_of(groups->with_lookup()),
              "collection: \"cities\" with_payload { include { fields: \"name\" } } with_vectors { enable: false }");
    EXPECT_EQ(text_of(groups->read_consistency()), "type: CONSISTENCY_MAJORITY");
    EXPECT_EQ(groups->timeout(), 40U);

    auto count = build_count_points(plan_of("COUNT FROM c").get<plan::PlanOpKind::Count>());
    ASSERT_TRUE(count.has_value());
    EXPECT_TRUE(count->has_exact() && count->exact());
    auto facet = build_facet_counts(plan_of("FACET city FROM c").get<plan::PlanOpKind::Facet>());
    ASSERT_TRUE(facet.has_value());
    EXPECT_FALSE(facet->has_exact());
    EXPECT_FALSE(facet->has_limit());
    const qdrant::GetPoints get =
        build_get_points(plan_of("QUERY POINTS (7, '550e8400-e29b-41d4-a716-446655440000') FROM c WITH PAYLOAD false")
                             .get<plan::PlanOpKind::GetPoints>());
    EXPECT_EQ(text_of(get),
              "collection_name: \"c\" ids { num: 7 } ids { uuid: \"550e8400-e29b-41d4-a716-446655440000\" } "
              "with_payload { enable: false }");
}

// An IDF corpus the filter conversion refuses fails the request: the global corpus instead would
// score against other points than asked for.
TEST(GrpcReadRequest, IdfCorpusRefusalFailsTheRequest) {
    plan::PlanFieldCondition condition;
    condition.key = "price";
    condition.match = plan::PlanMatch::make<plan::PlanMatch::Kind::Value>(Literal::f64(2.5));
    plan::PlanClauses clauses;
    clauses.must.push_back(plan::PlanCondition{
        plan::PlanCondition::Node(std::in_place_index<0>, core::Box<plan::PlanFieldCondition>(std::move(condition)))});
    plan::PlanSearchParams params;
    params.idf = plan::PlanIdf{plan::PlanFilter::of(std::move(clauses))};
    auto refused = search_params_to_proto(params);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().code, "ZORV-GRPC-FLOAT-MATCH");
    params.idf = plan::PlanIdf{};
    auto global = search_params_to_proto(params);
    ASSERT_TRUE(global.has_value());
    EXPECT_TRUE(global->has_idf() && !global->idf().has_corpus());
}

TEST(GrpcReadRequest, FormulaNodes) {
    struct Case {
        std::string_view formula;
        std::string_view expression;
    };
    const std::vector<Case> cases = {
        {"a - b", "sum { sum { variable: \"a\" } sum { neg { variable: \"b\" } } }"},
        {"1e39", "constant: inf"},
        {"0.1", "constant: 0.1"},
        {"CASE WHEN x = 1 THEN a ELSE b END",
         "sum { sum { mult { mult { condition { field { key: \"x\" match { integer: 1 } } } } mult { variable: "
         "\"a\" } } } sum { mult { mult { sum { sum { constant: 1 } sum { neg { condition { field { key: \"x\" "
         "match { integer: 1 } } } } } } } mult { variable: \"b\" } } } }"},
        {"lin_decay(x)", "lin_decay { x { variable: \"x\" } }"},
        {"a / b [DEFAULT = 0]", "div { left { variable: \"a\" } right { variable: \"b\" } by_zero_default: 0 }"},
        {"acosh(a) + max(a, b) + min(a)",
         "sum { sum { sum { sum { acosh { variable: \"a\" } } sum { max { max { variable: \"a\" } max { variable: "
         "\"b\" } } } } } sum { min { min { variable: \"a\" } } } }"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.formula);
        auto request = query_of("QUERY FORMULA " + std::string(c.formula) + " FROM c PREFETCH (QUERY [1] LIMIT 5)");
        ASSERT_TRUE(request.has_value()) << request.error().message;
        EXPECT_EQ(text_of(request->query().formula().expression()), c.expression);
    }

    auto defaults = query_of(
        "QUERY FORMULA a + b DEFAULTS (a = null, b = [1, 2.5], c = {d: 'x'}) FROM c PREFETCH "
        "(QUERY [1] LIMIT 5)");
    ASSERT_TRUE(defaults.has_value()) << defaults.error().message;
    const auto& sent = defaults->query().formula().defaults();
    EXPECT_EQ(text_of(sent.at("a")), "");
    EXPECT_EQ(text_of(sent.at("b")), "list_value { values { integer_value: 1 } values { double_value: 2.5 } }");
    EXPECT_EQ(text_of(sent.at("c")), "struct_value { fields { key: \"d\" value { string_value: \"x\" } } }");
}

}  // namespace
}  // namespace zorv::runtime::rpc
