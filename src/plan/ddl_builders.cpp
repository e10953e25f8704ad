#include "plan/ddl_builders.h"

#include <string>

namespace zorv::plan {

PlanOp drop_index_plan(std::string_view collection, std::string_view field_name) {
    return make_op<PlanOpKind::DropIndex>(DropIndexOp{std::string(collection), std::string(field_name)});
}

PlanOp create_index_plan(std::string_view collection, const PlanFieldIndex& index) {
    return make_op<PlanOpKind::CreateIndex>(CreateIndexOp{std::string(collection), index, true});
}

PlanOp alter_collection_plan(std::string_view collection, const PlanCollectionUpdate& update) {
    return make_op<PlanOpKind::AlterCollection>(AlterCollectionOp{std::string(collection), update});
}

}  // namespace zorv::plan
