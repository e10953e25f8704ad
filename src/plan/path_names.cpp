#include "plan/path_names.h"

#include <string>
#include <string_view>

#include "core/diagnostics.h"
#include "core/text.h"

namespace zorv::plan {

namespace {

core::Result<void> check_segment(std::string_view what, std::string_view name) {
    if (!name.empty() && name != "." && name != "..") return {};
    return core::fail(core::Diag::PlanPathName, std::string(what) + " name " + core::quote_for_message(name) +
                                                    " cannot be a REST path segment; empty, '.' and '..' are refused");
}

core::Result<void> check_collection(std::string_view name) { return check_segment("collection", name); }

}  // namespace

core::Result<void> validate_collection_path_name(std::string_view collection) { return check_collection(collection); }

core::Result<void> validate_path_names(const PlanOp& op) {
    switch (op.kind()) {
        case PlanOpKind::Query: return check_collection(op.get<PlanOpKind::Query>().collection);
        case PlanOpKind::QueryGroups: return check_collection(op.get<PlanOpKind::QueryGroups>().collection);
        case PlanOpKind::GetPoints: return check_collection(op.get<PlanOpKind::GetPoints>().collection);
        case PlanOpKind::Scroll: return check_collection(op.get<PlanOpKind::Scroll>().collection);
        case PlanOpKind::Count: return check_collection(op.get<PlanOpKind::Count>().collection);
        case PlanOpKind::Facet: return check_collection(op.get<PlanOpKind::Facet>().collection);
        case PlanOpKind::Upsert: return check_collection(op.get<PlanOpKind::Upsert>().collection);
        case PlanOpKind::Delete: return check_collection(op.get<PlanOpKind::Delete>().collection);
        case PlanOpKind::UpdatePayload: return check_collection(op.get<PlanOpKind::UpdatePayload>().collection);
        case PlanOpKind::OverwritePayload: return check_collection(op.get<PlanOpKind::OverwritePayload>().collection);
        case PlanOpKind::ClearPayload: return check_collection(op.get<PlanOpKind::ClearPayload>().collection);
        case PlanOpKind::DeletePayload: return check_collection(op.get<PlanOpKind::DeletePayload>().collection);
        case PlanOpKind::UpdateVector: return check_collection(op.get<PlanOpKind::UpdateVector>().collection);
        case PlanOpKind::DeleteVector: return check_collection(op.get<PlanOpKind::DeleteVector>().collection);
        case PlanOpKind::CreateCollection: return check_collection(op.get<PlanOpKind::CreateCollection>().collection);
        case PlanOpKind::AlterCollection: return check_collection(op.get<PlanOpKind::AlterCollection>().collection);
        case PlanOpKind::DropCollection: return check_collection(op.get<PlanOpKind::DropCollection>().collection);
        case PlanOpKind::CreateIndex: return check_collection(op.get<PlanOpKind::CreateIndex>().collection);
        case PlanOpKind::DropIndex: {
            const DropIndexOp& drop = op.get<PlanOpKind::DropIndex>();
            ZORV_CHECK(check_collection(drop.collection));
            return check_segment("field", drop.field_name);
        }
        case PlanOpKind::CreateShardKey: return check_collection(op.get<PlanOpKind::CreateShardKey>().collection);
        case PlanOpKind::DropShardKey: return check_collection(op.get<PlanOpKind::DropShardKey>().collection);
        case PlanOpKind::ShowShardKeys: return check_collection(op.get<PlanOpKind::ShowShardKeys>().collection);
        case PlanOpKind::ShowCollection: return check_collection(op.get<PlanOpKind::ShowCollection>().collection);
        case PlanOpKind::CrossRerank: {
            const CrossRerankOp& rerank = op.get<PlanOpKind::CrossRerank>();
            ZORV_CHECK(check_collection(rerank.collection));
            for (const QueryOp& candidate : rerank.candidates) ZORV_CHECK(check_collection(candidate.collection));
            return {};
        }
        case PlanOpKind::Batch: {
            const PlanBatch& batch = op.get<PlanOpKind::Batch>();
            ZORV_CHECK(check_collection(batch.collection));
            for (const PlanOp& member : batch.members) ZORV_CHECK(validate_path_names(member));
            return {};
        }
        case PlanOpKind::ShowCollections:
        case PlanOpKind::ShowQuotas:
        case PlanOpKind::SetQuota: return {};
    }
    return {};
}

}  // namespace zorv::plan
