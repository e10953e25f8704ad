#include "plan/schema_ddl.h"

namespace zorv::plan {

std::optional<std::string_view> schema_changed_collection(const PlanOp& op) {
    switch (op.kind()) {
        case PlanOpKind::CreateCollection: return op.get<PlanOpKind::CreateCollection>().collection;
        case PlanOpKind::AlterCollection: return op.get<PlanOpKind::AlterCollection>().collection;
        case PlanOpKind::DropCollection: return op.get<PlanOpKind::DropCollection>().collection;
        case PlanOpKind::CreateIndex: return op.get<PlanOpKind::CreateIndex>().collection;
        case PlanOpKind::DropIndex: return op.get<PlanOpKind::DropIndex>().collection;
        default: return std::nullopt;
    }
}

}  // namespace zorv::plan
