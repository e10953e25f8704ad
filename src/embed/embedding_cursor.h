// Client-side embedding of a QUERY, last two steps: the outputs go back into the inputs they came
// from, walking the tree in the collection walk's order (a HYBRID becomes a FUSION on the way), and
// the cursor then checks that every output found its input.
#pragma once

#include <cstddef>
#include <vector>

#include "core/ast/query.h"
#include "core/error.h"
#include "embed/embedding_job.h"

namespace zorv::embed {

struct EmbeddingCursor {
    std::vector<EmbeddingJob> jobs;
    std::vector<EmbeddingOutput> outputs;  // one per job, consumed front to back
    std::size_t position = 0;              // the next job to answer
};

// Rewrites `query` in place; on an error, what was rewritten before it stays rewritten.
core::Result<void> start_query_write_back(core::Query& query, EmbeddingCursor& cursor);

// Fails when a job was left unanswered.
core::Result<void> finish_embedding_cursor(EmbeddingCursor cursor);

}  // namespace zorv::embed
