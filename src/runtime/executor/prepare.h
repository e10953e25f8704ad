// Statement preparation: what a statement needs from the server's view of its collection or from
// the embedder before it is planned (vector names, client-side embeddings, CREATE COLLECTION
// completion, ALTER checks, automatic collection creation for UPSERT, dimension checks).
#pragma once

#include "core/ast/statement.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// Takes a bound statement and returns the statement to plan. The caller keeps `executor` alive.
AsyncResult<core::Statement> prepare_statement(Executor& executor, core::Statement statement);

}  // namespace zorv::runtime
