#include "runtime/grpc_route/mutations.h"

#include <optional>
#include <string>
#include <utility>
#include <variant>

#include "core/diagnostics.h"
#include "qdrant/points.pb.h"
#include "runtime/grpc_route/execute.h"
#include "runtime/grpc_route/filters.h"
#include "runtime/grpc_route/usage.h"
#include "runtime/grpc_route/values.h"

namespace zorv::runtime::rpc {

namespace {

using plan::PlanOpKind;
using protocol::BackendReply;
using protocol::ExecData;

// ---- Request fields shared by the single calls and the batch operations ----

qdrant::ShardKeySelector shard_key_selector(const plan::PlanShardKey& key) {
    qdrant::ShardKeySelector out;
    auto* shard_key = out.add_shard_keys();
    if (const auto* number = std::get_if<std::uint64_t>(&key)) shard_key->set_number(*number);
    else shard_key->set_keyword(std::get<std::string>(key));
    return out;
}

template <class Message>
void set_shard_key(const std::optional<plan::PlanShardKey>& key, Message& out) {
    if (key) *out.mutable_shard_key_selector() = shard_key_selector(*key);
}

// Ids win over a filter; neither leaves the selector unset.
core::Result<std::optional<qdrant::PointsSelector>> points_selector(
    const std::optional<std::vector<plan::PlanPointId>>& ids, const std::optional<plan::PlanFilter>& filter) {
    qdrant::PointsSelector out;
    if (ids) {
        auto& list = *out.mutable_points()->mutable_ids();
        list.Reserve(static_cast<int>(ids->size()));
        for (const auto& id : *ids) *list.Add() = point_id_to_proto(id);
        return out;
    }
    if (!filter) return std::nullopt;
    auto converted = filter_to_proto(*filter);
    if (!converted) return std::unexpected(std::move(converted).error());
    *out.mutable_filter() = std::move(*converted);
    return out;
}

qdrant::UpdateMode update_mode_to_proto(core::UpdateMode mode) {
    switch (mode) {
        case core::UpdateMode::InsertOnly: return qdrant::UPDATE_MODE_INSERT_ONLY;
        case core::UpdateMode::UpdateOnly: return qdrant::UPDATE_MODE_UPDATE_ONLY;
        case core::UpdateMode::Upsert: return qdrant::UPDATE_MODE_UPSERT;
    }
    return qdrant::UPDATE_MODE_UPSERT;
}

// UpsertPoints and the batch's PointStructList.
template <class Message>
core::Result<void> upsert_into(const plan::PlanUpsert& request, Message& out) {
    out.mutable_points()->Reserve(static_cast<int>(request.points.size()));
    for (const auto& point : request.points) {
        auto converted = point_to_proto(point);
        if (!converted) return std::unexpected(std::move(converted).error());
        *out.add_points() = std::move(*converted);
    }
    set_shard_key(request.shard_key, out);
    if (request.update_filter) {
        auto filter = filter_to_proto(*request.update_filter);
        if (!filter) return std::unexpected(std::move(filter).error());
        *out.mutable_update_filter() = std::move(*filter);
    }
    if (request.update_mode) out.set_update_mode(update_mode_to_proto(*request.update_mode));
    return {};
}

// DeletePoints and ClearPayloadPoints, single or batched: the selector is the `points` field.
template <class Message>
core::Result<void> selection_into(const plan::PlanPointsSelector& request, Message& out) {
    auto selector = points_selector(request.points, request.filter);
    if (!selector) return std::unexpected(std::move(selector).error());
    if (*selector) *out.mutable_points() = std::move(**selector);
    set_shard_key(request.shard_key, out);
    return {};
}

template <class Message>
core::Result<void> set_payload_into(const plan::PlanSetPayload& request, Message& out) {
    auto selector = points_selector(request.points, request.filter);
    if (!selector) return std::unexpected(std::move(selector).error());
    ZORV_CHECK(payload_to_proto(request.payload, *out.mutable_payload()));
    if (*selector) *out.mutable_points_selector() = std::move(**selector);
    set_shard_key(request.shard_key, out);
    if (request.key) out.set_key(*request.key);
    return {};
}

template <class Message>
core::Result<void> delete_payload_into(const plan::PlanDeletePayload& request, Message& out) {
    auto selector = points_selector(request.points, request.filter);
    if (!selector) return std::unexpected(std::move(selector).error());
    for (const auto& key : request.keys) out.add_keys(key);
    if (*selector) *out.mutable_points_selector() = std::move(**selector);
    set_shard_key(request.shard_key, out);
    return {};
}

template <class Message>
core::Result<void> update_vectors_into(const plan::PlanUpdateVectors& request, Message& out) {
    out.mutable_points()->Reserve(static_cast<int>(request.points.size()));
    for (const auto& row : request.points) {
        auto converted = point_vectors_to_proto(row);
        if (!converted) return std::unexpected(std::move(converted).error());
        *out.add_points() = std::move(*converted);
    }
    set_shard_key(request.shard_key, out);
    return {};
}

template <class Message>
core::Result<void> delete_vectors_into(const plan::PlanDeleteVectors& request, Message& out) {
    auto selector = points_selector(request.points, request.filter);
    if (!selector) return std::unexpected(std::move(selector).error());
    if (*selector) *out.mutable_points_selector() = std::move(**selector);
    for (const auto& name : request.vector) out.mutable_vectors()->add_names(name);
    set_shard_key(request.shard_key, out);
    return {};
}

// ---- Single calls ----

BackendReply mutation_reply(std::optional<protocol::Telemetry> telemetry) {
    return BackendReply{.telemetry = std::move(telemetry), .data = ExecData{ExecData::Mutation{}}};
}

struct Route {
    const char* path;
    const char* label;
};

constexpr Route kUpsert{"/qdrant.Points/Upsert", "upsert"};
constexpr Route kDelete{"/qdrant.Points/Delete", "delete"};
constexpr Route kSetPayload{"/qdrant.Points/SetPayload", "set_payload"};
constexpr Route kOverwritePayload{"/qdrant.Points/OverwritePayload", "overwrite_payload"};
constexpr Route kClearPayload{"/qdrant.Points/ClearPayload", "clear_payload"};
constexpr Route kDeletePayload{"/qdrant.Points/DeletePayload", "delete_payload"};
constexpr Route kUpdateVectors{"/qdrant.Points/UpdateVectors", "update_vectors"};
constexpr Route kDeleteVectors{"/qdrant.Points/DeleteVectors", "delete_vectors"};

// Sends `request`, then checks the reply's status like a batch item.
template <class Request>
AsyncResult<BackendReply> send_mutation(const GrpcChannel& channel, Route route, Request request) {
    qdrant::PointsOperationResponse reply;
    UnaryCall call{.path = route.path, .operation = route.label, .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), request, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    if (!reply.has_result())
        co_return std::unexpected(core::make_error(core::Diag::BackendEnvelope,
                                                   std::string(route.label) + " response is missing its result"));
    auto status = check_update_status(reply.result(), route.label);
    if (!status) co_return std::unexpected(std::move(status).error());
    co_return mutation_reply(reply_telemetry(reply));
}

// Fills the collection and wait, then the kind's own fields; a conversion failure ends it unsent.
template <class Request, class Plan, class Fill>
AsyncResult<BackendReply> run_mutation(const GrpcChannel& channel, Route route, const Plan& op, Fill fill) {
    Request request;
    request.set_collection_name(op.collection);
    request.set_wait(op.wait);
    auto filled = fill(op.request, request);
    if (!filled) co_return std::unexpected(std::move(filled).error());
    co_return co_await send_mutation(channel, route, std::move(request));
}

}  // namespace

core::Result<void> check_update_status(const qdrant::UpdateResult& result, std::string_view label) {
    const std::string who(label);
    switch (static_cast<int>(result.status())) {
        case qdrant::UPDATE_STATUS_ACKNOWLEDGED:
        case qdrant::UPDATE_STATUS_COMPLETED: return {};
        case qdrant::UPDATE_STATUS_CLOCK_REJECTED:
            return core::fail(core::Diag::BackendBatch, who + " was rejected due to an outdated clock");
        case qdrant::UPDATE_STATUS_WAIT_TIMEOUT:
            return core::fail(core::Diag::BackendBatch,
                              who + " was not confirmed before the server wait timeout (status: wait_timeout)");
        case qdrant::UPDATE_STATUS_UNKNOWN:
            return core::fail(core::Diag::BackendEnvelope, who + " carries an unknown update status");
        default:
            return core::fail(core::Diag::BackendEnvelope,
                              who + " carries unknown status " + std::to_string(static_cast<int>(result.status())));
    }
}

AsyncResult<BackendReply> execute_mutation_op(const GrpcChannel& channel, plan::PlanOp op) {
    switch (op.kind()) {
        case PlanOpKind::Upsert:
            co_return co_await run_mutation<qdrant::UpsertPoints>(channel, kUpsert, op.get<PlanOpKind::Upsert>(),
                                                                  [](const auto& r, auto& m) {
                                                                      return upsert_into(r, m);
                                                                  });
        case PlanOpKind::Delete:
            co_return co_await run_mutation<qdrant::DeletePoints>(channel, kDelete, op.get<PlanOpKind::Delete>(),
                                                                  [](const auto& r, auto& m) {
                                                                      return selection_into(r, m);
                                                                  });
        case PlanOpKind::UpdatePayload:
            co_return co_await run_mutation<qdrant::SetPayloadPoints>(channel, kSetPayload,
                                                                      op.get<PlanOpKind::UpdatePayload>(),
                                                                      [](const auto& r, auto& m) {
                                                                          return set_payload_into(r, m);
                                                                      });
        case PlanOpKind::OverwritePayload:
            co_return co_await run_mutation<qdrant::SetPayloadPoints>(channel, kOverwritePayload,
                                                                      op.get<PlanOpKind::OverwritePayload>(),
                                                                      [](const auto& r, auto& m) {
                                                                          return set_payload_into(r, m);
                                                                      });
        case PlanOpKind::ClearPayload:
            co_return co_await run_mutation<qdrant::ClearPayloadPoints>(channel, kClearPayload,
                                                                        op.get<PlanOpKind::ClearPayload>(),
                                                                        [](const auto& r, auto& m) {
                                                                            return selection_into(r, m);
                                                                        });
        case PlanOpKind::DeletePayload:
            co_return co_await run_mutation<qdrant::DeletePayloadPoints>(channel, kDeletePayload,
                                                                         op.get<PlanOpKind::DeletePayload>(),
                                                                         [](const auto& r, auto& m) {
                                                                             return delete_payload_into(r, m);
                                                                         });
        case PlanOpKind::UpdateVector:
            co_return co_await run_mutation<qdrant::UpdatePointVectors>(channel, kUpdateVectors,
                                                                        op.get<PlanOpKind::UpdateVector>(),
                                                                        [](const auto& r, auto& m) {
                                                                            return update_vectors_into(r, m);
                                                                        });
        case PlanOpKind::DeleteVector:
            co_return co_await run_mutation<qdrant::DeletePointVectors>(channel, kDeleteVectors,
                                                                        op.get<PlanOpKind::DeleteVector>(),
                                                                        [](const auto& r, auto& m) {
                                                                            return delete_vectors_into(r, m);
                                                                        });
        default: co_return std::unexpected(unrouted_kind(op.kind()));
    }
}

core::Result<qdrant::PointsUpdateOperation> to_update_operation(const plan::UpdateOperation& operation) {
    qdrant::PointsUpdateOperation out;
    const auto& v = operation.value;
    core::Result<void> filled;
    switch (operation.kind()) {
        case PlanOpKind::Upsert: filled = upsert_into(std::get<0>(v), *out.mutable_upsert()); break;
        case PlanOpKind::Delete: filled = selection_into(std::get<1>(v), *out.mutable_delete_points()); break;
        case PlanOpKind::UpdatePayload: filled = set_payload_into(std::get<2>(v), *out.mutable_set_payload()); break;
        case PlanOpKind::OverwritePayload:
            filled = set_payload_into(std::get<3>(v), *out.mutable_overwrite_payload());
            break;
        case PlanOpKind::ClearPayload: filled = selection_into(std::get<4>(v), *out.mutable_clear_payload()); break;
        case PlanOpKind::DeletePayload:
            filled = delete_payload_into(std::get<5>(v), *out.mutable_delete_payload());
            break;
        case PlanOpKind::UpdateVector:
            filled = update_vectors_into(std::get<6>(v), *out.mutable_update_vectors());
            break;
        case PlanOpKind::DeleteVector:
            filled = delete_vectors_into(std::get<7>(v), *out.mutable_delete_vectors());
            break;
        default: return std::unexpected(unrouted_kind(operation.kind()));
    }
    if (!filled) return std::unexpected(std::move(filled).error());
    return out;
}

AsyncResult<std::vector<BackendReply>> rpc_update_batch(const GrpcChannel& channel, std::string collection,
                                                        const std::vector<plan::UpdateOperation>& operations,
                                                        bool wait) {
    qdrant::UpdateBatchPoints request;
    request.set_collection_name(std::move(collection));
    request.set_wait(wait);
    request.mutable_operations()->Reserve(static_cast<int>(operations.size()));
    for (const auto& operation : operations) {
        auto converted = to_update_operation(operation);
        if (!converted) co_return std::unexpected(std::move(converted).error());
        *request.add_operations() = std::move(*converted);
    }
    qdrant::UpdateBatchResponse reply;
    UnaryCall call{.path = "/qdrant.Points/UpdateBatch", .operation = "update_batch", .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), request, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    std::vector<BackendReply> acknowledgements;
    acknowledgements.reserve(static_cast<std::size_t>(reply.result_size()));
    for (const auto& item : reply.result()) {
        auto status = check_update_status(item, "update batch item");
        if (!status) co_return std::unexpected(std::move(status).error());
        acknowledgements.push_back(mutation_reply(std::nullopt));
    }
    co_return acknowledgements;
}

}  // namespace zorv::runtime::rpc
