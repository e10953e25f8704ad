#include "embed/embedding_cursor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "core/fmt/statement.h"
#include "core/parser/parser.h"

namespace zorv::embed {
namespace {

struct WriteBackCase {
    std::string text;
    std::vector<EmbeddingJob> jobs;
    std::vector<EmbeddingOutput> outputs;
    std::string expected;  // the canonical text afterwards, or "CODE: message"
};

void PrintTo(const WriteBackCase& c, std::ostream* os) { *os << c.text << " / " << c.expected; }

std::string written_back(const WriteBackCase& c) {
    auto statement = core::parse_statement(c.text);
    EXPECT_TRUE(statement) << c.text;
    if (!statement) return "unparsed";
    EmbeddingCursor cursor{c.jobs, c.outputs};
    auto out = start_query_write_back(*statement->get<core::StatementKind::Query>(), cursor);
    if (out) out = finish_embedding_cursor(std::move(cursor));
    if (!out) {
        EXPECT_EQ(out.error().kind, core::ErrorKind::Execution);
        return out.error().code + ": " + out.error().message;
    }
    std::string text = core::format_statement(*statement);
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

class WriteBack : public testing::TestWithParam<WriteBackCase> {};

TEST_P(WriteBack, ReplacesInputsInWalkOrderOrFails) { EXPECT_EQ(written_back(GetParam()), GetParam().expected); }

EmbeddingJob job(EmbedKind kind) { return EmbeddingJob{"default", "x", kind}; }

const EmbeddingOutput kDense = EmbeddingOutput::dense({0.5F, 0.25F});
const EmbeddingOutput kSparse = EmbeddingOutput::sparse({{3, 9}, {0.5F, 1.0F}});

INSTANTIATE_TEST_SUITE_P(
    Rewrites, WriteBack,
    testing::Values(
        WriteBackCase{"QUERY [1.0] FROM docs", {}, {}, "QUERY [1.0] FROM docs"},
        WriteBackCase{"QUERY TEXT 'x' MODEL 'm' FROM docs USING v AS DENSE",
                      {job(EmbedKind::Dense)},
                      {kDense},
                      "QUERY [0.5, 0.25] FROM docs USING v AS DENSE"},
        WriteBackCase{"QUERY TEXT 'x' FROM docs USING s AS SPARSE",
                      {job(EmbedKind::Sparse)},
                      {kSparse},
                      "QUERY {indices: [3, 9], values: [0.5, 1.0]} FROM docs USING s AS SPARSE"},
        WriteBackCase{"QUERY TEXT 'x' FROM docs USING m AS MULTI",
                      {job(EmbedKind::Multi)},
                      {EmbeddingOutput::multi({{0.5F}, {0.25F}})},
                      "QUERY [[0.5], [0.25]] FROM docs USING m AS MULTI"},
        WriteBackCase{"QUERY RECOMMEND POSITIVE (IMAGE 'i.png', POINT 1) NEGATIVE (TEXT 't') FROM docs",
                      {job(EmbedKind::Image), job(EmbedKind::Dense)},
                      {EmbeddingOutput::image({1.0F}), kDense},
                      "QUERY RECOMMEND POSITIVE (VECTOR [1.0], 1) NEGATIVE (VECTOR [0.5, 0.25]) FROM docs"},
        // Unnamed HYBRID vectors default to "dense" and "sparse"; the stages take the statement's search
        // settings and the outer query keeps its own.
        WriteBackCase{"QUERY HYBRID TEXT 'x' FUSION DBSF FROM docs WHERE a = 1 SCORE THRESHOLD 0.5 LIMIT 2 OFFSET 1",
                      {job(EmbedKind::Dense), job(EmbedKind::Sparse)},
                      {kDense, kSparse},
                      "QUERY FUSION DBSF FROM docs PREFETCH (QUERY [0.5, 0.25] USING dense AS DENSE WHERE a = 1 "
                      "SCORE THRESHOLD 0.5 LIMIT 30, QUERY {indices: [3, 9], values: [0.5, 1.0]} USING sparse AS "
                      "SPARSE WHERE a = 1 SCORE THRESHOLD 0.5 LIMIT 30) WHERE a = 1 SCORE THRESHOLD 0.5 LIMIT 2 "
                      "OFFSET 1"}));

INSTANTIATE_TEST_SUITE_P(
    Errors, WriteBack,
    testing::Values(
        WriteBackCase{"QUERY TEXT 'x' FROM docs",
                      {job(EmbedKind::Sparse)},
                      {kSparse},
                      "ZORV-EMBEDDING: internal error: embedding job mismatch at index 0 (collect walked sparse leg, "
                      "apply walked dense leg)"},
        WriteBackCase{
            "QUERY TEXT 'x' FROM docs", {}, {}, "ZORV-EMBEDDING: internal error: ran out of dense embeddings"},
        WriteBackCase{"QUERY TEXT 'x' FROM docs",
                      {job(EmbedKind::Dense)},
                      {},
                      "ZORV-EMBEDDING: internal error: ran out of dense embeddings"},
        WriteBackCase{"QUERY HYBRID TEXT 'x' FROM docs",
                      {job(EmbedKind::Dense)},
                      {kDense},
                      "ZORV-EMBEDDING-SPARSE: internal error: ran out of sparse embeddings for HYBRID"},
        WriteBackCase{"QUERY TEXT 'x' FROM docs",
                      {job(EmbedKind::Dense), job(EmbedKind::Sparse)},
                      {kDense, kSparse},
                      "ZORV-EMBEDDING-SPARSE: internal error: unused sparse embeddings after apply"},
        WriteBackCase{"QUERY TEXT 'x' FROM docs",
                      {job(EmbedKind::Dense)},
                      {kSparse},
                      "ZORV-EMBEDDING: internal error: dense job produced a non-dense output"},
        WriteBackCase{"QUERY TEXT 'x' FROM docs",
                      {job(EmbedKind::Dense)},
                      {EmbeddingOutput::dense({})},
                      "ZORV-EMBEDDING: embed_dense_batch returned an empty vector"},
        WriteBackCase{"QUERY TEXT 'x' FROM docs USING m AS MULTI",
                      {job(EmbedKind::Multi)},
                      {EmbeddingOutput::multi({})},
                      "ZORV-EMBEDDING-MULTI: embed_multi returned an empty multivector"},
        WriteBackCase{"QUERY IMAGE 'i.png' FROM docs",
                      {job(EmbedKind::Image)},
                      {EmbeddingOutput::image({})},
                      "ZORV-EMBEDDING-IMAGE: embed_image returned an empty vector"},
        WriteBackCase{"QUERY IMAGE 'i.png' FROM docs USING v AS SPARSE",
                      {job(EmbedKind::Image)},
                      {EmbeddingOutput::image({1.0F})},
                      "ZORV-VECTOR-KIND: IMAGE input requires a dense target, not sparse"}));

}  // namespace
}  // namespace zorv::embed
