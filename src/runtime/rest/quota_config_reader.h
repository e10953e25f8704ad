// The quota settings of a SHOW QUOTAS reply, in object or positional (array) form.
#pragma once

#include <expected>
#include <string>

#include "protocol/response.h"
#include "runtime/rest/reply_reader.h"

namespace zorv::runtime::rest {

// Fields in the order enabled, max_resident_memory_percent, max_disk_usage_percent,
// release_margin_percent; null or missing leaves a field absent. The error is the JSON reader's
// fault text ("invalid type: string \"x\", expected struct QuotaConfig").
std::expected<protocol::QuotaConfig, std::string> read_quota_config(JsonElement value);

}  // namespace zorv::runtime::rest
