// Readers of `from_results` payloads given as plain Python values. Each returns nullopt with
// TypeError "invalid {label}: {reason}" set on failure.
#pragma once

#include <optional>
#include <vector>

#include "plan/plan_op.h"
#include "protocol/collection_schema.h"
#include "protocol/response.h"
#include "python/py_ref.h"

namespace zorv::python {

// A sequence or set of str, UTF-8 bytes or ints in 0..2^64-1 (label "shard keys").
std::optional<std::vector<plan::PlanShardKey>> read_shard_keys(PyObject* obj);

// A mapping with the optional keys "enabled" (truth value) and the three percentages (label
// "quotas").
std::optional<protocol::QuotaConfig> read_quota_config(PyObject* obj);

// The dict shape of a collection's description (label "collection info").
std::optional<protocol::CollectionSchema> read_collection_info(PyObject* obj);

}  // namespace zorv::python
