#include "plan/conditional_upsert.h"

namespace zorv::plan {

bool is_conditional_upsert(const PlanOp& op) {
    if (op.kind() != PlanOpKind::Upsert) return false;
    const PlanUpsert& request = op.get<PlanOpKind::Upsert>().request;
    if (request.update_filter) return true;
    return request.update_mode && *request.update_mode != core::UpdateMode::Upsert;
}

}  // namespace zorv::plan
