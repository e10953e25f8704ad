// Bulk upsert: rows sent in chunks of batch_size as UPSERT INTO {collection} VALUES :rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/ast/literal.h"
#include "protocol/response.h"
#include "runtime/executor.h"

namespace zorv::runtime {

// `rows` holds one Dict literal per point ({id, vector or vectors, ...payload}).
AsyncResult<protocol::ExecutionReport> upsert_many(Executor& executor, std::string collection,
                                                   std::vector<core::Literal> rows, std::uint64_t batch_size,
                                                   bool continue_on_error);

}  // namespace zorv::runtime
