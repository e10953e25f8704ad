// Preparing collection DDL: CREATE COLLECTION gets the vectors its embedding mode implies, and
// ALTER COLLECTION may only change vectors the collection has.
#pragma once

#include <cstdint>

#include "core/ast/ddl.h"
#include "embed/vector_names.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// Size of the multivector a Rerank collection gets when nothing says otherwise.
inline constexpr std::uint64_t fallback_multi_dimension = 96;

// Checks the mode's model against the embedder and the declared vector against the model's
// dimension; with no vectors declared, adds the dense (and sparse, and colbert) vectors of the
// mode. The caller owns `create` until the awaitable completes.
AsyncResult<void> complete_create_collection(Executor& executor, core::CreateCollection& create);

// The multivector size of a Rerank collection: the embedder's, else the configured one, else 96.
std::uint64_t rerank_multi_dimension(const Executor& executor);

// Loads the collection's vector names only when the statement changes a vector.
AsyncResult<void> check_alter_collection(Executor& executor, const core::AlterCollection& alter);

// Every vector the statement changes must exist; a collection without vector names is not checked.
core::Result<void> check_alter_vector_names(const core::AlterCollection& alter, const embed::VectorNameLists& names);

}  // namespace zorv::runtime
