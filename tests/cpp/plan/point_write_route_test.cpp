// Point mutations and update batches, from statement text to the REST request they compile to.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "core/error.h"
#include "core/parser/parser.h"
#include "plan/batch.h"
#include "plan/compile_route.h"
#include "plan/json_read.h"
#include "plan/json_write.h"
#include "plan/planner.h"
#include "plan/rest/batch_body.h"
#include "plan/rest/point_body.h"
#include "plan/rest/query_body.h"
#include "plan/rest/route.h"

namespace zorv::plan {
namespace {

struct WriteCase {
    const char* text;
    const char* stmt_type;
    HttpMethod method;
    const char* path;
    const char* wait;
    const char* body;  // compact value-form text
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.text; }

PlanOp must_plan(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement) << text;
    if (!statement) return PlanOp{};
    auto op = plan_statement(*statement);
    EXPECT_TRUE(op) << text << ": " << (op ? "" : core::format_error(op.error()));
    return op ? std::move(*op) : PlanOp{};
}

class PointWriteRoutes : public testing::TestWithParam<WriteCase> {};

TEST_P(PointWriteRoutes, CompileToTheirRequest) {
    const WriteCase& c = GetParam();
    auto statement = core::parse_statement(c.text);
    ASSERT_TRUE(statement) << core::format_error(statement.error());
    auto route = compile_route(*statement);
    ASSERT_TRUE(route) << core::format_error(route.error());
    EXPECT_EQ(route->stmt_type, c.stmt_type);
    const auto* request = std::get_if<RestRequest>(&route->target);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(request->method, c.method);
    EXPECT_EQ(request->path, c.path);
    EXPECT_EQ(request->query, (QueryParams{{"wait", c.wait}}));
    ASSERT_TRUE(request->body.has_value());
    EXPECT_EQ(json_text(*request->body), c.body);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PointWriteRoutes,
    testing::Values(
        WriteCase{"UPSERT INTO docs VALUES {id: 1, vector: [0.5, 0.25], city: 'x'}", "upsert", HttpMethod::Put,
                  "/collections/docs/points", "false",
                  R"({"points":[{"id":1,"payload":{"city":"x"},"vector":[0.5,0.25]}]})"},
        // A point without vectors still carries the member: Qdrant refuses a point without it.
        WriteCase{"UPSERT INTO 'my docs' VALUES {id: 2}, {id: 3, vector: {b: [3], a: [2]}} UPDATE FILTER v < 3 "
                  "UPDATE MODE insert_only SHARD 'eu' WAIT true",
                  "upsert", HttpMethod::Put, "/collections/my%20docs/points", "true",
                  R"({"points":[{"id":2,"vector":{}},{"id":3,"vector":{"a":[2.0],"b":[3.0]}}],"shard_key":"eu",)"
                  R"("update_filter":{"must":[{"key":"v","range":{"lt":3}}]},"update_mode":"insert_only"})"},
        WriteCase{"UPSERT INTO d VALUES {id: 4, vector: {s: {indices: [7, 1], values: [0.5, 0.25]}, "
                  "t: {text: 'tea', options: {lang: 'en'}}}} EMBED body INTO x",
                  "upsert", HttpMethod::Put, "/collections/d/points", "true",
                  R"({"points":[{"id":4,"vector":{"s":{"indices":[7,1],"values":[0.5,0.25]},)"
                  R"("t":{"model":"","options":{"lang":"en"},"text":"tea"}}}]})"},
        WriteCase{"DELETE FROM docs WHERE id = 2", "delete", HttpMethod::Post, "/collections/docs/points/delete",
                  "true", R"({"points":[2]})"},
        WriteCase{"DELETE FROM docs WHERE city = 'x' SHARD 3 WAIT false", "delete", HttpMethod::Post,
                  "/collections/docs/points/delete", "false",
                  R"({"filter":{"must":[{"key":"city","match":{"value":"x"}}]},"shard_key":3})"},
        WriteCase{"CLEAR PAYLOAD FROM docs WHERE id IN (1, 1, 2)", "clear_payload", HttpMethod::Post,
                  "/collections/docs/points/payload/clear", "true", R"({"points":[1,1,2]})"},
        WriteCase{"UPDATE docs SET PAYLOAD = {a: 1} WHERE id = 1", "update_payload", HttpMethod::Post,
                  "/collections/docs/points/payload", "true", R"({"payload":{"a":1},"points":[1]})"},
        WriteCase{"UPDATE docs SET PAYLOAD = {a: 1} OVERWRITE WHERE id = 1", "overwrite_payload", HttpMethod::Put,
                  "/collections/docs/points/payload", "true", R"({"payload":{"a":1},"points":[1]})"},
        WriteCase{"UPDATE docs SET PAYLOAD = {} KEY 'meta.flags' WHERE id = 1 WAIT false", "update_payload",
                  HttpMethod::Post, "/collections/docs/points/payload", "false",
                  R"({"key":"meta.flags","payload":{},"points":[1]})"},
        WriteCase{"DELETE PAYLOAD b, a, b FROM docs WHERE id = 1", "delete_payload", HttpMethod::Post,
                  "/collections/docs/points/payload/delete", "true", R"({"keys":["b","a","b"],"points":[1]})"},
        WriteCase{"UPDATE docs SET VECTOR VALUES {id: 10, vector: {t: [0.5]}}, {id: 9, vector: [[1, 2], [3, 4]]}",
                  "update_vector", HttpMethod::Put, "/collections/docs/points/vectors", "true",
                  R"({"points":[{"id":10,"vector":{"t":[0.5]}},{"id":9,"vector":[[1.0,2.0],[3.0,4.0]]}]})"},
        WriteCase{"DELETE VECTOR b, a FROM docs WHERE lang = 'en' SHARD 'eu'", "delete_vector", HttpMethod::Post,
                  "/collections/docs/points/vectors/delete", "true",
                  R"({"filter":{"must":[{"key":"lang","match":{"value":"en"}}]},"shard_key":"eu","vector":["b","a"]})"},
        WriteCase{"BATCH { UPSERT INTO docs VALUES {id: 1, vector: [0.5]}; DELETE FROM docs WHERE id = 2 }",
                  "update_batch", HttpMethod::Post, "/collections/docs/points/batch", "true",
                  R"({"operations":[{"upsert":{"points":[{"id":1,"vector":[0.5]}]}},{"delete":{"points":[2]}}]})"},
        WriteCase{"BATCH { UPDATE d SET PAYLOAD = {a: 1} OVERWRITE WHERE id = 1; "
                  "UPDATE d SET PAYLOAD = {b: 2} WHERE id = 1 } WAIT false",
                  "update_batch", HttpMethod::Post, "/collections/d/points/batch", "false",
                  R"({"operations":[{"overwrite_payload":{"payload":{"a":1},"points":[1]}},)"
                  R"({"set_payload":{"payload":{"b":2},"points":[1]}}]})"}));

// The text form writes the same document as the value form, in Qdrant's key order and with
// entries as written.
TEST(PointWriteBodies, TextFormReadsBackAsTheValueForm) {
    const PlanOp op = must_plan(
        "BATCH { UPSERT INTO d VALUES {id: 1, vector: {b: [0.5], a: {indices: [2], values: [0.25]}}, k: {x: [1, 2]}},"
        " {id: 2}; DELETE FROM d WHERE a = 1 OR id IN (3); CLEAR PAYLOAD FROM d WHERE id = 4;"
        " DELETE PAYLOAD k FROM d WHERE id = 5; UPDATE d SET PAYLOAD = {z: null} KEY 'm' WHERE id = 6 SHARD 'eu';"
        " UPDATE d SET VECTOR VALUES {id: 7, vector: {i: {object: {q: 1}, model: 'm'}}};"
        " DELETE VECTOR a FROM d WHERE id = 8 }");
    const auto batch = update_batch_from_members(op.get<PlanOpKind::Batch>().members);
    ASSERT_TRUE(batch);
    std::string text;
    write_update_batch_body(text, batch->operations);
    EXPECT_EQ(text.substr(0, 64), R"({"operations":[{"upsert":{"points":[{"id":1,"vector":{"b":[0.5],)");
    const auto read = test_support::JsonReader(text).read_document();
    ASSERT_TRUE(read) << text;
    // The reader cannot tell signed from unsigned integers; the sorted text of both trees can.
    EXPECT_EQ(json_text(*read), json_text(update_batch_body(batch->operations))) << text;
}

TEST(PointWriteBodies, FormsDifferOnlyWhereTheyShould) {
    struct Case {
        const char* row;
        const char* text;
        const char* value;
    };
    for (const Case& c : {
             Case{"{id: 1, vector: {b: [1], a: [2]}}", R"({"b":[1.0],"a":[2.0]})", R"({"a":[2.0],"b":[1.0]})"},
             // Sparse values keep their 32-bit digits in text; dense elements are widened in both.
             Case{"{id: 1, vector: {s: {indices: [1], values: [0.1]}}}", R"({"s":{"indices":[1],"values":[0.1]}})",
                  R"({"s":{"indices":[1],"values":[0.10000000149011612]}})"},
             Case{"{id: 1, vector: [0.1]}", "[0.10000000149011612]", "[0.10000000149011612]"},
             Case{"{id: 1, vector: {}}", "{}", "{}"},
             Case{"{id: 1, vector: {image: 'https://x/y.png'}}", R"({"image":"https://x/y.png","model":""})",
                  R"({"image":"https://x/y.png","model":""})"},
         }) {
        const PlanOp op = must_plan(std::string("UPSERT INTO d VALUES ") + c.row);
        const PlanPoint& point = op.get<PlanOpKind::Upsert>().request.points.at(0);
        ASSERT_TRUE(point.vector) << c.row;
        std::string text;
        write_vector_struct(text, *point.vector);
        EXPECT_EQ(text, c.text) << c.row;
        EXPECT_EQ(json_text(point_vectors_to_value(*point.vector)), c.value) << c.row;
    }
}

TEST(PointWriteBodies, QueryInputsAndPlaceholders) {
    EXPECT_EQ(json_text(query_input_to_value(PlanQueryInput{PlanPointId{std::string("u")}})), R"("u")");
    EXPECT_EQ(json_text(query_input_to_value(PlanQueryInput{PlanPointId{std::uint64_t{7}}})), "7");
    EXPECT_EQ(json_text(vector_to_value(PlanVector{core::Placeholder::named("v")})), R"(":v")");
    std::string text;
    write_query_input(text, PlanQueryInput{PlanVector{core::Placeholder::positional(2)}});
    EXPECT_EQ(text, R"("?2")");
    const PlanVector nan{core::VectorValue::Dense{{std::numeric_limits<float>::quiet_NaN(), 1.0F}}};
    EXPECT_EQ(json_text(vector_to_value(nan)), "[null,1.0]");
}

TEST(UpdateBatchRoute, MembersThatDoNotFormOneBatchAreRefused) {
    PlanBatch batch{"c", {}};
    batch.key = BatchKey{BatchKey::Mutation{"c", true}};
    batch.members.push_back(make_op<PlanOpKind::Delete>(PointSelectionOp{"c", true, {}}));
    batch.members.push_back(make_op<PlanOpKind::Delete>(PointSelectionOp{"c", false, {}}));
    EXPECT_EQ(plan_to_rest_request(make_op<PlanOpKind::Batch>(batch)).error(),
              RouteError{RouteError::BatchInvariant{"mutation batch members disagree on wait"}});
}

}  // namespace
}  // namespace zorv::plan
