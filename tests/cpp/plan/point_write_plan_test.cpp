// SCROLL and the point mutations as plan operations: offsets, waits, selectors and refusals.
#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "core/error.h"
#include "core/parser/parser.h"
#include "plan/batch.h"
#include "plan/planner.h"
#include "plan/scroll.h"
#include "plan/upsert.h"

namespace zorv::plan {
namespace {

core::Result<PlanOp> plan_text(const std::string& text) {
    auto statement = core::parse_statement(text);
    EXPECT_TRUE(statement) << text << ": " << (statement ? "" : core::format_error(statement.error()));
    if (!statement) return std::unexpected(statement.error());
    return plan_statement(*statement);
}

ScrollOp must_scroll(const std::string& text) {
    auto op = plan_text(text);
    EXPECT_TRUE(op) << text << ": " << (op ? "" : core::format_error(op.error()));
    return op ? op->get<PlanOpKind::Scroll>() : ScrollOp{};
}

TEST(ScrollOffset, IsTheSuccessorOfAfter) {
    struct Case {
        const char* after;
        PlanPointId offset;
    };
    for (const Case& c : {
             Case{"41", std::uint64_t{42}},
             Case{"'00000000-0000-0000-0000-00000000000f'", std::string("00000000-0000-0000-0000-000000000010")},
             Case{"'00000000-0000-0000-0000-0000FFFFFFFF'", std::string("00000000-0000-0000-0000-000100000000")},
             Case{"'0000000000000000000000000000000F'", std::string("00000000-0000-0000-0000-000000000010")},
             Case{"'{00000000-0000-0000-0000-00000000000f}'", std::string("00000000-0000-0000-0000-000000000010")},
             Case{"'urn:uuid:7fffffff-ffff-ffff-ffff-ffffffffffff'",
                  std::string("80000000-0000-0000-0000-000000000000")},
         }) {
        const ScrollOp scroll = must_scroll(std::string("SCROLL FROM c AFTER ") + c.after + " LIMIT 10");
        EXPECT_EQ(scroll.offset, c.offset) << c.after;
    }
}

TEST(ScrollLowering, DefaultsAndClauses) {
    const ScrollOp plain = must_scroll("SCROLL FROM c LIMIT 3");
    EXPECT_EQ(plain, (ScrollOp{"c", std::nullopt, std::nullopt, 3, PlanPayloadSelector{true}, PlanVectorSelector{false},
                               std::nullopt, std::nullopt}));
    const ScrollOp full = must_scroll(
        "SCROLL FROM c WHERE a = 1 ORDER BY price DESC START FROM 10 SHARD 'eu' WITH PAYLOAD EXCLUDE (raw) "
        "WITH VECTOR (dense) LIMIT 5");
    EXPECT_TRUE(full.filter.has_value());
    ASSERT_TRUE(full.order_by);
    EXPECT_EQ(full.order_by->key, "price");
    EXPECT_EQ(full.order_by->direction, "desc");
    EXPECT_TRUE(full.order_by->start_from.has_value());
    EXPECT_EQ(full.with_payload, PlanPayloadSelector{PlanPayloadSelector::Exclude{{"raw"}}});
    EXPECT_EQ(full.with_vector, PlanVectorSelector{std::vector<std::string>{"dense"}});
    EXPECT_EQ(full.shard_key, PlanShardKey{std::string("eu")});
    EXPECT_EQ(must_scroll("SCROLL FROM c ORDER BY price LIMIT 5").order_by->direction, "asc");
}

TEST(PointWriteWait, ResolvedByKind) {
    struct Case {
        const char* text;
        bool wait;
    };
    for (const Case& c : {
             Case{"UPSERT INTO c VALUES {id: 1}", false},
             Case{"UPSERT INTO c VALUES {id: 1, body: 'x'} EMBED body INTO dense", true},
             Case{"UPSERT INTO c VALUES {id: 1} WAIT true", true},
             Case{"DELETE FROM c WHERE id = 1", true},
             Case{"DELETE PAYLOAD a FROM c WHERE id = 1 WAIT false", false},
             Case{"UPDATE c SET PAYLOAD = {a: 1} OVERWRITE WHERE id = 1", true},
         }) {
        auto op = plan_text(c.text);
        ASSERT_TRUE(op) << c.text;
        const std::optional<BatchKey> key = plan_batch_key(*op);
        ASSERT_TRUE(key) << c.text;
        EXPECT_EQ(*key, (BatchKey{BatchKey::Mutation{"c", c.wait}})) << c.text;
    }
}

struct Refusal {
    const char* text;
    const char* code;
    const char* message;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.text; }

class PointWriteRefusals : public testing::TestWithParam<Refusal> {};

TEST_P(PointWriteRefusals, FailWithCodeAndMessage) {
    const Refusal& c = GetParam();
    auto op = plan_text(c.text);
    ASSERT_FALSE(op) << c.text;
    EXPECT_EQ(op.error().code, c.code);
    EXPECT_EQ(op.error().message, c.message);
    EXPECT_EQ(op.error().kind, core::ErrorKind::Validation);
    EXPECT_FALSE(op.error().span.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PointWriteRefusals,
    testing::Values(
        Refusal{"DELETE VECTOR a, b, b FROM docs WHERE id = 1", "ZORV-PLAN-DELETE-VECTOR",
                "DELETE VECTOR contains duplicate vector name 'b'"},
        Refusal{"DELETE VECTOR a, b, b, a FROM docs WHERE id = 'bad'", "ZORV-PLAN-DELETE-VECTOR",
                "DELETE VECTOR contains duplicate vector name 'b'"},
        // The AFTER check comes before the LIMIT check.
        Refusal{"SCROLL FROM docs AFTER 18446744073709551615 LIMIT 1", "ZORV-PLAN-SCROLL-AFTER",
                "SCROLL AFTER is already the maximum point ID; there is no next page"},
        Refusal{"SCROLL FROM docs AFTER 'FFFFFFFFffffffffffffffffffffffff' LIMIT 1", "ZORV-PLAN-SCROLL-AFTER",
                "SCROLL AFTER is already the maximum UUID; there is no next page"},
        Refusal{"SCROLL FROM docs AFTER 'not-a-uuid' LIMIT 1", "ZORV-PLAN-POINT-ID",
                "point ID \"not-a-uuid\" is not a UUID; point IDs must be unsigned integers or UUIDs"},
        Refusal{"DELETE FROM docs WHERE id = 'abc'", "ZORV-PLAN-POINT-ID",
                "point ID \"abc\" is not a UUID; point IDs must be unsigned integers or UUIDs"},
        // Explicit ids are walked before the filter; rows before the update filter.
        Refusal{"UPSERT INTO d VALUES {id: 1}, {id: 'r2'} UPDATE FILTER id = 'f'", "ZORV-PLAN-POINT-ID",
                "point ID \"r2\" is not a UUID; point IDs must be unsigned integers or UUIDs"},
        Refusal{"UPDATE d SET VECTOR VALUES {id: 1, vector: [1]}, {id: 'v', vector: [2]}", "ZORV-PLAN-POINT-ID",
                "point ID \"v\" is not a UUID; point IDs must be unsigned integers or UUIDs"},
        Refusal{"BATCH { DELETE FROM d WHERE id = 1; DELETE FROM d WHERE id = 2; CLEAR PAYLOAD FROM d WHERE id = 'x' }",
                "ZORV-PLAN-POINT-ID", "point ID \"x\" is not a UUID; point IDs must be unsigned integers or UUIDs"}));

// NaN and infinity cannot be written in statement text; they arrive through bound parameters.
TEST(PointWriteNonFinite, PayloadsObjectsAndOptionsAreScanned) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    auto upsert = *core::parse_statement("UPSERT INTO d VALUES {id: 1}, {id: 2, a: [1, 2]}, {id: 3}");
    std::get<core::UpsertRow::Point>(upsert.get<core::StatementKind::Upsert>()->points[1].value).payload[0].second =
        core::Literal::list({core::Literal::int64(1), core::Literal::f64(nan)});
    auto update = *core::parse_statement("UPDATE d SET PAYLOAD = {a: 1} WHERE id = 'not checked first'");
    update.get<core::StatementKind::UpdatePayload>()->payload[0].second =
        core::Literal::dict({{"b", core::Literal::list({core::Literal::f64(nan)})}});
    auto scroll = *core::parse_statement("SCROLL FROM d ORDER BY p START FROM 1 LIMIT 1");
    scroll.get<core::StatementKind::Scroll>()->order_by->start_from = core::Literal::f64(-inf);
    for (const core::Statement& statement : {upsert, update, scroll}) {
        auto op = plan_statement(statement);
        ASSERT_FALSE(op);
        EXPECT_EQ(op.error().code, "ZORV-PLAN-NON-FINITE");
    }
    const core::QueryInput object{
        core::VectorValue::Object{core::Literal::dict({{"x", core::Literal::f64(inf)}}), std::nullopt, {}}};
    const core::QueryInput text{
        core::QueryInput::Text{"t", std::nullopt, std::nullopt, {{"k", core::Literal::f64(nan)}}}};
    for (const core::QueryInput& input : {object, text}) {
        auto lowered = lower_vector_input(input);
        ASSERT_FALSE(lowered);
        EXPECT_EQ(lowered.error().code, "ZORV-PLAN-NON-FINITE");
    }
    auto fine = lower_vector_input(core::QueryInput{core::QueryInput::Text{"t", std::nullopt, std::nullopt, {}}});
    ASSERT_TRUE(fine);
    EXPECT_EQ(*fine, (PlanQueryInput{PlanVector{core::VectorValue::Document{"t", std::nullopt, {}}}}));
}

// The parser refuses a SCROLL without LIMIT; an unbound LIMIT placeholder leaves none.
TEST(ScrollLowering, AfterIsCheckedBeforeLimit) {
    core::Scroll scroll;
    scroll.collection = "c";
    scroll.after = core::PointId{std::uint64_t{18446744073709551615ULL}};
    auto failed = lower_scroll(scroll);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().message, "SCROLL AFTER is already the maximum point ID; there is no next page");
    scroll.after = core::PointId{std::uint64_t{1}};
    failed = lower_scroll(scroll);
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error().code, "ZORV-PLAN-SCROLL-LIMIT");
    EXPECT_EQ(failed.error().message, "SCROLL requires a LIMIT (an unbound LIMIT placeholder cannot be planned)");
}

TEST(PointWriteLowering, SelectorsPayloadsAndVectorsAsWritten) {
    auto remove = plan_text("DELETE FROM d WHERE id IN (3, 1, 3)");
    ASSERT_TRUE(remove);
    EXPECT_EQ(remove->get<PlanOpKind::Delete>().request.points, (std::vector<PlanPointId>{3U, 1U, 3U}));
    auto by_filter = plan_text("CLEAR PAYLOAD FROM d WHERE a = 1");
    ASSERT_TRUE(by_filter);
    EXPECT_FALSE(by_filter->get<PlanOpKind::ClearPayload>().request.points.has_value());
    ASSERT_TRUE(by_filter->get<PlanOpKind::ClearPayload>().request.filter.has_value());
    EXPECT_FALSE(by_filter->get<PlanOpKind::ClearPayload>().request.filter->is_single());
    auto upsert = plan_text("UPSERT INTO d VALUES {id: '550E8400E29B41D4A716446655440000', b: 1, a: 2}, {id: 2}");
    ASSERT_TRUE(upsert);
    const auto& points = upsert->get<PlanOpKind::Upsert>().request.points;
    EXPECT_EQ(points[0].id, PlanPointId{std::string("550E8400E29B41D4A716446655440000")});
    ASSERT_TRUE(points[0].payload);
    EXPECT_EQ(points[0].payload->at(0).first, "b");
    EXPECT_FALSE(points[1].payload.has_value());
    EXPECT_FALSE(points[1].vector.has_value());
    auto cased = plan_text("DELETE VECTOR A, a FROM d WHERE id = 1");
    ASSERT_TRUE(cased);
    EXPECT_EQ(cased->get<PlanOpKind::DeleteVector>().request.vector, (std::vector<std::string>{"A", "a"}));
}

}  // namespace
}  // namespace zorv::plan
