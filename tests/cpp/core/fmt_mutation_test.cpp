// Canonical text of SCROLL, COUNT, FACET and the point mutations, and their print/parse round trip.
#include <gtest/gtest.h>

#include <string>

#include "core/fmt/mutation.h"
#include "core/fmt/statement.h"
#include "core/parser/parser.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::TextCase;

class CanonicalTextTest : public ::testing::TestWithParam<TextCase> {};

// `expected` empty: the text is canonical already.
TEST_P(CanonicalTextTest, PrintsAndRoundTrips) { test_support::expect_canonical_round_trip(GetParam()); }

const TextCase kReadCases[] = {
    {"scroll from c limit 10", "SCROLL FROM c LIMIT 10"},
    // The clause order of the printer is the parser's; START FROM stays inside ORDER BY.
    {"SCROLL FROM 'my coll' WHERE a = 1 AFTER 'p-1' ORDER BY price START FROM 10 SHARD 'eu' WITH PAYLOAD "
     "INCLUDE (a) WITH VECTOR LIMIT :n",
     "SCROLL FROM 'my coll' WHERE a = 1 AFTER 'p-1' ORDER BY price ASC START FROM 10 SHARD 'eu' WITH PAYLOAD "
     "INCLUDE (a) WITH VECTOR true LIMIT :n"},
    {"SCROLL FROM c ORDER BY price DESC WITH VECTOR (dense) LIMIT ?", ""},
    {"SCROLL FROM c AFTER ? WITH PAYLOAD false LIMIT ?", ""},
    {"COUNT FROM c", ""},
    {"count from c where a > 1 and b = 'x' shard 7 with (EXACT = false)",
     "COUNT FROM c WHERE a > 1 AND b = 'x' SHARD 7 WITH (exact = false)"},
    {"FACET FROM c KEY 'meta.city'", "FACET 'meta.city' FROM c"},
    // FACET prints WHERE, LIMIT, EXACT, SHARD whatever the written order.
    {"FACET city FROM c SHARD 'x' EXACT LIMIT 5 WHERE a = 1",
     "FACET city FROM c WHERE a = 1 LIMIT 5 EXACT true SHARD 'x'"},
    {"FACET city FROM c WITH (exact = false, limit = 3)", "FACET city FROM c LIMIT 3 EXACT false"},
    // A key spelled FROM is quoted: bare, FACET FROM FROM c would read back with key and collection swapped.
    {"FACET 'from' FROM c", ""},
    {"FACET FROM c KEY From", "FACET 'From' FROM c"},
    {"FACET city FROM c LIMIT ?", ""},
    {"FACET city FROM c LIMIT :top", ""},
};
INSTANTIATE_TEST_SUITE_P(Read, CanonicalTextTest, ::testing::ValuesIn(kReadCases));

const TextCase kUpsertCases[] = {
    {"upsert into c values {id: 1}", "UPSERT INTO c VALUES {id: 1}"},
    {"UPSERT INTO c VALUES {ID: 1, city: 'x', Vector: [1, 2]}",
     "UPSERT INTO c VALUES {id: 1, vector: [1.0, 2.0], city: 'x'}"},
    // Two or more rows: one per line, indented.
    {"UPSERT INTO c VALUES {id: 1, vector: {a: [0.5], s: {indices: [3], values: [1]}}}, ?, :more, {id: 'u', "
     "vector: [[1, 2], [3, 4]], 'a b': null}",
     "UPSERT INTO c VALUES\n  {id: 1, vector: {a: [0.5], s: {indices: [3], values: [1.0]}}},\n  ?,\n  :more,\n"
     "  {id: 'u', vector: [[1.0, 2.0], [3.0, 4.0]], 'a b': null}"},
    {"UPSERT INTO c VALUES {id: 1, vector: {text: 'hello', model: 'm'}, tags: ['a', 'b'], meta: {n: 1.5}}", ""},
    {"UPSERT INTO c VALUES {id: :id, vector: :v, n: ?}", ""},
    {"UPSERT INTO c VALUES :rows", ""},
    {"UPSERT INTO c VALUES {id: 1} USING MODEL 'm' INTO dense ON body",
     "UPSERT INTO c VALUES {id: 1} USING DENSE MODEL 'm' ON FIELD body INTO dense"},
    {"UPSERT INTO c VALUES {id: 1} USING multi, image VECTOR pic",
     "UPSERT INTO c VALUES {id: 1} USING MULTIVECTOR, IMAGE INTO pic"},
    {"UPSERT INTO c VALUES {id: 1} USING HYBRID SPARSE MODEL 'b' INTO s DENSE ON FIELD t",
     "UPSERT INTO c VALUES {id: 1} USING HYBRID DENSE ON FIELD t SPARSE MODEL 'b' VECTOR s"},
    {"UPSERT INTO c VALUES {id: 1} USING HYBRID", ""},
    {"UPSERT INTO c VALUES {id: 1} EMBED body INTO dense",
     "UPSERT INTO c VALUES {id: 1} EMBED body INTO dense USING DENSE"},
    // Two or more EMBED entries: a new line for EMBED, then one entry per indented line.
    {"UPSERT INTO c VALUES {id: 1} EMBED body INTO s USING sparse MODEL 'bm25', pic INTO img USING IMAGE, t INTO m "
     "USING multivector",
     "UPSERT INTO c VALUES {id: 1}\nEMBED body INTO s USING SPARSE MODEL 'bm25',\n  pic INTO img USING IMAGE,\n"
     "  t INTO m USING MULTI"},
    {"UPSERT INTO c VALUES {id: 1} UPDATE MODE insert_only UPDATE FILTER v < 3 WAIT false SHARD 'eu'",
     "UPSERT INTO c VALUES {id: 1} UPDATE FILTER v < 3 UPDATE MODE insert_only SHARD 'eu' WAIT false"},
};
INSTANTIATE_TEST_SUITE_P(Upsert, CanonicalTextTest, ::testing::ValuesIn(kUpsertCases));

const TextCase kPointMutationCases[] = {
    {"delete from c where id = 7", "DELETE FROM c WHERE id = 7"},
    {"DELETE FROM c WHERE id IN (1, 'u') SHARD ? WAIT true", ""},
    {"DELETE FROM c WHERE city = 'x' OR NOT id = 3", ""},
    {"DELETE VECTOR image, 'text-v' FROM c WHERE id = :p", ""},
    {"DELETE PAYLOAD a.b, c FROM col WHERE id IN (1, 2)", "DELETE PAYLOAD 'a.b', c FROM col WHERE id IN (1, 2)"},
    {"CLEAR PAYLOAD FROM c WHERE id IN (1, 2) WAIT true", ""},
    {"UPDATE c SET PAYLOAD = {a: 1, 'b c': [true, null]} OVERWRITE KEY 'meta' WHERE id = 1 WAIT false",
     "UPDATE c SET PAYLOAD = {a: 1, 'b c': [true, null]} KEY 'meta' OVERWRITE WHERE id = 1 WAIT false"},
    {"UPDATE c SET PAYLOAD = {} WHERE tag = 'x'", ""},
    // UPDATE VECTOR: one row prints as the single form, several as VALUES rows on their own lines.
    {"UPDATE c SET VECTOR VALUES {id: 1, vector: [0.1, 0.2]}", "UPDATE c SET VECTOR = [0.1, 0.2] WHERE id = 1"},
    {"UPDATE c SET VECTOR VALUES {id: 1, vector: {dense: [1]}}", "UPDATE c SET VECTOR dense = [1.0] WHERE id = 1"},
    {"UPDATE c SET VECTOR VALUES {id: 1, vector: [0.1, 0.2]}, {id: 2, vector: {dense: [1, 2], s: {indices: [1], "
     "values: [2]}}} SHARD 'a'",
     "UPDATE c SET VECTOR VALUES\n  {id: 1, vector: [0.1, 0.2]},\n  {id: 2, vector: {dense: [1.0, 2.0], s: "
     "{indices: [1], values: [2.0]}}} SHARD 'a'"},
    {"UPDATE c SET VECTOR = {a: [1], b: [2]} WHERE ID = 'p'",
     "UPDATE c SET VECTOR = {a: [1.0], b: [2.0]} WHERE id = 'p'"},
    {"UPDATE c SET VECTOR 'my vec' = :v WHERE id = ?", ""},
    {"UPDATE c SET VECTOR = ? WHERE id = 5 WAIT true", ""},
};
INSTANTIATE_TEST_SUITE_P(PointMutations, CanonicalTextTest, ::testing::ValuesIn(kPointMutationCases));

TEST(FormatMutation, EmbeddingClausesOfEveryKind) {
    using E = UpsertEmbedding;
    EXPECT_EQ(format_upsert_embedding(E{E::Dense{}}), "DENSE");
    EXPECT_EQ(format_upsert_embedding(E{E::Sparse{{"bm25", "s", "body text"}}}),
              "SPARSE MODEL 'bm25' ON FIELD 'body text' INTO s");
    EXPECT_EQ(format_upsert_embedding(E{E::Hybrid{std::nullopt, "d", std::nullopt, std::nullopt, std::nullopt, "t"}}),
              "HYBRID DENSE VECTOR d SPARSE ON FIELD t");
    EXPECT_EQ(format_upsert_embedding(E{E::Multi{{E{E::Image{{"clip", std::nullopt, std::nullopt}}}, E{E::Hybrid{}}}}}),
              "IMAGE MODEL 'clip', HYBRID");
    EXPECT_EQ(format_embed_field(EmbedField{"a.b", "v", {EmbedFieldKind::Kind::Multi, "it's"}}),
              "'a.b' INTO v USING MULTI MODEL 'it\\'s'");
}

}  // namespace
}  // namespace zorv::core
