#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "plan/json_write.h"
#include "plan/rest/query_body.h"
#include "plan/rest/route.h"

namespace zorv::plan {
namespace {

PlanQueryInput dense(std::vector<float> values) {
    return PlanQueryInput{core::VectorValue{core::VectorValue::Dense{std::move(values)}}};
}

std::string text_form(const PlanQueryRequest& request) {
    std::string out;
    write_query_request(out, request);
    return out;
}

TEST(QueryRequestBody, BareNearestWritesOnlyTheQuery) {
    PlanQueryRequest request{PlanQuery{PlanQuery::Nearest{dense({0.5F}), std::nullopt}}};
    EXPECT_EQ(json_text(query_request_to_value(request)), R"({"query":{"nearest":[0.5]}})");
    EXPECT_EQ(text_form(request), R"({"query":{"nearest":[0.5]}})");
}

// The text form keeps the documented member order; the value form sorts the keys.
TEST(QueryRequestBody, TextFormKeepsMemberOrderAndValueFormSortsKeys) {
    PlanQueryRequest request{PlanQuery{PlanQuery::Rrf{}}};
    PlanPrefetch empty_stage;
    PlanPrefetch nested;
    nested.prefetch.emplace();
    nested.limit = 3;
    request.prefetch = {empty_stage, nested};
    request.using_ = "v";
    PlanSearchParams params;
    params.acorn = PlanAcorn{true, std::nullopt};
    params.quantization.emplace();
    request.params = params;
    request.score_threshold = std::numeric_limits<double>::quiet_NaN();
    request.with_payload = PlanPayloadSelector{PlanPayloadSelector::Exclude{{"raw"}}};
    request.with_vector = PlanVectorSelector{std::vector<std::string>{"a", "b"}};
    request.limit = 10;
    request.offset = 0;
    request.lookup_from = PlanLookupLocation{"other", std::nullopt, PlanShardKey{std::uint64_t{4}}};
    request.shard_key = PlanShardKey{std::string("eu")};
    EXPECT_EQ(text_form(request), R"({"query":{"rrf":{}},"using":"v","prefetch":[{},{"limit":3,"prefetch":[]}],)"
                                  R"("params":{"acorn":{"enable":true},"quantization":{}},"score_threshold":null,)"
                                  R"("with_payload":{"exclude":["raw"]},"with_vector":["a","b"],"limit":10,"offset":0,)"
                                  R"("lookup_from":{"collection":"other","shard_key":4},"shard_key":"eu"})");
    EXPECT_EQ(json_text(query_request_to_value(request)),
              R"({"limit":10,"lookup_from":{"collection":"other","shard_key":4},"offset":0,)"
              R"("params":{"acorn":{"enable":true},"quantization":{}},"prefetch":[{},{"limit":3,"prefetch":[]}],)"
              R"("query":{"rrf":{}},"score_threshold":null,"shard_key":"eu","using":"v",)"
              R"("with_payload":{"exclude":["raw"]},"with_vector":["a","b"]})");
}

TEST(QueryInputBody, InferenceInputsAlwaysCarryAModelAndSparseValuesKeepTheirDigits) {
    core::VectorValue::Document document{"hello", std::nullopt, {}};
    PlanQueryInput input{core::VectorValue{document}};
    EXPECT_EQ(json_text(query_input_to_value(input)), R"({"model":"","text":"hello"})");
    std::string text;
    write_query_input(text, input);
    EXPECT_EQ(text, R"({"text":"hello","model":""})");

    PlanQueryInput sparse{core::VectorValue{core::VectorValue::Sparse{{3, 1}, {0.1F, 2.0F}}}};
    text.clear();
    write_query_input(text, sparse);
    EXPECT_EQ(text, R"({"indices":[3,1],"values":[0.1,2.0]})");
    EXPECT_EQ(json_text(query_input_to_value(sparse)), R"({"indices":[3,1],"values":[0.10000000149011612,2.0]})");
    EXPECT_EQ(json_text(query_input_to_value(PlanQueryInput{PlanPointId{std::string("u")}})), R"("u")");
    EXPECT_EQ(json_text(query_input_to_value(dense({std::numeric_limits<float>::infinity()}))), "[null]");
}

TEST(QueryBatchBody, OneSearchPerMemberInBothForms) {
    PlanQueryRequest first{PlanQuery{PlanQuery::Sample{}}};
    first.limit = 2;
    PlanQueryRequest second{PlanQuery{PlanQuery::Fusion{"dbsf"}}};
    EXPECT_EQ(json_text(query_batch_body({first, second})),
              R"({"searches":[{"limit":2,"query":{"sample":"random"}},{"query":{"fusion":"dbsf"}}]})");
    std::string text;
    write_query_batch_body(text, {first, second});
    EXPECT_EQ(text, R"({"searches":[{"query":{"sample":"random"},"limit":2},{"query":{"fusion":"dbsf"}}]})");
    EXPECT_EQ(json_text(query_batch_body({})), R"({"searches":[]})");
}

TEST(ScrollRoute, SendsTheNextPageOffsetAndTheSelectors) {
    ScrollOp scroll;
    scroll.collection = "docs";
    scroll.offset = PlanPointId{std::uint64_t{42}};
    scroll.limit = 10;
    auto request = plan_to_rest_request(make_op<PlanOpKind::Scroll>(scroll));
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(request->method, HttpMethod::Post);
    EXPECT_EQ(request->path, "/collections/docs/points/scroll");
    EXPECT_TRUE(request->query.empty());
    EXPECT_EQ(json_text(*request->body), R"({"limit":10,"offset":42,"with_payload":true,"with_vector":false})");

    scroll.offset.reset();
    scroll.order_by = PlanOrderBy{"price", "desc", core::Literal::int64(10)};
    scroll.with_payload = PlanPayloadSelector{PlanPayloadSelector::Include{{"a"}}};
    scroll.shard_key = PlanShardKey{std::uint64_t{1}};
    request = plan_to_rest_request(make_op<PlanOpKind::Scroll>(scroll));
    ASSERT_TRUE(request.has_value());
    EXPECT_EQ(json_text(*request->body),
              R"({"limit":10,"order_by":{"direction":"desc","key":"price","start_from":10},"shard_key":1,)"
              R"("with_payload":{"include":["a"]},"with_vector":false})");
}

}  // namespace
}  // namespace zorv::plan
