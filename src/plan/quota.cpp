#include "plan/quota.h"

#include <string>
#include <utility>

#include "core/diagnostics.h"
#include "core/text.h"
#include "plan/plan_op.h"

namespace zorv::plan {

namespace {

using core::Literal;
using Kind = core::Literal::Kind;

constexpr std::uint64_t kMaxPercent = 100;

std::unexpected<core::ZorvError> quota_error(std::string message, const Literal& value) {
    std::optional<core::Span> span;
    if (value.is_placeholder()) span = value.as_placeholder().span.get();
    return core::fail(core::Diag::PlanQuota, std::move(message), span);
}

using PercentField = std::optional<std::uint64_t> PlanQuotaConfig::*;

PercentField percent_field(std::string_view key) {
    if (key == "max_resident_memory_percent") return &PlanQuotaConfig::max_resident_memory_percent;
    if (key == "max_disk_usage_percent") return &PlanQuotaConfig::max_disk_usage_percent;
    if (key == "release_margin_percent") return &PlanQuotaConfig::release_margin_percent;
    return nullptr;
}

core::Result<PlanQuotaConfig> lower_setting(PlanQuotaConfig config, const std::string& key, const Literal& value) {
    const std::string folded = core::to_ascii_lower(key);
    if (folded == "enabled") {
        if (!value.is(Kind::Bool)) return quota_error("enabled must be true or false", value);
        config.enabled = value.as_bool();
        return config;
    }
    if (folded == "release_margin_percent") return lower_quota_setting(config, folded, value, 0);
    if (percent_field(folded) != nullptr) return lower_quota_setting(config, folded, value, 1);
    return quota_error("unknown quota parameter " + core::quote_for_message(key) +
                           ". Expected: enabled, max_resident_memory_percent, max_disk_usage_percent, "
                           "release_margin_percent",
                       value);
}

}  // namespace

core::Result<PlanQuotaConfig> lower_quota_setting(PlanQuotaConfig config, std::string_view key, const Literal& value,
                                                  std::uint64_t lower_bound) {
    if (value.is(Kind::Null)) return config;
    const PercentField field = percent_field(key);
    const bool in_range = value.is(Kind::Int) && value.as_int() >= 0 &&
                          static_cast<std::uint64_t>(value.as_int()) >= lower_bound &&
                          static_cast<std::uint64_t>(value.as_int()) <= kMaxPercent;
    if (field == nullptr || !in_range) {
        return quota_error(core::escape_for_message(key) + " must be an integer in [" + std::to_string(lower_bound) +
                               ", " + std::to_string(kMaxPercent) + "] or null",
                           value);
    }
    config.*field = static_cast<std::uint64_t>(value.as_int());
    return config;
}

core::Result<PlanQuotaConfig> lower_quota_config(const core::LiteralDict& settings) {
    PlanQuotaConfig config;
    for (const auto& [key, value] : settings) config = ZORV_TRY(lower_setting(config, key, value));
    return config;
}

core::Result<PlanOp> plan_set_quota(const core::SetQuota& quota) {
    PlanQuotaConfig config = ZORV_TRY(lower_quota_config(quota.config));
    return make_op<PlanOpKind::SetQuota>(SetQuotaOp{config, quota.wait});
}

}  // namespace zorv::plan
