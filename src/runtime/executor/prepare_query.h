// Preparing a QUERY: USING names settled from the collection's vectors, then TEXT and IMAGE inputs
// embedded on the client when the executor has an embedder.
#pragma once

#include "core/ast/query.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// Rewrites `query` in place; the caller owns it until the awaitable completes.
AsyncResult<void> prepare_query(Executor& executor, core::Query& query);

// The vector names of a query that reads FROM a collection and leaves a target open.
AsyncResult<void> resolve_query_names(Executor& executor, core::Query& query);

// Client-side embedding of every TEXT and IMAGE input. The walk also enforces the nesting limit.
AsyncResult<void> embed_query_inputs(std::shared_ptr<const embed::Embedder> embedder, core::Query& query);

}  // namespace zorv::runtime
