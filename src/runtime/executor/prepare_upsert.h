// Preparing an UPSERT: embedding targets settled against the collection (or a single named
// vector given to unnamed row vectors), rows embedded on the client, a missing collection created
// for an embedding specification, and row vectors checked against the collection's sizes.
#pragma once

#include <memory>
#include <string>

#include "core/ast/mutation.h"
#include "protocol/collection_schema.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// Rewrites `upsert` in place; the caller owns it until the awaitable completes.
AsyncResult<void> prepare_upsert(Executor& executor, core::Upsert& upsert);

// True when the statement has no embedding clauses and some row without vectors carries a
// non-empty text under "content", "body" or "text" (any ASCII case).
bool has_text_rows(const core::Upsert& upsert);

// True when some row carries one unnamed vector.
bool has_unnamed_vector_rows(const core::Upsert& upsert);

// Settles the statement's targets before embedding; returns the collection's schema when it has
// one for the dimension check, else null.
AsyncResult<std::shared_ptr<const protocol::CollectionSchema>> settle_upsert_targets(Executor& executor,
                                                                                     core::Upsert& upsert);

// The cached schema, else the server's when the collection exists; null when it does not.
AsyncResult<std::shared_ptr<const protocol::CollectionSchema>> existing_schema(Executor& executor,
                                                                               std::string collection);

}  // namespace zorv::runtime
