// CREATE INDEX options as Qdrant's payload index parameters, one message per field type.
#pragma once

#include "core/error.h"
#include "plan/index.h"
#include "qdrant/collections.pb.h"

namespace zorv::runtime::rpc {

// Only the options the type's message has are copied; a TEXT index without a tokenizer gets the
// word tokenizer, and the keyword prefix option is sent only when true.
core::Result<void> field_index_params_to_proto(const plan::PlanFieldIndex& index, qdrant::PayloadIndexParams& out);

}  // namespace zorv::runtime::rpc
