#include "plan/count_facet.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/diagnostics.h"
#include "plan/filter.h"
#include "plan/values.h"

namespace zorv::plan {

namespace {

// `what` is the statement's word in the messages: "count" or "facet".
core::Result<std::string> explicit_collection(std::string_view what, const core::CollectionRef& collection) {
    if (!collection.name)
        return core::fail(core::Diag::PlanCollection,
                          std::string(what) + " requires an explicit collection (FROM ...)");
    if (collection.name->empty())
        return core::fail(core::Diag::PlanCollection, std::string(what) + " collection name must not be empty");
    return *collection.name;
}

std::optional<PlanShardKey> shard_key_of(const std::optional<core::ShardKey>& key) {
    if (!key) return std::nullopt;
    return to_plan_shard_key(*key);
}

}  // namespace

core::Result<PlanOp> lower_count(const core::Count& count) {
    CountOp op;
    op.collection = ZORV_TRY(explicit_collection("count", count.collection));
    op.filter = ZORV_TRY(lower_where(count.filter));
    op.exact = count.exact;
    op.shard_key = shard_key_of(count.shard_key);
    return make_op<PlanOpKind::Count>(std::move(op));
}

core::Result<PlanOp> lower_facet(const core::Facet& facet) {
    FacetOp op;
    op.collection = ZORV_TRY(explicit_collection("facet", facet.collection));
    op.filter = ZORV_TRY(lower_where(facet.filter));
    op.key = facet.key;
    op.limit = facet.limit;
    op.exact = facet.exact;
    op.shard_key = shard_key_of(facet.shard_key);
    return make_op<PlanOpKind::Facet>(std::move(op));
}

}  // namespace zorv::plan
