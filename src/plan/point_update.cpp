#include "plan/point_update.h"

#include <string>
#include <unordered_set>
#include <utility>

#include "core/diagnostics.h"
#include "plan/filter.h"
#include "plan/point_ids.h"
#include "plan/scroll.h"
#include "plan/upsert.h"
#include "plan/values.h"
#include "plan/wait.h"

namespace zorv::plan {

namespace {

using core::StatementKind;

// The selector part shared by the payload and vector updates.
template <class Out>
core::Result<void> lower_selector_into(Out& out, const core::PointSelector& selector,
                                       const std::optional<core::ShardKey>& shard_key) {
    PlanPointsSelector lowered = ZORV_TRY(lower_points_selector(selector, shard_key));
    out.points = std::move(lowered.points);
    out.filter = std::move(lowered.filter);
    out.shard_key = std::move(lowered.shard_key);
    return {};
}

core::Result<void> check_ids(const std::optional<std::vector<PlanPointId>>& ids) {
    if (!ids) return {};
    for (const PlanPointId& id : *ids) ZORV_CHECK(check_point_id(id));
    return {};
}

core::Result<void> check_filter(const std::optional<PlanFilter>& filter) {
    if (!filter) return {};
    return validate_filter_point_ids(*filter);
}

template <class Request>
core::Result<void> check_selector(const Request& request) {
    ZORV_CHECK(check_ids(request.points));
    return check_filter(request.filter);
}

template <PlanOpKind K, class Op, class Request>
PlanOp mutation(std::string collection, bool wait, Request request) {
    return make_op<K>(Op{std::move(collection), wait, std::move(request)});
}

}  // namespace

core::Result<PlanSetPayload> lower_update_payload(const core::UpdatePayload& update) {
    ZORV_CHECK(check_finite_payload(update.payload));
    PlanSetPayload out;
    out.payload = update.payload;
    ZORV_CHECK(lower_selector_into(out, update.selector, update.shard_key));
    out.key = update.key;
    return out;
}

core::Result<PlanDeletePayload> lower_delete_payload(const core::DeletePayload& remove) {
    PlanDeletePayload out;
    out.keys = remove.keys;
    ZORV_CHECK(lower_selector_into(out, remove.selector, remove.shard_key));
    return out;
}

PlanUpdateVectors lower_update_vector(const core::UpdateVector& update) {
    PlanUpdateVectors out;
    out.points.reserve(update.points.size());
    for (const core::UpdateVectorRow& row : update.points) {
        out.points.push_back(PlanPointVectorsUpdate{to_plan_point_id(row.id), row.vectors});
    }
    out.shard_key = to_plan_shard_key(update.shard_key);
    return out;
}

core::Result<PlanDeleteVectors> lower_delete_vector(const core::DeleteVector& remove) {
    if (remove.vector_names.empty())
        return core::fail(core::Diag::PlanDeleteVector, "DELETE VECTOR requires at least one vector name");
    std::unordered_set<std::string_view> seen;
    for (const std::string& name : remove.vector_names) {
        if (!seen.insert(name).second)
            return core::fail(core::Diag::PlanDeleteVector,
                              "DELETE VECTOR contains duplicate vector name '" + name + "'");
    }
    PlanDeleteVectors out;
    ZORV_CHECK(lower_selector_into(out, remove.selector, remove.shard_key));
    out.vector = remove.vector_names;
    return out;
}

core::Result<PlanOp> plan_point_write(const core::Statement& statement) {
    using K = PlanOpKind;
    switch (statement.kind()) {
        case StatementKind::Upsert: {
            const core::Upsert& upsert = *statement.get<StatementKind::Upsert>();
            PlanUpsert request = ZORV_TRY(lower_upsert_points(upsert));
            return mutation<K::Upsert, UpsertOp>(upsert.collection, upsert_wait(upsert), std::move(request));
        }
        case StatementKind::Delete: {
            const core::Delete& remove = *statement.get<StatementKind::Delete>();
            PlanPointsSelector request = ZORV_TRY(lower_points_selector(remove.selector, remove.shard_key));
            return mutation<K::Delete, PointSelectionOp>(remove.collection, point_mutation_wait(remove.wait),
                                                         std::move(request));
        }
        case StatementKind::ClearPayload: {
            const core::ClearPayload& clear = *statement.get<StatementKind::ClearPayload>();
            PlanPointsSelector request = ZORV_TRY(lower_points_selector(clear.selector, clear.shard_key));
            return mutation<K::ClearPayload, PointSelectionOp>(clear.collection, point_mutation_wait(clear.wait),
                                                               std::move(request));
        }
        case StatementKind::DeletePayload: {
            const core::DeletePayload& remove = *statement.get<StatementKind::DeletePayload>();
            PlanDeletePayload request = ZORV_TRY(lower_delete_payload(remove));
            return mutation<K::DeletePayload, DeletePayloadOp>(remove.collection, point_mutation_wait(remove.wait),
                                                               std::move(request));
        }
        case StatementKind::DeleteVector: {
            const core::DeleteVector& remove = *statement.get<StatementKind::DeleteVector>();
            PlanDeleteVectors request = ZORV_TRY(lower_delete_vector(remove));
            return mutation<K::DeleteVector, DeleteVectorOp>(remove.collection, point_mutation_wait(remove.wait),
                                                             std::move(request));
        }
        case StatementKind::UpdateVector: {
            const core::UpdateVector& update = *statement.get<StatementKind::UpdateVector>();
            return mutation<K::UpdateVector, UpdateVectorOp>(update.collection, point_mutation_wait(update.wait),
                                                             lower_update_vector(update));
        }
        case StatementKind::UpdatePayload: {
            const core::UpdatePayload& update = *statement.get<StatementKind::UpdatePayload>();
            PlanSetPayload request = ZORV_TRY(lower_update_payload(update));
            const bool wait = point_mutation_wait(update.wait);
            if (update.overwrite)
                return mutation<K::OverwritePayload, PayloadUpdateOp>(update.collection, wait, std::move(request));
            return mutation<K::UpdatePayload, PayloadUpdateOp>(update.collection, wait, std::move(request));
        }
        default: break;
    }
    return core::fail(core::Diag::PlanUnsupported, "not a point write");
}

bool is_point_mutation(PlanOpKind kind) { return kind >= PlanOpKind::Upsert && kind <= PlanOpKind::DeleteVector; }

core::Result<void> validate_write_point_ids(const PlanOp& op) {
    using K = PlanOpKind;
    switch (op.kind()) {
        case K::Scroll: {
            const ScrollOp& scroll = op.get<K::Scroll>();
            ZORV_CHECK(check_filter(scroll.filter));
            if (scroll.offset) return check_point_id(*scroll.offset);
            return {};
        }
        case K::Upsert: {
            const PlanUpsert& upsert = op.get<K::Upsert>().request;
            for (const PlanPoint& point : upsert.points) ZORV_CHECK(check_point_id(point.id));
            return check_filter(upsert.update_filter);
        }
        case K::Delete: return check_selector(op.get<K::Delete>().request);
        case K::ClearPayload: return check_selector(op.get<K::ClearPayload>().request);
        case K::UpdatePayload: return check_selector(op.get<K::UpdatePayload>().request);
        case K::OverwritePayload: return check_selector(op.get<K::OverwritePayload>().request);
        case K::DeletePayload: return check_selector(op.get<K::DeletePayload>().request);
        case K::DeleteVector: return check_selector(op.get<K::DeleteVector>().request);
        case K::UpdateVector:
            for (const PlanPointVectorsUpdate& point : op.get<K::UpdateVector>().request.points)
                ZORV_CHECK(check_point_id(point.id));
            return {};
        default: return {};
    }
}

}  // namespace zorv::plan
