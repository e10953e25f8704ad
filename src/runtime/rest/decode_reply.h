// The reply of one REST call for a single plan operation, decoded into its typed result by the
// operation's kind. Strict about the members each kind needs, silent about every other member.
#pragma once

#include <string>
#include <vector>

#include "core/error.h"
#include "plan/plan_op.h"
#include "protocol/response.h"
#include "runtime/rest/reply_reader.h"

namespace zorv::runtime::rest {

// The reply is the whole response object, after the envelope check. Time and usage are read
// for every kind and never fail a reply; CROSS_RERANK and BATCH are refused whatever it holds.
core::Result<protocol::BackendReply> decode_rest_reply(const plan::PlanOp& op, JsonElement reply);

// BATCH has no single REST route: the executor sends it through the batch calls.
core::ZorvError rest_batch_refusal();

// One element of result.groups of a grouped query.
core::Result<protocol::HitGroup> decode_groups(JsonElement group);

// The names of result.collections, in array order.
core::Result<std::vector<std::string>> decode_collection_list(JsonElement reply);

}  // namespace zorv::runtime::rest
