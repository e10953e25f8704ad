// Statement explanations: the header and tree lines of every statement kind.
#include <gtest/gtest.h>

#include <string>

#include "core/explain.h"
#include "test_support.h"

namespace zorv::core {
namespace {

using test_support::must_parse;
using test_support::TextCase;

class Explain : public testing::TestWithParam<TextCase> {};

TEST_P(Explain, WritesTheLinesOfItsKind) {
    const TextCase& c = GetParam();
    EXPECT_EQ(explain_statement(must_parse(c.input)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Queries, Explain,
    testing::Values(
        // without LIMIT and OFFSET the pagination shows the defaults
        TextCase{"QUERY POINTS (1, 2) FROM c",
                 "Statement: QUERY [retrieve points by ID]\n├── Collection: c\n"
                 "└── Pagination: limit=default, offset=0\n"},
        TextCase{"QUERY [1.0] FROM c USING v AS DENSE WHERE a = 1 SHARD 'x' PARAMS (exact = true) "
                 "SCORE THRESHOLD 0.25 GROUP BY g SIZE 3 WITH PAYLOAD INCLUDE (a, b) WITH VECTOR (v) LIMIT 5 OFFSET 2",
                 "Statement: QUERY [nearest neighbors from a vector]\n├── Collection: c\n"
                 "├── Target Vector: v as Dense\n├── Shard Key: 'x'\n├── Filter: a = 1\n"
                 "├── Search Params: exact = true\n├── Score Threshold: 0.25\n├── Group By: g (size: 3)\n"
                 "├── Payload: INCLUDE (a, b)\n├── Vectors: (v)\n└── Pagination: limit=5, offset=2\n"},
        // placeholders show as stored, the positional one with its index
        TextCase{"QUERY ? FROM c USING v LIMIT :n OFFSET ?",
                 "Statement: QUERY [nearest neighbors from query parameter]\n├── Collection: c\n"
                 "├── Target Vector: v\n└── Pagination: limit=:n, offset=?1\n"},
        TextCase{"QUERY TEXT 'hi' FROM c SHARD 7 WITH PAYLOAD false WITH VECTOR true",
                 "Statement: QUERY [nearest neighbors from text]\n├── Collection: c\n├── Shard Key: 7\n"
                 "├── Payload: NONE\n├── Vectors: ALL\n└── Pagination: limit=default, offset=0\n"},
        TextCase{"QUERY POINT 3 FROM c WITH PAYLOAD EXCLUDE (x)",
                 "Statement: QUERY [nearest neighbors from a point]\n├── Collection: c\n"
                 "├── Payload: EXCLUDE (x)\n└── Pagination: limit=default, offset=0\n"},
        // MMR whatever the input
        TextCase{"QUERY MMR 'q' DIVERSITY 0.5 CANDIDATES 10 FROM c",
                 "Statement: QUERY [maximal marginal relevance (MMR) search]\n├── Collection: c\n"
                 "└── Pagination: limit=default, offset=0\n"},
        TextCase{"QUERY HYBRID TEXT 'x' DENSE d FUSION DBSF FROM c",
                 "Statement: QUERY [hybrid shorthand (dense + sparse)]\n├── Collection: c\n"
                 "├── Target Vector: dense='d', sparse='sparse', fusion=DBSF\n"
                 "└── Pagination: limit=default, offset=0\n"},
        TextCase{"WITH a AS (QUERY [1.0]), b AS (QUERY POINTS (1)) QUERY FUSION RRF FROM c "
                 "PREFETCH (a, QUERY TEXT 't' LIMIT 5, b)",
                 "Statement: QUERY [fuse prefetched result sets]\n├── Collection: c\n├── CTEs (2):\n"
                 "│   ├── 'a': nearest neighbors from a vector\n│   └── 'b': retrieve points by ID\n"
                 "├── Prefetches (3):\n│   ├── [1] CTE 'a'\n│   ├── [2] inline query: nearest neighbors from text\n"
                 "│   └── [3] CTE 'b'\n└── Pagination: limit=default, offset=0\n"},
        TextCase{"QUERY RECOMMEND POSITIVE (POINT 1) FROM c USING v AS SPARSE",
                 "Statement: QUERY [recommend from positive and negative examples]\n├── Collection: c\n"
                 "├── Target Vector: v as Sparse\n└── Pagination: limit=default, offset=0\n"},
        TextCase{"QUERY CONTEXT (POSITIVE POINT 1 NEGATIVE POINT 2) FROM c",
                 "Statement: QUERY [context search]\n├── Collection: c\n└── Pagination: limit=default, offset=0\n"},
        TextCase{"QUERY DISCOVER TARGET POINT 1 CONTEXT (POSITIVE POINT 2 NEGATIVE POINT 3) FROM c USING v",
                 "Statement: QUERY [discovery search]\n├── Collection: c\n├── Target Vector: v\n"
                 "└── Pagination: limit=default, offset=0\n"},
        TextCase{"QUERY FORMULA $score + 1 FROM c PREFETCH (QUERY [1.0] LIMIT 9)",
                 "Statement: QUERY [formula-based scoring]\n├── Collection: c\n├── Prefetches (1):\n"
                 "│   └── [1] inline query: nearest neighbors from a vector\n"
                 "└── Pagination: limit=default, offset=0\n"},
        TextCase{"QUERY CROSS RERANK 'q' MODEL 'ce' FROM c PREFETCH (QUERY [1.0] LIMIT 9)",
                 "Statement: QUERY [cross-encoder pair rerank of prefetched candidates]\n├── Collection: c\n"
                 "├── Prefetches (1):\n│   └── [1] inline query: nearest neighbors from a vector\n"
                 "└── Pagination: limit=default, offset=0\n"}));

INSTANTIATE_TEST_SUITE_P(
    OtherStatements, Explain,
    testing::Values(
        TextCase{"SCROLL FROM c WHERE a = 1 ORDER BY price DESC SHARD 'eu' LIMIT 10",
                 "Statement: SCROLL\n├── Collection: c\n├── Filter: a = 1\n├── Order By: price Desc\n"
                 "├── Shard Key: 'eu'\n└── Limit: 10\n"},
        TextCase{"SCROLL FROM c LIMIT ?", "Statement: SCROLL\n├── Collection: c\n└── Limit: ?0\n"},
        TextCase{"UPSERT INTO c VALUES {id: 1}, {id: 2}",
                 "Statement: UPSERT\n├── Collection: c\n├── Points: 2\n├── Status: direct payload\n"},
        TextCase{"COUNT FROM c WHERE a > 1",
                 "Statement: COUNT\n├── Collection: c\n├── Filter: a > 1\n└── Exact: false\n"},
        TextCase{"FACET city FROM c WHERE a = 1 LIMIT :top EXACT true SHARD 'x'",
                 "Statement: FACET\n├── Key: city\n├── Collection: c\n├── Filter: a = 1\n├── Shard Key: 'x'\n"
                 "├── Limit: :top\n└── Exact: true\n"},
        TextCase{"CREATE COLLECTION c (v VECTOR(4, COSINE), w VECTOR(2, DOT), s SPARSE)",
                 "Statement: CREATE COLLECTION\n├── Collection: c\n├── Mode: dense\n└── Vectors: 2 dense, 1 sparse\n"},
        TextCase{"CREATE COLLECTION c HYBRID",
                 "Statement: CREATE COLLECTION\n├── Collection: c\n├── Mode: hybrid\n└── Vectors: 0 dense, 0 sparse\n"},
        TextCase{"UPSERT INTO c VALUES {id: 1}, :rows EMBED body INTO dense UPDATE MODE UPDATE_ONLY UPDATE FILTER "
                 "city = 'x' SHARD 'eu' WAIT true",
                 "Statement: UPSERT\n├── Collection: c\n├── Points: 2\n├── Update Filter: city = 'x'\n"
                 "├── Update Mode: UpdateOnly\n├── Shard Key: 'eu'\n├── Embed Directives: 1\n└── Wait: true\n"},
        TextCase{"CREATE INDEX ON COLLECTION c FOR 'a.b' TYPE keyword",
                 "Statement: CREATE INDEX\n├── Collection: c\n└── Field: a.b\n"},
        TextCase{"DROP INDEX ON COLLECTION c FOR f", "Statement: DROP INDEX\n├── Collection: c\n└── Field: f\n"},
        TextCase{"CREATE SHARD KEY 'e\\'u' ON COLLECTION c",
                 "Statement: CREATE SHARD KEY\n├── Collection: c\n└── Shard: 'e\\'u'\n"},
        TextCase{"DROP SHARD KEY ? ON COLLECTION c", "Statement: DROP SHARD KEY\n├── Collection: c\n└── Shard: ?\n"},
        TextCase{"ALTER COLLECTION c WITH STRICT_MODE (max_timeout = 5)", "Statement: ALTER COLLECTION [c]\n"},
        TextCase{"SHOW COLLECTION c", "Statement: SHOW COLLECTION [c]\n"},
        TextCase{"SHOW SHARD KEYS ON COLLECTION c", "Statement: SHOW SHARD KEYS [c]\n"},
        TextCase{"DROP COLLECTION c", "Statement: DROP COLLECTION [c]\n"},
        TextCase{"SHOW COLLECTIONS", "Statement: SHOW COLLECTIONS\n"},
        TextCase{"SHOW QUOTAS", "Statement: SHOW QUOTAS\n"},
        TextCase{"DELETE FROM c WHERE id = 7", "Statement: DELETE FROM c\n├── Selector: id = 7\n"},
        TextCase{"DELETE FROM c WHERE id IN (1, 'u') SHARD ? WAIT true",
                 "Statement: DELETE FROM c\n├── Selector: id IN (1, 'u')\n├── Shard Key: ?\n└── Wait: true\n"},
        TextCase{"DELETE PAYLOAD 'a\"b', c FROM col WHERE id = 1",
                 "Statement: DELETE PAYLOAD ([\"a\\\"b\", \"c\"]) ON col\n├── Selector: id = 1\n"},
        TextCase{"DELETE VECTOR image, 'text-v' FROM c WHERE id = :p",
                 "Statement: DELETE VECTOR ([\"image\", \"text-v\"]) ON c\n├── Selector: id = :p\n"},
        TextCase{"CLEAR PAYLOAD FROM c WHERE city = 'x' SHARD 3",
                 "Statement: CLEAR PAYLOAD ON c\n├── Selector: city = 'x'\n├── Shard Key: 3\n"},
        TextCase{"UPDATE c SET VECTOR VALUES {id: 1, vector: [0.1, 0.2]}, {id: 2, vector: [0.3, 0.4]} WAIT true",
                 "Statement: UPDATE VECTOR ON c\n├── Points: 2\n└── Wait: true\n"},
        TextCase{"UPDATE c SET PAYLOAD = {a: 1} OVERWRITE KEY 'meta' WHERE id = 1 WAIT false",
                 "Statement: UPDATE PAYLOAD ON c\n├── Key: meta\n├── Overwrite: true\n├── Selector: id = 1\n"
                 "└── Wait: false\n"},
        // strings unescaped, containers by kind
        TextCase{"SET QUOTA (a = 1, b = 'it\\'s', d = [1.5, null], e = {k: 1}, f = 2.5, g = :x)",
                 "Statement: SET QUOTA\n  a = 1\n  b = 'it's'\n  d = <list>\n  e = <object>\n  f = 2.5\n  g = :x\n"},
        // every member with a middle branch, none closing
        TextCase{"BATCH { QUERY [1.0] FROM a; DELETE FROM b WHERE id = 1; UPSERT INTO c VALUES {id: 1} }",
                 "Statement: BATCH [3 members]\n├── Member 1: QUERY\n├── Member 2: DELETE\n├── Member 3: UPSERT\n"}));

}  // namespace
}  // namespace zorv::core
