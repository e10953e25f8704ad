// The executor's collection-schema cache: get-or-fetch lookups for preparation and bulk upserts,
// and the one door every single operation goes through, which drops a collection's entry after
// DDL on it. The cache lock is never held while a backend call is awaited.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "embed/vector_names.h"
#include "plan/plan_op.h"
#include "protocol/collection_schema.h"
#include "protocol/response.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// The cached schema, or null; never calls the backend.
std::shared_ptr<const protocol::CollectionSchema> cached_schema(const Executor& executor, std::string_view collection);

// The cached schema, else fetched with collection_info and cached.
AsyncResult<std::shared_ptr<const protocol::CollectionSchema>> refresh_schema(Executor& executor,
                                                                              std::string collection);

// The cached vector names, else fetched with collection_info and cached.
AsyncResult<std::shared_ptr<const embed::VectorNameLists>> cache_schema(Executor& executor, std::string collection);

// Backend::execute of `op`; a successful collection or index DDL drops its collection's entry.
AsyncResult<protocol::BackendReply> schema_for_dispatch(Executor& executor, plan::PlanOp op);

}  // namespace zorv::runtime
