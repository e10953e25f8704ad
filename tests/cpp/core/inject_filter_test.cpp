// Filter injection: the operator text, the condition, and the rewrite of each statement kind.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "core/fmt/statement.h"
#include "core/rewrite/inject_filter.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::must_parse;

struct OperatorCase {
    std::string text;
    std::optional<CompareOp> op;  // nullopt: refused with `message`
    std::string message;
};

void PrintTo(const OperatorCase& c, std::ostream* os) { *os << '"' << c.text << '"'; }

class InjectOperator : public testing::TestWithParam<OperatorCase> {};

TEST_P(InjectOperator, ParsesOrRefuses) {
    const OperatorCase& c = GetParam();
    auto op = parse_inject_operator(c.text);
    if (c.op) {
        ASSERT_TRUE(op) << format_error(op.error());
        EXPECT_EQ(*op, *c.op);
        return;
    }
    ASSERT_FALSE(op);
    EXPECT_EQ(op.error().code, "ZORV-VALIDATION-FILTER-INJECT");
    EXPECT_EQ(op.error().kind, ErrorKind::Validation);
    EXPECT_EQ(op.error().message, c.message);
    EXPECT_FALSE(op.error().span);
}

constexpr const char* kNotEqual =
    "inject_filter does not support '!='; inject equality and wrap with NOT, or rewrite the query";

INSTANTIATE_TEST_SUITE_P(
    Inject, InjectOperator,
    testing::Values(OperatorCase{"=", CompareOp::Eq, ""}, OperatorCase{"==", CompareOp::Eq, ""},
                    OperatorCase{"Eq", CompareOp::Eq, ""}, OperatorCase{" GTE\t", CompareOp::Gte, ""},
                    OperatorCase{"\xE3\x80\x80>\xC2\xA0", CompareOp::Gt, ""}, OperatorCase{"lt", CompareOp::Lt, ""},
                    OperatorCase{"<=", CompareOp::Lte, ""}, OperatorCase{"!=", std::nullopt, kNotEqual},
                    OperatorCase{" <> ", std::nullopt, kNotEqual}, OperatorCase{"NEQ", std::nullopt, kNotEqual},
                    OperatorCase{" => ", std::nullopt, "unsupported comparison operator '=>' (use =, >, >=, <, <=)"},
                    OperatorCase{"LIKE", std::nullopt,
                                 "unsupported comparison operator 'like' (use =, >, >=, <, <=)"}));

struct RewriteCase {
    std::string input;
    std::string field;
    CompareOp op;
    Literal value;
    std::string expected;  // canonical text after the rewrite
};

void PrintTo(const RewriteCase& c, std::ostream* os) { *os << '"' << c.input << '"'; }

class InjectRewrite : public testing::TestWithParam<RewriteCase> {};

TEST_P(InjectRewrite, AndsTheCondition) {
    const RewriteCase& c = GetParam();
    Statement statement = must_parse(c.input);
    auto done = inject_filter_into_statement(statement, c.field, c.op, c.value);
    ASSERT_TRUE(done) << format_error(done.error());
    EXPECT_EQ(format_statement(statement), c.expected);
}

const Literal kA = Literal::str("a");

INSTANTIATE_TEST_SUITE_P(
    Inject, InjectRewrite,
    testing::Values(
        RewriteCase{"QUERY [1.0] FROM c", "tenant", CompareOp::Eq, kA, "QUERY [1.0] FROM c WHERE tenant = 'a'"},
        // an And gets one more operand, anything else becomes the first operand of a new And
        RewriteCase{"QUERY [1.0] FROM c WHERE x = 1 AND y = 2", "tenant", CompareOp::Eq, kA,
                    "QUERY [1.0] FROM c WHERE x = 1 AND y = 2 AND tenant = 'a'"},
        RewriteCase{"QUERY [1.0] FROM c WHERE x = 1 OR y = 2", "tenant", CompareOp::Eq, kA,
                    "QUERY [1.0] FROM c WHERE (x = 1 OR y = 2) AND tenant = 'a'"},
        // five filters: outer, both CTEs, the stage and its inline query
        RewriteCase{"WITH a AS (QUERY [1.0]), b AS (QUERY [2.0]) QUERY FUSION RRF FROM c "
                    "PREFETCH (a, QUERY [3.0] WHERE z = 1)",
                    "n", CompareOp::Gt, Literal::uint64(5),
                    "WITH\n  a AS (QUERY [1.0] WHERE n > 5),\n  b AS (QUERY [2.0] WHERE n > 5)\n"
                    "QUERY FUSION RRF\nFROM c\n"
                    "PREFETCH (a WHERE n > 5, QUERY [3.0] WHERE z = 1 AND n > 5 WHERE n > 5)\nWHERE n > 5"},
        RewriteCase{"SCROLL FROM c LIMIT 1", "tenant", CompareOp::Eq, kA, "SCROLL FROM c WHERE tenant = 'a' LIMIT 1"},
        RewriteCase{"COUNT FROM c WHERE a > 1", "b", CompareOp::Lte, Literal::int64(-2),
                    "COUNT FROM c WHERE a > 1 AND b <= -2"},
        RewriteCase{"FACET city FROM c", "tenant", CompareOp::Eq, kA, "FACET city FROM c WHERE tenant = 'a'"},
        // id selectors become filters with the id predicate first
        RewriteCase{"DELETE FROM c WHERE id = 7", "tenant", CompareOp::Eq, kA,
                    "DELETE FROM c WHERE id = 7 AND tenant = 'a'"},
        RewriteCase{"CLEAR PAYLOAD FROM c WHERE id IN (1, 2)", "tenant", CompareOp::Eq, kA,
                    "CLEAR PAYLOAD FROM c WHERE id IN (1, 2) AND tenant = 'a'"},
        RewriteCase{"DELETE FROM c WHERE id = 3", "ID", CompareOp::Eq, Literal::int64(9),
                    "DELETE FROM c WHERE id = 3 AND id = 9"},
        RewriteCase{"UPDATE c SET PAYLOAD = {a: 1} WHERE x = 1", "id", CompareOp::Eq, Literal::str("u-1"),
                    "UPDATE c SET PAYLOAD = {a: 1} WHERE x = 1 AND id = 'u-1'"},
        // an existing key (any case) takes the value, other rows get the field appended
        RewriteCase{"UPSERT INTO c VALUES {id: 1, Tenant: 'x'}, {id: 2, b: 1}", "tenant", CompareOp::Eq, kA,
                    "UPSERT INTO c VALUES\n  {id: 1, Tenant: 'a'},\n  {id: 2, b: 1, tenant: 'a'}"},
        RewriteCase{"BATCH { QUERY [1.0] FROM a; DELETE FROM b WHERE x = 1 }", "t", CompareOp::Eq, kA,
                    "BATCH {\n  QUERY [1.0] FROM a WHERE t = 'a';\n  DELETE FROM b WHERE x = 1 AND t = 'a';\n}"}));

struct RefusalCase {
    std::string input;
    std::string field;
    CompareOp op;
    Literal value;
    std::string code;
    std::string message;
};

void PrintTo(const RefusalCase& c, std::ostream* os) { *os << '"' << c.input << '"'; }

class InjectRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(InjectRefusal, FailsWithoutSpan) {
    const RefusalCase& c = GetParam();
    Statement statement = must_parse(c.input);
    auto done = inject_filter_into_statement(statement, c.field, c.op, c.value);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().code, c.code);
    EXPECT_EQ(done.error().message, c.message);
    EXPECT_EQ(done.error().kind, ErrorKind::Validation);
    EXPECT_FALSE(done.error().span);
    EXPECT_TRUE(done.error().fields.empty());
}

constexpr const char* kInject = "ZORV-VALIDATION-FILTER-INJECT";
constexpr const char* kPointsRefused =
    "inject_filter does not apply to QUERY POINTS: points addressed by ID are not filtered; use SCROLL with a WHERE "
    "clause";

INSTANTIATE_TEST_SUITE_P(
    Inject, InjectRefusal,
    testing::Values(
        // the id checks come before the statement kind
        RefusalCase{"SHOW COLLECTIONS", "ID", CompareOp::Gt, Literal::uint64(1), "ZORV-VALIDATION-ID-PREDICATE",
                    "point ID injection supports equality only"},
        RefusalCase{"UPSERT INTO c VALUES {id: 1}", "Id", CompareOp::Lt, Literal::uint64(1),
                    "ZORV-VALIDATION-ID-PREDICATE", "point ID injection supports equality only"},
        RefusalCase{"SCROLL FROM c LIMIT 1", "id", CompareOp::Eq, Literal::int64(-1), "ZORV-VALIDATION-POINT-ID",
                    "point IDs must be unsigned integers or strings"},
        RefusalCase{"SCROLL FROM c LIMIT 1", "id", CompareOp::Eq, Literal::f64(2.5), "ZORV-VALIDATION-POINT-ID",
                    "point IDs must be unsigned integers or strings"},
        RefusalCase{"UPDATE c SET VECTOR VALUES {id: 1, vector: [0.1, 0.2]}", "t", CompareOp::Eq, kA, kInject,
                    "inject_filter does not apply to this statement type (UPDATE VECTOR): point-vector replacement "
                    "has no selector; address points by ID"},
        RefusalCase{"CREATE COLLECTION c", "t", CompareOp::Eq, kA, kInject,
                    "inject_filter does not apply to this statement type (CREATE COLLECTION)"},
        RefusalCase{"SHOW SHARD KEYS ON COLLECTION c", "t", CompareOp::Eq, kA, kInject,
                    "inject_filter does not apply to this statement type (SHOW SHARD KEYS)"},
        RefusalCase{"SET QUOTA (a = 1)", "t", CompareOp::Eq, kA, kInject,
                    "inject_filter does not apply to this statement type (SET QUOTA)"},
        RefusalCase{"UPSERT INTO c VALUES {id: 1}", "t", CompareOp::Gte, kA, kInject,
                    "inject_filter into UPSERT requires Eq on a non-id payload field"},
        RefusalCase{"UPSERT INTO c VALUES {id: 1}", "id", CompareOp::Eq, Literal::uint64(2), kInject,
                    "inject_filter into UPSERT requires Eq on a non-id payload field"},
        RefusalCase{"UPSERT INTO c VALUES {id: 1}, :rows", "t", CompareOp::Eq, kA, kInject,
                    "cannot inject filter into unbound point parameter ':rows'; bind point parameters before filter "
                    "injection"},
        // positional rows count from 1 in this message
        RefusalCase{"UPSERT INTO c VALUES ?", "t", CompareOp::Eq, kA, kInject,
                    "cannot inject filter into unbound point parameter '?1'; bind point parameters before filter "
                    "injection"},
        // QUERY POINTS reads by id without any filter, wherever it sits
        RefusalCase{"QUERY POINTS (1, 2) FROM c", "t", CompareOp::Eq, kA, kInject, kPointsRefused},
        RefusalCase{"WITH a AS (QUERY POINTS (1)) QUERY FUSION RRF FROM c PREFETCH (a)", "t", CompareOp::Eq, kA,
                    kInject, kPointsRefused},
        RefusalCase{"QUERY FUSION RRF FROM c PREFETCH (QUERY [1.0], QUERY POINTS (3))", "t", CompareOp::Eq, kA, kInject,
                    kPointsRefused},
        RefusalCase{"BATCH { DELETE FROM a WHERE x = 1; QUERY POINTS (1) FROM b }", "t", CompareOp::Eq, kA, kInject,
                    kPointsRefused}));

TEST(InjectRewrite, BatchStopsAtTheFirstRefusedMember) {
    Statement statement = must_parse("BATCH { QUERY [1.0] FROM a; UPDATE c SET VECTOR VALUES {id: 1, vector: [0.1]} }");
    auto done = inject_filter_into_statement(statement, "t", CompareOp::Eq, kA);
    ASSERT_FALSE(done);
    EXPECT_EQ(done.error().code, kInject);
    const auto& members = statement.get<StatementKind::Batch>()->statements;
    EXPECT_EQ(format_statement(members[0]), "QUERY [1.0] FROM a WHERE t = 'a'");
}

TEST(InjectRewrite, MergesIntoAnEmptySlotAndAnAnd) {
    std::optional<Box<Filter>> slot;
    const Filter a{Filter::Compare{"a", CompareOp::Eq, Literal::uint64(1)}};
    const Filter b{Filter::Compare{"b", CompareOp::Eq, Literal::uint64(2)}};
    merge_injected_condition(slot, a);
    ASSERT_TRUE(slot.has_value());
    EXPECT_EQ(**slot, a);
    merge_injected_condition(slot, b);
    merge_injected_condition(slot, a);
    ASSERT_TRUE((*slot)->is(Filter::Kind::And));
    EXPECT_EQ((*slot)->get<Filter::Kind::And>().operands, (std::vector<Filter>{a, b, a}));
}

}  // namespace
}  // namespace zorv::core
