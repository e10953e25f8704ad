// CROSS RERANK on the client: the candidate searches run one after another against the server,
// then the embedder's cross-encoder scores each hit's document text against the query text, and
// the best hits come back in score order with the collection that returned them.
#pragma once

#include "plan/plan_op.h"
#include "protocol/response.h"
#include "runtime/executor.h"

namespace zorv::runtime {

AsyncResult<protocol::StatementResult> cross_rerank(Executor& executor, plan::CrossRerankOp op);

}  // namespace zorv::runtime
