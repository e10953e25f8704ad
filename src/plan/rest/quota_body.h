// The body of a quota change: the settings the statement gave, in both body forms.
#pragma once

#include <string>

#include "plan/json_value.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// "enabled", "max_resident_memory_percent", "max_disk_usage_percent", "release_margin_percent",
// each when set; {} with nothing set. The operation's wait travels as a query parameter.
JsonValue set_quota_body(const SetQuotaOp& op);
void write_set_quota_body(std::string& out, const SetQuotaOp& op);

}  // namespace zorv::plan
