#include "plan/rest/quota_body.h"

#include "plan/json_write.h"

namespace zorv::plan {

JsonValue set_quota_body(const SetQuotaOp& op) {
    const PlanQuotaConfig& config = op.config;
    JsonObject body;
    if (config.enabled) body.emplace("enabled", *config.enabled);
    if (config.max_resident_memory_percent) {
        body.emplace("max_resident_memory_percent", *config.max_resident_memory_percent);
    }
    if (config.max_disk_usage_percent) body.emplace("max_disk_usage_percent", *config.max_disk_usage_percent);
    if (config.release_margin_percent) body.emplace("release_margin_percent", *config.release_margin_percent);
    return body;
}

void write_set_quota_body(std::string& out, const SetQuotaOp& op) {
    const PlanQuotaConfig& config = op.config;
    JsonObjectWriter body(out);
    if (config.enabled) body.key("enabled") += *config.enabled ? "true" : "false";
    if (config.max_resident_memory_percent) {
        write_u64_entry(body, "max_resident_memory_percent", *config.max_resident_memory_percent);
    }
    if (config.max_disk_usage_percent) write_u64_entry(body, "max_disk_usage_percent", *config.max_disk_usage_percent);
    if (config.release_margin_percent) write_u64_entry(body, "release_margin_percent", *config.release_margin_percent);
}

}  // namespace zorv::plan
