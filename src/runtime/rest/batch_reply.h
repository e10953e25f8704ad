// The replies of the query and update batch calls, one decoded reply per member, and the answer
// to whether a collection exists.
#pragma once

#include <vector>

#include "core/error.h"
#include "protocol/response.h"
#include "runtime/rest/reply_reader.h"

namespace zorv::runtime::rest {

// The envelope's result: an array with one {"points": [...]} per search, each with its own time
// and usage. The number of members is the caller's to check.
core::Result<std::vector<protocol::BackendReply>> decode_query_batch_reply(JsonElement result);
core::Result<protocol::BackendReply> decode_query_batch_item(JsonElement item);

// The envelope's result: an array with one {"status": ...} per operation.
core::Result<std::vector<protocol::BackendReply>> decode_update_batch_reply(JsonElement result);
// "acknowledged" and "completed" are a mutation without a count; "wait_timeout" fails with
// ZORV-BACKEND-BATCH, since the server did not confirm the write.
core::Result<protocol::BackendReply> check_rest_update_status(JsonElement item);

// The reply of GET /collections/{name}; true when it holds a result with a string status. A
// missing collection is a not-found HTTP failure the caller turns into false.
core::Result<bool> decode_collection_exists(JsonElement reply);

}  // namespace zorv::runtime::rest
