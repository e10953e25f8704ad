// Client-side embedding of a QUERY's TEXT and IMAGE inputs, first two steps: collect one job per
// input to embed (two per HYBRID) in walk order, then embed them with one batch call per kind and
// model. The write-back is embed/embedding_cursor.h.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "core/ast/query.h"
#include "core/error.h"
#include "embed/embedder.h"
#include "embed/embedding_job.h"

namespace zorv::embed {

// Appends the jobs of `query` to `jobs` and changes nothing in the tree. `depth` counts the CTE and
// PREFETCH levels above `query`; past 64 is ZORV-VALIDATION-NESTING.
core::Result<void> check_query_vector_kinds(const core::Query& query, std::vector<EmbeddingJob>& jobs, unsigned depth);

// One output per job, in job order. The calls run one after another, each awaited before the next.
AsyncResult<std::vector<EmbeddingOutput>> resolve_query_embeddings(std::shared_ptr<const Embedder> embedder,
                                                                   std::vector<EmbeddingJob> jobs);

// Positions into `models` grouped by model: one group in order when all are equal, else groups in
// ascending byte order of the model, each keeping the order of its positions.
std::vector<std::vector<std::size_t>> group_by_model(const std::vector<const std::string*>& models);

}  // namespace zorv::embed
