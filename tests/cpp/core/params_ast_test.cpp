// Parameter containers and binding them into statement trees.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "core/fmt/statement.h"
#include "core/params/ast.h"
#include "core/params/scan.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::must_parse;

using test_support::span_of;

// A value written as statement text, read as a payload value.
Literal value(const std::string& text) {
    Statement statement = must_parse("UPDATE c SET PAYLOAD = {v: " + text + "} WHERE id = 1");
    if (statement.kind() != StatementKind::UpdatePayload) return Literal::null();
    return statement.get<StatementKind::UpdatePayload>()->payload.at(0).second;
}

void expect_bind_error(const ZorvError& error, const std::string& text, const std::string& code,
                       const std::string& message, const std::string& span_text) {
    EXPECT_EQ(error.code, code);
    EXPECT_EQ(error.kind, ErrorKind::Validation);
    EXPECT_EQ(error.message, message);
    if (span_text.empty()) {
        EXPECT_EQ(error.span, std::nullopt);
    } else {
        EXPECT_EQ(error.span, span_of(text, span_text));
    }
    EXPECT_TRUE(error.fields.empty());
}

struct BindCase {
    std::string text;
    std::string params;  // a statement literal
    std::string expected;
};

void PrintTo(const BindCase& c, std::ostream* os) { *os << c.text << " with " << c.params; }

class TreeBinding : public testing::TestWithParam<BindCase> {};

TEST_P(TreeBinding, ReplacesEveryPlaceholder) {
    const BindCase& c = GetParam();
    Statement statement = must_parse(c.text);
    auto bound = bind_statement_params(statement, value(c.params));
    ASSERT_TRUE(bound) << format_error(bound.error());
    EXPECT_TRUE(ensure_fully_bound(statement).has_value());
    EXPECT_TRUE(statement == must_parse(c.expected)) << format_statement(statement);
}

INSTANTIATE_TEST_SUITE_P(
    Bind, TreeBinding,
    testing::Values(
        BindCase{"QUERY [1] FROM c LIMIT :n OFFSET :o", "{n: 5, o: 0}", "QUERY [1] FROM c LIMIT 5 OFFSET 0"},
        BindCase{"QUERY [1] FROM c WHERE a = ? AND b IN (1, ?) LIMIT ?", "['x', true, 3]",
                 "QUERY [1] FROM c WHERE a = 'x' AND b IN (1, true) LIMIT 3"},
        BindCase{"QUERY TEXT :q MODEL 'm' FROM c", "{q: 'red shoes'}", "QUERY TEXT 'red shoes' MODEL 'm' FROM c"},
        BindCase{"QUERY :v FROM c", "{v: [0.1, 0.2]}", "QUERY [0.1, 0.2] FROM c"},
        BindCase{"CREATE COLLECTION c WITH PARAMS (sharding_method = 'custom', shard_keys = ['eu', :k])", "{k: 'us'}",
                 "CREATE COLLECTION c WITH PARAMS (sharding_method = 'custom', shard_keys = ['eu', 'us'])"},
        BindCase{"DROP SHARD KEY ? ON COLLECTION c", "['eu']", "DROP SHARD KEY 'eu' ON COLLECTION c"},
        BindCase{"BATCH { DELETE FROM c WHERE id = ?; UPSERT INTO c VALUES {id: ?, n: 3} }", "[1, 2]",
                 "BATCH { DELETE FROM c WHERE id = 1; UPSERT INTO c VALUES {id: 2, n: 3} }"},
        BindCase{"QUERY :v FROM c", "{v: 'cats'}", "QUERY TEXT 'cats' FROM c"},
        BindCase{"QUERY :v FROM c", "{v: 7}", "QUERY POINT 7 FROM c"},
        BindCase{"QUERY HYBRID TEXT :q MODEL 'bm25' DENSE d SPARSE s FROM c", "{q: 'x'}",
                 "QUERY HYBRID TEXT 'x' MODEL 'bm25' DENSE d SPARSE s FROM c"},
        BindCase{"QUERY CROSS RERANK TEXT ? MODEL 'ce' FROM c PREFETCH (QUERY [1] LIMIT 9)", "['q']",
                 "QUERY CROSS RERANK TEXT 'q' MODEL 'ce' FROM c PREFETCH (QUERY [1] LIMIT 9)"},
        BindCase{"QUERY FORMULA :w * $score FROM c PREFETCH (QUERY [1])", "{w: '2.5'}",
                 "QUERY FORMULA 2.5 * $score FROM c PREFETCH (QUERY [1])"},
        BindCase{"QUERY FORMULA :w * $score FROM c PREFETCH (QUERY [1])", "{w: 'price'}",
                 "QUERY FORMULA price * $score FROM c PREFETCH (QUERY [1])"},
        // Text that the lexer would not read as one finite number names a payload field.
        BindCase{"QUERY FORMULA :w * $score FROM c PREFETCH (QUERY [1])", "{w: '1e999'}",
                 "QUERY FORMULA `1e999` * $score FROM c PREFETCH (QUERY [1])"},
        BindCase{"QUERY FORMULA :w * $score FROM c PREFETCH (QUERY [1])", "{w: 3}",
                 "QUERY FORMULA 3.0 * $score FROM c PREFETCH (QUERY [1])"},
        BindCase{"SCROLL FROM c WHERE a = :a AFTER :p SHARD :s LIMIT :n", "{a: 1, p: 'u', s: 'tenant', n: 3}",
                 "SCROLL FROM c WHERE a = 1 AFTER 'u' SHARD 'tenant' LIMIT 3"},
        BindCase{"FACET k FROM c WHERE a = ? LIMIT ? SHARD ?", "[1, 2, 3]",
                 "FACET k FROM c WHERE a = 1 LIMIT 2 SHARD 3"},
        BindCase{"COUNT FROM c WHERE id IN (:a, :b)", "{a: 1, b: 'x'}", "COUNT FROM c WHERE id IN (1, 'x')"},
        BindCase{"UPSERT INTO c VALUES :rows", "{rows: [{id: 1, vector: [0.1, 0.2], k: 'v'}, {ID: 'a'}]}",
                 "UPSERT INTO c VALUES {id: 1, vector: [0.1, 0.2], k: 'v'}, {id: 'a'}"},
        BindCase{"UPSERT INTO c VALUES {id: 1}, :rows, {id: 2}", "{rows: []}", "UPSERT INTO c VALUES {id: 1}, {id: 2}"},
        BindCase{"UPSERT INTO c VALUES ?, {id: ?}", "[{Id: 5, Vector: [1.0]}, 6]",
                 "UPSERT INTO c VALUES {id: 5, vector: [1.0]}, {id: 6}"},
        BindCase{"UPDATE c SET PAYLOAD = {x: :p, y: :p.a, z: :n} WHERE id = 1", "{p: {a: 1}, n: [null]}",
                 "UPDATE c SET PAYLOAD = {x: {a: 1}, y: 1, z: [null]} WHERE id = 1"},
        BindCase{"UPDATE c SET VECTOR d = :v WHERE id = :i", "{v: [1.0, 2.0], i: 3}",
                 "UPDATE c SET VECTOR d = [1.0, 2.0] WHERE id = 3"},
        BindCase{"DELETE FROM c WHERE id = ? SHARD ?", "[4, 'k']", "DELETE FROM c WHERE id = 4 SHARD 'k'"},
        // Keys and items that no placeholder uses are ignored.
        BindCase{"QUERY [1] FROM c LIMIT ?", "[2, 3, 4]", "QUERY [1] FROM c LIMIT 2"},
        BindCase{"QUERY [1] FROM c LIMIT :n", "{n: 2, unused: 1}", "QUERY [1] FROM c LIMIT 2"}));

struct BindErrorCase {
    std::string text;
    std::string params;
    std::string code;
    std::string message;
    std::string span_text;  // empty: no span
};

void PrintTo(const BindErrorCase& c, std::ostream* os) { *os << c.text << " with " << c.params; }

class TreeBindingErrors : public testing::TestWithParam<BindErrorCase> {};

TEST_P(TreeBindingErrors, ReportCodeMessageAndSpan) {
    const BindErrorCase& c = GetParam();
    Statement statement = must_parse(c.text);
    auto bound = bind_statement_params(statement, value(c.params));
    ASSERT_FALSE(bound) << format_statement(statement);
    expect_bind_error(bound.error(), c.text, c.code, c.message, c.span_text);
}

constexpr const char* kMismatch = "ZORV-BIND-TYPE-MISMATCH";
constexpr const char* kRowShape =
    "point parameter must be an object ({id: \xE2\x80\xA6, \xE2\x80\xA6}) or a list of point objects";

INSTANTIATE_TEST_SUITE_P(
    Bind, TreeBindingErrors,
    testing::Values(
        BindErrorCase{"QUERY [1] FROM c LIMIT :n", "{n: 0}", kMismatch, "LIMIT parameter must be a positive integer",
                      ":n"},
        // Binding meets a QUERY's LIMIT before its SHARD, unlike the scan.
        BindErrorCase{"QUERY [1] FROM c SHARD :k LIMIT :n", "{}", "ZORV-BIND-MISSING-PARAM",
                      "missing value for named parameter ':n'", ":n"},
        BindErrorCase{"QUERY [1] FROM c LIMIT :n", "{n: -1}", kMismatch,
                      "LIMIT parameter must be a non-negative integer", ":n"},
        BindErrorCase{"QUERY [1] FROM c OFFSET ?", "[2.0]", kMismatch,
                      "OFFSET parameter must be a non-negative integer", "?"},
        BindErrorCase{"SCROLL FROM c LIMIT :n", "{n: 0}", kMismatch,
                      "SCROLL LIMIT parameter must be a positive integer", ":n"},
        BindErrorCase{"FACET k FROM c LIMIT :n", "{n: 'x'}", kMismatch,
                      "FACET LIMIT parameter must be a non-negative integer", ":n"},
        BindErrorCase{"QUERY [1] FROM c WHERE a = ?", "{a: 1}", "ZORV-BIND-MISSING-PARAM",
                      "positional parameter ? index 1 out of range (total provided: 0)", "?"},
        BindErrorCase{"QUERY [1] FROM c WHERE a = :a", "[1]", "ZORV-BIND-MISSING-PARAM",
                      "missing value for named parameter ':a'", ":a"},
        BindErrorCase{"QUERY [1] FROM c WHERE a = :a", "{a: null}", "ZORV-BIND-NULL-PARAM",
                      "parameter ':a' is null; ZORV cannot bind null \xE2\x80\x94 pass a concrete value or remove the "
                      "placeholder",
                      ":a"},
        BindErrorCase{"QUERY [1] FROM c WHERE a = ?", "[null]", "ZORV-BIND-NULL-PARAM",
                      "positional parameter ?1 is null; ZORV cannot bind null \xE2\x80\x94 pass a concrete value or "
                      "remove the placeholder",
                      "?"},
        BindErrorCase{"SHOW COLLECTIONS", "{}", "ZORV-BIND-UNSUPPORTED-STATEMENT",
                      "cannot bind parameters into statement type: SHOW COLLECTIONS", ""},
        BindErrorCase{"SHOW QUOTAS", "[]", "ZORV-BIND-UNSUPPORTED-STATEMENT",
                      "cannot bind parameters into statement type: SHOW QUOTAS", ""},
        // Flattening comes first: the duplicate key wins over the unsupported kind.
        BindErrorCase{"SHOW COLLECTIONS", "{'p.q': 0, p: {q: 1}}", "ZORV-BIND-DUPLICATE-PARAM",
                      "duplicate parameter key 'p.q' from flat and nested parameter sources", ""},
        BindErrorCase{"QUERY [1] FROM c LIMIT :n", "5", "ZORV-BIND-INVALID-PARAMS",
                      "params must be an object for named parameters (:name) or an array for positional parameters (?)",
                      ""},
        BindErrorCase{"QUERY [1] FROM c LIMIT :n", "null", "ZORV-BIND-INVALID-PARAMS",
                      "params must be an object for named parameters (:name) or an array for positional parameters (?)",
                      ""},
        BindErrorCase{"QUERY TEXT :q MODEL 'm' FROM c", "{q: 5}", kMismatch,
                      "parameter ':q' for TEXT query must be a string", ""},
        BindErrorCase{"QUERY TEXT ? MODEL 'm' FROM c", "[5]", kMismatch,
                      "positional parameter ?0 for TEXT query must be a string", ""},
        BindErrorCase{"QUERY HYBRID TEXT :q MODEL 'bm25' DENSE d SPARSE s FROM c", "{q: 1}", kMismatch,
                      "parameter ':q' for HYBRID query must be a string", ""},
        BindErrorCase{"QUERY CROSS RERANK TEXT ? MODEL 'ce' FROM c PREFETCH (QUERY [1] LIMIT 9)", "[1]", kMismatch,
                      "parameter '?0' for CROSS RERANK query must be a string", ""},
        BindErrorCase{"QUERY :v FROM c", "{v: true}", kMismatch, "unsupported value type for query input: Bool(true)",
                      ":v"},
        BindErrorCase{"QUERY FORMULA :w * $score FROM c PREFETCH (QUERY [1])", "{w: true}", kMismatch,
                      "formula parameter cannot be bound to value: Bool(true)", ""},
        BindErrorCase{"QUERY [1] FROM c WHERE id = :i", "{i: -1}", kMismatch,
                      "cannot bind Int(-1) as point ID: expected non-negative integer or string", ":i"},
        BindErrorCase{"QUERY [1] FROM c SHARD :s", "{s: 1.5}", kMismatch,
                      "cannot bind Float(1.5) as shard key: expected non-negative integer or string", ":s"},
        BindErrorCase{"UPSERT INTO c VALUES :rows", "{rows: [{x: 1}]}", "ZORV-VALIDATION-UPSERT-ID",
                      "each UPSERT row requires an id", ":rows"},
        BindErrorCase{"UPSERT INTO c VALUES :rows", "{rows: 5}", kMismatch, kRowShape, ":rows"},
        BindErrorCase{"UPSERT INTO c VALUES :rows", "{rows: null}", kMismatch, kRowShape, ":rows"},
        BindErrorCase{"UPSERT INTO c VALUES ?", "[[1]]", kMismatch, kRowShape, "?"},
        BindErrorCase{"UPSERT INTO c VALUES :rows", "{}", "ZORV-BIND-UNBOUND-PARAM", "unbound named parameter ':rows'",
                      ":rows"},
        BindErrorCase{"UPDATE c SET VECTOR d = ? WHERE id = 1", "[]", "ZORV-BIND-MISSING-POSITIONAL",
                      "missing positional parameter ?1", "?"}));

// Values that no statement text can hold: NaN and infinities, at any depth, wherever they go.
TEST(TreeBinding, RefusesNonFiniteFloats) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string text;
        Literal param;
        std::string shown;
    };
    const Case cases[] = {
        {"QUERY [1] FROM c WHERE a = :p", Literal::f64(nan), "NaN"},
        {"QUERY FORMULA :p * $score FROM c PREFETCH (QUERY [1])", Literal::f64(-inf), "-inf"},
        {"QUERY :p FROM c", Literal::f32_array({1.0F, std::numeric_limits<float>::infinity()}), "inf"},
        {"UPDATE c SET VECTOR d = :p WHERE id = 1", Literal::list({Literal::f64(inf)}), "inf"},
        {"UPDATE c SET PAYLOAD = {a: :p} WHERE id = 1", Literal::dict({{"k", Literal::list({Literal::f64(nan)})}}),
         "NaN"},
        {"UPSERT INTO c VALUES :p", Literal::dict({{"id", Literal::uint64(1)}, {"w", Literal::f64(inf)}}), "inf"},
    };
    for (const Case& c : cases) {
        Statement statement = must_parse(c.text);
        auto bound = bind_statement_params(statement, Literal::dict({{"p", c.param}}));
        ASSERT_FALSE(bound) << c.text;
        expect_bind_error(bound.error(), c.text, kMismatch, "cannot bind non-finite float value '" + c.shown + "'", "");
    }
}

TEST(ValueToFormulaExpr, ReadsTextAsDatetimeNumberOrField) {
    EXPECT_TRUE(
        value_to_formula_expr(Literal::str("2024-01-02T03:04:05Z"), std::nullopt)->is(FormulaExpr::Kind::Datetime));
    EXPECT_EQ(*value_to_formula_expr(Literal::str("1e3"), std::nullopt), FormulaExpr::constant(1000.0));
    EXPECT_EQ(*value_to_formula_expr(Literal::str("-0.5"), std::nullopt), FormulaExpr::constant(-0.5));
    for (const char* field : {"price", "inf", "nan", "1e999", ".5", "1.", "+1", " 1"}) {
        EXPECT_EQ(*value_to_formula_expr(Literal::str(field), std::nullopt), FormulaExpr::variable(field)) << field;
    }
    EXPECT_EQ(*value_to_formula_expr(Literal::int64(-7), std::nullopt), FormulaExpr::constant(-7.0));
    // Python hands every non-negative int over as unsigned.
    EXPECT_EQ(*value_to_formula_expr(Literal::uint64(7), std::nullopt), FormulaExpr::constant(7.0));
    Statement statement = must_parse("QUERY FORMULA :w * $score FROM c PREFETCH (QUERY [1])");
    ASSERT_TRUE(bind_statement_params(statement, Literal::dict({{"w", Literal::uint64(7)}})));
    EXPECT_TRUE(statement == must_parse("QUERY FORMULA 7.0 * $score FROM c PREFETCH (QUERY [1])"));
}

TEST(ValueConversions, RefuseWhatTheSlotCannotHold) {
    auto id = value_to_point_id(Literal::str(""), std::nullopt);
    ASSERT_TRUE(id);
    EXPECT_EQ(*id, PointId{std::string()});
    EXPECT_FALSE(value_to_point_id(Literal::boolean(true), std::nullopt));
    auto input = value_to_query_input(Literal::f64(0.5), Span{1, 2});
    ASSERT_FALSE(input);
    EXPECT_EQ(input.error().message, "unsupported value type for query input: Float(0.5)");
    EXPECT_EQ(input.error().span, (Span{1, 2}));
    EXPECT_EQ(*value_to_count(Literal::int64(0), "OFFSET", false, std::nullopt), 0U);
    EXPECT_EQ(bind_invalid_positional_error("a").message, "invalid positional parameter index '?a'");
    EXPECT_EQ(bind_invalid_positional_error("a").code, "ZORV-BIND-INVALID-PARAMS");
}

TEST(ParamsContainers, StatementScopedListsMustMatchTheStatementCount) {
    auto two = check_params_list_length(value("[{a: 1}, {a: 2}]"), 2);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->per_statement.size(), 2U);
    const std::pair<const char*, std::uint64_t> shared[] = {{"[]", 2}, {"[1, {a: 1}]", 2}, {"{a: 1}", 3}};
    for (const auto& [params, count] : shared) {
        auto scoped = check_params_list_length(value(params), count);
        ASSERT_TRUE(scoped) << params;
        EXPECT_TRUE(scoped->shared()) << params;
    }
    // [[1, 2]] for one statement is one positional container holding 1 and 2.
    const Literal single = value("[[1, 2]]");
    auto one = check_params_list_length(single, 1);
    ASSERT_TRUE(one);
    ASSERT_EQ(one->per_statement.size(), 1U);
    EXPECT_EQ(*one->per_statement[0], value("[1, 2]"));

    auto three = check_params_list_length(value("[{a: 1}, {a: 2}]"), 3);
    ASSERT_FALSE(three);
    expect_bind_error(three.error(), "", "ZORV-BIND-BATCH-LENGTH",
                      "statement-scoped params list has 2 entries but 3 statements were given; provide one params "
                      "container (object or array) per statement",
                      "");
    auto one_of_two = check_params_list_length(value("[[1]]"), 2);
    ASSERT_FALSE(one_of_two);
    EXPECT_EQ(one_of_two.error().message,
              "statement-scoped params list has 1 entry but 2 statements were given; provide one params container "
              "(object or array) per statement");
    auto three_of_one = check_params_list_length(value("[[1], [2], [3]]"), 1);
    ASSERT_FALSE(three_of_one);
    EXPECT_EQ(three_of_one.error().message,
              "statement-scoped params list has 3 entries but 1 statement was given; provide one params container "
              "(object or array) per statement");
}

TEST(ParamsContainers, FlatteningReachesNestedDictsUnderDottedKeys) {
    FlatParams map;
    ASSERT_TRUE(flatten_params(value("{p: {q: {r: 1}}, '': {x: 2}}").as_dict(), "", map));
    std::vector<std::string> keys;
    for (const auto& entry : map) keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<std::string>{"", "p", "p.q", "p.q.r", "x"}));
    EXPECT_EQ(map.at("p.q"), value("{r: 1}"));
    for (const char* params : {"{'a.b': 1, a: {b: 2}}", "{a: {b: 2}, 'a.b': 1}"}) {
        FlatParams dup;
        auto result = flatten_params(value(params).as_dict(), "", dup);
        ASSERT_FALSE(result) << params;
        EXPECT_EQ(result.error().message, "duplicate parameter key 'a.b' from flat and nested parameter sources");
    }
}

// One container per statement: each statement's first "?" takes item 0 of its own container.
TEST(ScriptBinding, RebasesPositionalIndexesPerStatement) {
    const std::string script = "QUERY [1] FROM c LIMIT ?; QUERY [2] FROM c WHERE a = ? LIMIT ?";
    auto statements = parse_script(script);
    ASSERT_TRUE(statements);
    ASSERT_TRUE(bind_script_params(*statements, value("[[5], ['x', 7]]")));
    EXPECT_TRUE((*statements)[0] == must_parse("QUERY [1] FROM c LIMIT 5"));
    EXPECT_TRUE((*statements)[1] == must_parse("QUERY [2] FROM c WHERE a = 'x' LIMIT 7"));

    // One shared list numbers across the script, as the parser did.
    statements = parse_script(script);
    ASSERT_TRUE(bind_script_params(*statements, value("[5, 'y', 8]")));
    EXPECT_TRUE((*statements)[1] == must_parse("QUERY [2] FROM c WHERE a = 'y' LIMIT 8"));

    statements = parse_script(script);
    auto mismatch = bind_script_params(*statements, value("[[5]]"));
    ASSERT_FALSE(mismatch);
    EXPECT_EQ(mismatch.error().code, "ZORV-BIND-BATCH-LENGTH");
}

// The bulk upsert's rows are handed over once: a second ":rows" finds nothing.
TEST(RowsSource, HandsTheRowsOverOnce) {
    const std::string text = "UPSERT INTO c VALUES :rows, :rows";
    Statement statement = must_parse(text);
    RowsSlot slot;
    slot.rows = value("[{id: 1}, {id: 2}]");
    EXPECT_EQ(take_rows_param(slot, "other"), std::nullopt);
    ASSERT_TRUE(slot.rows.has_value());
    auto bound = bind_statement_placeholders(statement, rows_param_source(slot));
    ASSERT_FALSE(bound);
    EXPECT_EQ(bound.error().code, "ZORV-BIND-UNBOUND-PARAM");
    EXPECT_EQ(bound.error().message, "unbound named parameter ':rows'");
    EXPECT_EQ(bound.error().span, span_of(text, ":rows", 1));
    EXPECT_FALSE(slot.rows.has_value());

    Statement single = must_parse("UPSERT INTO c VALUES :rows");
    slot.rows = value("[{id: 1}, {id: 2}]");
    ASSERT_TRUE(bind_statement_placeholders(single, rows_param_source(slot)));
    EXPECT_TRUE(single == must_parse("UPSERT INTO c VALUES {id: 1}, {id: 2}"));
}

// Of two keys that read as "vector", the first gives the vectors and the other stays payload.
TEST(TreeBinding, RowObjectsTakeTheFirstIdAndVectorKeys) {
    Statement statement = must_parse("UPSERT INTO c VALUES :row");
    const Literal row = Literal::dict({{"id", Literal::uint64(1)},
                                       {"Vector", Literal::list({Literal::f64(1.0)})},
                                       {"vector", Literal::list({Literal::f64(2.0)})}});
    ASSERT_TRUE(bind_statement_params(statement, Literal::dict({{"row", row}})));
    const auto& points = statement.get<StatementKind::Upsert>()->points;
    ASSERT_EQ(points.size(), 1U);
    const auto& point = std::get<UpsertRow::Point>(points[0].value);
    EXPECT_EQ(point.id, PointId{std::uint64_t{1}});
    ASSERT_TRUE(point.vectors.has_value());
    EXPECT_EQ(point.vectors, PointVectors{VectorValue{VectorValue::Dense{{1.0F}}}});
    ASSERT_EQ(point.payload.size(), 1U);
    EXPECT_EQ(point.payload[0].first, "vector");
    EXPECT_EQ(point.payload[0].second, Literal::list({Literal::f64(2.0)}));
}

// A failed binding leaves what it bound before the error bound.
TEST(TreeBinding, StopsAtTheFirstError) {
    Statement statement = must_parse("QUERY [1] FROM c WHERE a = :a AND b = :b LIMIT :n");
    auto bound = bind_statement_params(statement, value("{a: 1, n: 2}"));
    ASSERT_FALSE(bound);
    EXPECT_EQ(bound.error().message, "missing value for named parameter ':b'");
    EXPECT_TRUE(statement == must_parse("QUERY [1] FROM c WHERE a = 1 AND b = :b LIMIT :n"));
}

}  // namespace
}  // namespace zorv::core
