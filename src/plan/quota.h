// SET QUOTA lowering: the server-wide resource quotas a statement changes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/ast/ddl.h"
#include "core/ast/literal.h"
#include "core/error.h"

namespace zorv::plan {

struct PlanOp;

// The four settings SHOW QUOTAS reports; a statement sets only those it names.
struct PlanQuotaConfig {
    std::optional<std::uint64_t> max_resident_memory_percent;  // 1 to 100
    std::optional<std::uint64_t> max_disk_usage_percent;       // 1 to 100
    std::optional<std::uint64_t> release_margin_percent;       // 0 to 100
    std::optional<bool> enabled;
    friend bool operator==(const PlanQuotaConfig&, const PlanQuotaConfig&) = default;
};

// One percentage setting under its lower-case key: an integer from `lower_bound` to 100 is
// stored, null keeps what an earlier setting gave, anything else fails with ZORV-PLAN-QUOTA.
core::Result<PlanQuotaConfig> lower_quota_setting(PlanQuotaConfig config, std::string_view key,
                                                  const core::Literal& value, std::uint64_t lower_bound);

// Every setting in order; a later setting of a key replaces an earlier one.
core::Result<PlanQuotaConfig> lower_quota_config(const core::LiteralDict& settings);

// The SET_QUOTA operation: the settings and the statement's WAIT (absent stays absent).
core::Result<PlanOp> plan_set_quota(const core::SetQuota& quota);

}  // namespace zorv::plan
