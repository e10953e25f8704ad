// The REST transport behind the executor's Backend interface: every operation is one or more
// requests through the transport of runtime/rest/transport.h, decoded by the reply readers beside it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plan/collection_config.h"
#include "plan/plan_op.h"
#include "runtime/backend.h"
#include "runtime/rest/reply_json.h"
#include "runtime/rest/transport.h"

namespace zorv::runtime::rest {

std::unique_ptr<Backend> make_rest_backend(RestBackend backend);

// The single request of a planned operation, sent: names checked, route compiled, reply checked
// as an envelope. CREATE_COLLECTION with shard keys or read fan-out has no single request.
// `backend` and `op` must outlive the call.
AsyncResult<JsonDocument> send_plan(const RestBackend& backend, const plan::PlanOp& op);

// CREATE COLLECTION as its requests, one after another; the first failure ends the run and the
// steps already done stay done. `backend` must outlive the call.
AsyncResult<void> run_rest_steps(const RestBackend& backend, std::string collection, plan::PlanCollectionConfig config);

// {"actions": [...]}, compact.
std::string alias_actions_body(const std::vector<AliasAction>& actions);

}  // namespace zorv::runtime::rest
