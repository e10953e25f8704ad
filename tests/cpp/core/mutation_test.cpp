// UPSERT, DELETE, CLEAR PAYLOAD and UPDATE: the trees they build and their errors.
#include <gtest/gtest.h>

#include <string>

#include "core/ast/statement.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using namespace zorv::core::test_support;

PointVectors dense(std::vector<float> values) {
    return PointVectors{VectorValue{VectorValue::Dense{std::move(values)}}};
}
PointId id_of(std::uint64_t n) { return PointId{n}; }

// ---- UPSERT rows ------------------------------------------------------------------------------

TEST(Upsert, IdAloneGivesAnEmptyPayload) {
    Upsert upsert = must_parse<StatementKind::Upsert>("UPSERT INTO c VALUES {id: 1}");
    Upsert expected;
    expected.collection = "c";
    expected.points.push_back(UpsertRow{UpsertRow::Point{id_of(1), std::nullopt, {}}});
    EXPECT_EQ(upsert, expected);
}

TEST(Upsert, IdAndVectorKeysIgnoreCaseAndTheRestIsPayload) {
    Upsert upsert = must_parse<StatementKind::Upsert>("UPSERT INTO c VALUES {ID: 1, Vector: [1, 2], city: 'x'}");
    ASSERT_EQ(upsert.points.size(), 1u);
    EXPECT_EQ(upsert.points[0], (UpsertRow{UpsertRow::Point{id_of(1), dense({1, 2}), {{"city", Literal::str("x")}}}}));
}

TEST(Upsert, OnlyTheKeyVectorNamesVectors) {
    Upsert upsert = must_parse<StatementKind::Upsert>("UPSERT INTO c VALUES {id: 1, vectors: [1, 2]}");
    const auto& point = std::get<UpsertRow::Point>(upsert.points.at(0).value);
    EXPECT_EQ(point.vectors, std::nullopt);
    ASSERT_EQ(point.payload.size(), 1u);
    EXPECT_EQ(point.payload[0].first, "vectors");
}

TEST(Upsert, PlaceholderRowsTakeIndicesOfTheWholeParse) {
    const std::string text = "UPSERT INTO c VALUES :rows, ?, ? SHARD ?";
    Upsert upsert = must_parse<StatementKind::Upsert>(text);
    ASSERT_EQ(upsert.points.size(), 3u);
    const std::vector<std::pair<std::string, Span>> expected = {{":rows", span_of(text, ":rows")},
                                                                {"?0", span_of(text, "?")},
                                                                {"?1", span_of(text, "?", 1)}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto* row = std::get_if<Placeholder>(&upsert.points[i].value);
        ASSERT_NE(row, nullptr) << i;
        EXPECT_EQ(row->text(), expected[i].first);
        EXPECT_EQ(row->span.get(), expected[i].second);
    }
    EXPECT_EQ(upsert.points[0].kind(), UpsertRow::Kind::Param);
    EXPECT_EQ(upsert.points[1].kind(), UpsertRow::Kind::PositionalParam);
    ASSERT_TRUE(upsert.shard_key.has_value());
    EXPECT_EQ(std::get<Placeholder>(upsert.shard_key->value).text(), "?2");
}

// ---- USING and EMBED --------------------------------------------------------------------------

struct EmbeddingCase {
    std::string using_clause;
    UpsertEmbedding expected;
};

void PrintTo(const EmbeddingCase& c, std::ostream* os) { *os << c.using_clause; }

class UpsertUsingTest : public ::testing::TestWithParam<EmbeddingCase> {};

TEST_P(UpsertUsingTest, BuildsTheEmbedding) {
    const EmbeddingCase& c = GetParam();
    Upsert upsert = must_parse<StatementKind::Upsert>("UPSERT INTO c VALUES {id: 1} USING " + c.using_clause);
    EXPECT_EQ(upsert.embedding, c.expected);
}

using E = UpsertEmbedding;

const EmbeddingCase kUsingCases[] = {
    {"DENSE MODEL 'm' INTO dense ON FIELD body", E{E::Dense{{"m", "dense", "body"}}}},
    {"MODEL 'm'", E{E::Dense{{"m", std::nullopt, std::nullopt}}}},
    {"ON body VECTOR v", E{E::Dense{{std::nullopt, "v", "body"}}}},
    {"sparse INTO s", E{E::Sparse{{std::nullopt, "s", std::nullopt}}}},
    {"multi, image", E{E::Multi{{E{E::MultiVector{}}, E{E::Image{}}}}}},
    {"MULTIVECTOR MODEL 'colbert'", E{E::MultiVector{{"colbert", std::nullopt, std::nullopt}}}},
    {"HYBRID DENSE MODEL 'a' SPARSE MODEL 'b'",
     E{E::Hybrid{"a", std::nullopt, std::nullopt, "b", std::nullopt, std::nullopt}}},
    {"HYBRID SPARSE VECTOR s ON FIELD t DENSE INTO d",
     E{E::Hybrid{std::nullopt, "d", std::nullopt, std::nullopt, "s", "t"}}},
    {"HYBRID", E{E::Hybrid{}}},
};
INSTANTIATE_TEST_SUITE_P(Upsert, UpsertUsingTest, ::testing::ValuesIn(kUsingCases));

TEST(Upsert, EmbedEntriesWithAndWithoutKinds) {
    Upsert upsert = must_parse<StatementKind::Upsert>(
        "UPSERT INTO c VALUES {id: 1} EMBED body INTO dense, body INTO s USING SPARSE MODEL 'bm25', "
        "pic INTO img USING image, t INTO m USING MODEL 'x'");
    using K = EmbedFieldKind::Kind;
    const std::vector<EmbedField> expected = {
        {"body", "dense", {K::Dense, std::nullopt}},
        {"body", "s", {K::Sparse, "bm25"}},
        {"pic", "img", {K::Image, std::nullopt}},
        {"t", "m", {K::Dense, "x"}},
    };
    EXPECT_EQ(upsert.embed, expected);
}

TEST(Upsert, UpdateClausesInEitherOrderAndTheTail) {
    Upsert a = must_parse<StatementKind::Upsert>(
        "UPSERT INTO c VALUES {id: 1} UPDATE FILTER city = 'x' UPDATE MODE update_only WAIT true SHARD 'eu'");
    Upsert b = must_parse<StatementKind::Upsert>(
        "UPSERT INTO c VALUES {id: 1} UPDATE MODE UPDATE_ONLY UPDATE FILTER city = 'x' SHARD 'eu' WAIT true");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.update_mode, UpdateMode::UpdateOnly);
    EXPECT_EQ(a.update_filter, (Filter{Filter::Compare{"city", CompareOp::Eq, Literal::str("x")}}));
    EXPECT_EQ(a.shard_key, ShardKey{std::string("eu")});
    EXPECT_EQ(a.wait, true);
}

// ---- DELETE, CLEAR, UPDATE ------------------------------------------------------------------------

TEST(Delete, WhereBecomesAPointSelector) {
    EXPECT_EQ(must_parse<StatementKind::Delete>("DELETE FROM c WHERE id = 7").selector, PointSelector{id_of(7)});
    EXPECT_EQ(must_parse<StatementKind::Delete>("DELETE FROM c WHERE id IN (1, 2)").selector,
              (PointSelector{std::vector<PointId>{id_of(1), id_of(2)}}));
    EXPECT_EQ(must_parse<StatementKind::Delete>("DELETE FROM c WHERE city = 'x'").selector.kind(),
              PointSelector::Kind::Filter);
}

TEST(Delete, VectorAndPayloadForms) {
    DeleteVector vectors = must_parse<StatementKind::DeleteVector>("DELETE VECTOR image, text FROM c WHERE id = 1");
    EXPECT_EQ(vectors.vector_names, (std::vector<std::string>{"image", "text"}));
    EXPECT_EQ(vectors.collection, "c");
    DeletePayload payload = must_parse<StatementKind::DeletePayload>("DELETE PAYLOAD a.b, c FROM col WHERE id = 1");
    EXPECT_EQ(payload.keys, (std::vector<std::string>{"a.b", "c"}));
    EXPECT_EQ(payload.collection, "col");
}

TEST(ClearPayload, SelectorAndWait) {
    ClearPayload clear = must_parse<StatementKind::ClearPayload>("CLEAR PAYLOAD FROM c WHERE id IN (1, 2) WAIT true");
    EXPECT_EQ(clear.selector, (PointSelector{std::vector<PointId>{id_of(1), id_of(2)}}));
    EXPECT_EQ(clear.wait, true);
    EXPECT_EQ(clear.shard_key, std::nullopt);
}

TEST(UpdatePayload, KeyAndOverwriteInEitherOrder) {
    UpdatePayload a =
        must_parse<StatementKind::UpdatePayload>("UPDATE c SET PAYLOAD = {a: 1} OVERWRITE KEY 'meta' WHERE id = 1");
    UpdatePayload b =
        must_parse<StatementKind::UpdatePayload>("UPDATE c SET PAYLOAD = {a: 1} KEY 'meta' OVERWRITE WHERE id = 1");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.key, "meta");
    EXPECT_TRUE(a.overwrite);
    EXPECT_EQ(a.payload, (LiteralDict{{"a", Literal::int64(1)}}));
    UpdatePayload plain = must_parse<StatementKind::UpdatePayload>("UPDATE c SET PAYLOAD = {} WHERE id = 1");
    EXPECT_EQ(plain.key, std::nullopt);
    EXPECT_FALSE(plain.overwrite);
}

TEST(UpdateVector, ValuesRows) {
    UpdateVector update = must_parse<StatementKind::UpdateVector>(
        "UPDATE c SET VECTOR VALUES {id: 1, vector: [0.5, 0.25]}, {ID: 2, VECTOR: {dense: [1, 2]}}");
    const std::vector<UpdateVectorRow> expected = {
        {id_of(1), dense({0.5f, 0.25f})},
        {id_of(2), PointVectors{NamedVectors{{"dense", VectorValue{VectorValue::Dense{{1, 2}}}}}}},
    };
    EXPECT_EQ(update.points, expected);
}

TEST(UpdateVector, SingleFormsWithAndWithoutAName) {
    UpdateVector unnamed = must_parse<StatementKind::UpdateVector>("UPDATE c SET VECTOR = [1, 2] WHERE ID = 5");
    EXPECT_EQ(unnamed.points, (std::vector<UpdateVectorRow>{{id_of(5), dense({1, 2})}}));
    UpdateVector named = must_parse<StatementKind::UpdateVector>("UPDATE c SET VECTOR dense = [1, 2] WHERE id = 5");
    EXPECT_EQ(named.points,
              (std::vector<UpdateVectorRow>{
                  {id_of(5), PointVectors{NamedVectors{{"dense", VectorValue{VectorValue::Dense{{1, 2}}}}}}}}));
}

TEST(MutationTail, ShardAndWaitInEitherOrder) {
    Delete a = must_parse<StatementKind::Delete>("DELETE FROM c WHERE id = 1 WAIT true SHARD 'eu'");
    Delete b = must_parse<StatementKind::Delete>("DELETE FROM c WHERE id = 1 SHARD 'eu' WAIT true");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a.wait, true);
}

// ---- errors ---------------------------------------------------------------------------------

class MutationErrorTest : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(MutationErrorTest, FailsWithCodeMessageAndSpan) {
    const ErrorCase& c = GetParam();
    expect_error(parse_statement(c.text), c);
}

constexpr ErrorKind P = ErrorKind::Parse;
constexpr ErrorKind V = ErrorKind::Validation;

const char* const kUsingRequires =
    "USING requires DENSE, SPARSE, HYBRID, MULTI, IMAGE, MODEL, VECTOR, INTO, or ON FIELD";
const char* const kEmbedRequires = "EMBED USING requires DENSE, SPARSE, MULTI, IMAGE, or MODEL";
const char* const kModeRequires = "UPDATE MODE requires insert_only, update_only, or upsert";

const ErrorCase kUpsertErrors[] = {
    {"UPSERT INTO c VALUES {vector: [1, 2]}", "ZORV-VALIDATION-UPSERT-ID", V, "each UPSERT row requires an id",
     "{vector: [1, 2]}"},
    {"UPSERT INTO c VALUES {id: 1}, {}", "ZORV-VALIDATION-UPSERT-ID", V, "each UPSERT row requires an id", "{}"},
    {"UPSERT INTO c VALUES {id: -1}", "ZORV-VALIDATION-POINT-ID", V, "point IDs must be unsigned integers or strings",
     "{id: -1}"},
    {"UPSERT INTO c VALUES {id: 1},", "ZORV-PARSE-EXPECTED", P, "expected LBRACE but got ''", ""},
    {"UPSERT INTO c VALUES :5", "ZORV-PARSE-PARAM", P, "expected parameter identifier after ':', found '5'", "5"},
    {"UPSERT INTO c VALUES {id: 1} USING", "ZORV-PARSE-EMBEDDING", P, kUsingRequires, ""},
    {"UPSERT INTO c VALUES {id: 1} USING foo", "ZORV-PARSE-EMBEDDING", P, kUsingRequires, "foo"},
    {"UPSERT INTO c VALUES {id: 1} USING HYBRID DENSE DENSE", "ZORV-PARSE-EMBEDDING", P,
     "duplicate clause in HYBRID embedding spec", "DENSE", 1},
    {"UPSERT INTO c VALUES {id: 1} USING MODEL 'a' MODEL 'b'", "ZORV-PARSE-TRAILING", P,
     "unexpected trailing token 'MODEL'", "MODEL", 1},
    {"UPSERT INTO c VALUES {id: 1} EMBED body INTO v USING x", "ZORV-PARSE-EMBED", P, kEmbedRequires, "x"},
    {"UPSERT INTO c VALUES {id: 1} EMBED body INTO v USING", "ZORV-PARSE-EMBED", P, kEmbedRequires, ""},
    {"UPSERT INTO c VALUES {id: 1} EMBED body v", "ZORV-PARSE-EXPECTED", P, "expected INTO but got 'v'", "v"},
    {"UPSERT INTO c VALUES {id: 1} UPDATE MODE replace", "ZORV-PARSE-UPSERT-MODE", P, kModeRequires, "replace"},
    {"UPSERT INTO c VALUES {id: 1} UPDATE MODE", "ZORV-PARSE-UPSERT-MODE", P, kModeRequires, ""},
    {"UPSERT INTO c VALUES {id: 1} UPDATE MODE upsert UPDATE MODE upsert", "ZORV-PARSE-DUPLICATE-CLAUSE", P,
     "duplicate UPDATE MODE clause", "UPDATE", 1},
    {"UPSERT INTO c VALUES {id: 1} UPDATE FILTER a = 1 UPDATE FILTER a = 2", "ZORV-PARSE-DUPLICATE-CLAUSE", P,
     "duplicate UPDATE FILTER clause", "UPDATE", 1},
    // Clauses out of order are left for the caller.
    {"UPSERT INTO c VALUES {id: 1} UPDATE MODE upsert EMBED a INTO b", "ZORV-PARSE-TRAILING", P,
     "unexpected trailing token 'EMBED'", "EMBED"},
    {"UPSERT INTO c VALUES {id: 1} WAIT true UPDATE FILTER a = 1", "ZORV-PARSE-TRAILING", P,
     "unexpected trailing token 'UPDATE'", "UPDATE"},
    {"UPSERT INTO c VALUES {id: 1} USING DENSE EMBED a INTO b USING DENSE MODEL 'm' USING", "ZORV-PARSE-TRAILING", P,
     "unexpected trailing token 'USING'", "USING", 2},
};
INSTANTIATE_TEST_SUITE_P(Upsert, MutationErrorTest, ::testing::ValuesIn(kUpsertErrors));

const ErrorCase kTailErrors[] = {
    {"DELETE FROM c WHERE id = 1 WAIT maybe", "ZORV-PARSE-BOOL", P, "expected true or false", "maybe"},
    {"DELETE FROM c WHERE id = 1 WAIT", "ZORV-PARSE-BOOL", P, "expected true or false", ""},
    {"DELETE FROM c WHERE id = 1 WAIT true WAIT false SHARD 'x'", "ZORV-PARSE-DUPLICATE-CLAUSE", P,
     "duplicate WAIT clause", "SHARD"},
    {"UPSERT INTO c VALUES {id: 1} WAIT true WAIT false", "ZORV-PARSE-DUPLICATE-CLAUSE", P, "duplicate WAIT clause",
     ""},
    {"CLEAR PAYLOAD FROM c WHERE id = 1 SHARD 'a' SHARD 'b'", "ZORV-PARSE-TRAILING", P,
     "unexpected trailing token 'SHARD'", "SHARD", 1},
};
INSTANTIATE_TEST_SUITE_P(Tail, MutationErrorTest, ::testing::ValuesIn(kTailErrors));

const char* const kUpdateSet = "expected VECTOR or PAYLOAD after SET";

const ErrorCase kUpdateDeleteErrors[] = {
    {"DELETE FROM c", "ZORV-PARSE-EXPECTED", P, "expected WHERE but got ''", ""},
    {"DELETE VECTOR a FROM c", "ZORV-PARSE-EXPECTED", P, "expected WHERE but got ''", ""},
    {"DELETE PAYLOAD a, FROM c WHERE id = 1", "ZORV-PARSE-EXPECTED", P, "expected FROM but got 'c'", "c"},
    {"CLEAR FROM c WHERE id = 1", "ZORV-PARSE-EXPECTED", P, "expected PAYLOAD but got 'FROM'", "FROM"},
    {"UPDATE c SET NAME = 1", "ZORV-PARSE-UPDATE", P, kUpdateSet, "NAME"},
    {"UPDATE c SET", "ZORV-PARSE-UPDATE", P, kUpdateSet, ""},
    {"UPDATE c SET PAYLOAD = {a: 1} KEY 'a' KEY 'b' WHERE id = 1", "ZORV-PARSE-DUPLICATE-CLAUSE", P,
     "duplicate KEY clause", "KEY", 1},
    {"UPDATE c SET PAYLOAD = {a: 1} OVERWRITE KEY 'a' OVERWRITE WHERE id = 1", "ZORV-PARSE-DUPLICATE-CLAUSE", P,
     "duplicate OVERWRITE clause", "OVERWRITE", 1},
    {"UPDATE c SET PAYLOAD = {a: 1}", "ZORV-PARSE-EXPECTED", P, "expected WHERE but got ''", ""},
    {"UPDATE c SET VECTOR VALUES {id: 1}", "ZORV-VALIDATION-UPDATE-VECTOR", V,
     "each UPDATE VECTOR row requires a vector", "{id: 1}"},
    {"UPDATE c SET VECTOR VALUES {vector: [1]}", "ZORV-VALIDATION-UPDATE-VECTOR", V,
     "each UPDATE VECTOR row requires an id", "{vector: [1]}"},
    {"UPDATE c SET VECTOR VALUES {id: 1, vector: [1]}, {}", "ZORV-VALIDATION-UPDATE-VECTOR", V,
     "each UPDATE VECTOR row requires an id", "{}"},
    {"UPDATE c SET VECTOR VALUES {id: 1, vector: [1], extra: 2}", "ZORV-VALIDATION-UPDATE-VECTOR", V,
     "UPDATE VECTOR VALUES rows accept only id and vector, not 'extra'", "{id: 1, vector: [1], extra: 2}"},
    {"UPDATE c SET VECTOR = [1] WHERE id IN (5)", "ZORV-PARSE-EXPECTED", P, "expected EQUALS but got 'IN'", "IN"},
    {"UPDATE c SET VECTOR = [1] WHERE a = 5", "ZORV-PARSE-EXPECTED", P, "expected ID but got 'a'", "a"},
    {"UPDATE c SET VECTOR = [1] WHERE ID = 1.5", "ZORV-PARSE-POINT-ID", P,
     "UPDATE VECTOR requires an unsigned integer or string point ID", "1.5"},
    {"UPDATE c SET VECTOR v [1] WHERE id = 1", "ZORV-PARSE-EXPECTED", P, "expected EQUALS but got '['", "["},
};
INSTANTIATE_TEST_SUITE_P(UpdateDelete, MutationErrorTest, ::testing::ValuesIn(kUpdateDeleteErrors));

}  // namespace
}  // namespace zorv::core
