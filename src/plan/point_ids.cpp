#include "plan/point_ids.h"

#include <optional>
#include <string>
#include <vector>

#include "core/diagnostics.h"
#include "plan/point_update.h"
#include "plan/query_point_ids.h"

namespace zorv::plan {

namespace {

constexpr bool is_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

bool all_hex(std::string_view text) {
    for (char c : text) {
        if (!is_hex(c)) return false;
    }
    return true;
}

// 8-4-4-4-12 digits with hyphens at 8, 13, 18 and 23.
bool is_hyphenated(std::string_view text) {
    if (text.size() != 36) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool hyphen_place = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen_place ? text[i] != '-' : !is_hex(text[i])) return false;
    }
    return true;
}

constexpr std::string_view kUrnPrefix = "urn:uuid:";

core::Result<void> check_ids(const std::vector<PlanPointId>& ids) {
    for (const PlanPointId& id : ids) ZORV_CHECK(check_point_id(id));
    return {};
}

core::Result<void> check_condition_ids(const PlanCondition& condition) {
    switch (condition.kind()) {
        case PlanCondition::Kind::HasId: return check_ids(condition.get<PlanCondition::Kind::HasId>().ids);
        case PlanCondition::Kind::Nested:
            return validate_filter_point_ids(*condition.get<PlanCondition::Kind::Nested>().filter);
        case PlanCondition::Kind::Filter:
            return validate_filter_point_ids(*condition.get<PlanCondition::Kind::Filter>());
        default: return {};
    }
}

core::Result<void> check_condition_list(const std::vector<PlanCondition>& conditions) {
    for (const PlanCondition& condition : conditions) ZORV_CHECK(check_condition_ids(condition));
    return {};
}

core::Result<void> check_optional_filter(const std::optional<PlanFilter>& filter) {
    if (!filter) return {};
    return validate_filter_point_ids(*filter);
}

}  // namespace

core::Result<void> validate_filter_point_ids(const PlanFilter& filter) {
    if (filter.is_single()) return check_condition_ids(filter.single());
    const PlanClauses& clauses = filter.clauses();
    ZORV_CHECK(check_condition_list(clauses.must));
    ZORV_CHECK(check_condition_list(clauses.should));
    ZORV_CHECK(check_condition_list(clauses.must_not));
    if (clauses.min_should) ZORV_CHECK(check_condition_list(clauses.min_should->conditions));
    return {};
}

bool is_uuid_text(std::string_view text) {
    switch (text.size()) {
        case 32: return all_hex(text);
        case 36: return is_hyphenated(text);
        case 38: return text.front() == '{' && text.back() == '}' && is_hyphenated(text.substr(1, 36));
        case 45: return text.starts_with(kUrnPrefix) && is_hyphenated(text.substr(kUrnPrefix.size()));
        default: return false;
    }
}

core::Result<void> check_point_id(const PlanPointId& id) {
    const auto* text = std::get_if<std::string>(&id);
    if (text == nullptr || is_uuid_text(*text)) return {};
    return core::fail(core::Diag::PlanPointId,
                      "point ID \"" + *text + "\" is not a UUID; point IDs must be unsigned integers or UUIDs");
}

// One entry per kind; the kinds whose payloads do not hold their ids yet join as their lowering lands.
core::Result<void> validate_point_ids(const PlanOp& op) {
    switch (op.kind()) {
        case PlanOpKind::GetPoints: return check_ids(op.get<PlanOpKind::GetPoints>().ids);
        case PlanOpKind::Batch:
            for (const PlanOp& member : op.get<PlanOpKind::Batch>().members) ZORV_CHECK(validate_point_ids(member));
            return {};
        case PlanOpKind::Count: return check_optional_filter(op.get<PlanOpKind::Count>().filter);
        case PlanOpKind::Facet: return check_optional_filter(op.get<PlanOpKind::Facet>().filter);
        case PlanOpKind::Query: return validate_request_point_ids(op.get<PlanOpKind::Query>().request);
        case PlanOpKind::QueryGroups: return validate_request_point_ids(op.get<PlanOpKind::QueryGroups>().request);
        case PlanOpKind::CrossRerank:
            for (const QueryOp& candidate : op.get<PlanOpKind::CrossRerank>().candidates)
                ZORV_CHECK(validate_request_point_ids(candidate.request));
            return {};
        case PlanOpKind::Scroll:
        case PlanOpKind::Upsert:
        case PlanOpKind::Delete:
        case PlanOpKind::UpdatePayload:
        case PlanOpKind::OverwritePayload:
        case PlanOpKind::ClearPayload:
        case PlanOpKind::DeletePayload:
        case PlanOpKind::UpdateVector:
        case PlanOpKind::DeleteVector: return validate_write_point_ids(op);
        case PlanOpKind::CreateCollection:
        case PlanOpKind::AlterCollection:
        case PlanOpKind::DropCollection:
        case PlanOpKind::CreateIndex:
        case PlanOpKind::DropIndex:
        case PlanOpKind::CreateShardKey:
        case PlanOpKind::DropShardKey:
        case PlanOpKind::ShowShardKeys:
        case PlanOpKind::ShowCollections:
        case PlanOpKind::ShowCollection:
        case PlanOpKind::ShowQuotas:
        case PlanOpKind::SetQuota: return {};
    }
    return {};
}

}  // namespace zorv::plan
