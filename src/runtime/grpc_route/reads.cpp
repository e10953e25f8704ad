#include "runtime/grpc_route/reads.h"

#include <utility>

#include "core/diagnostics.h"
#include "qdrant/points.pb.h"
#include "runtime/grpc_route/execute.h"
#include "runtime/grpc_route/point_replies.h"
#include "runtime/grpc_route/query_request.h"
#include "runtime/grpc_route/read_requests.h"
#include "runtime/grpc_route/usage.h"

namespace zorv::runtime::rpc {

namespace {

using plan::PlanOpKind;
using protocol::BackendReply;
using protocol::ExecData;

template <class Reply>
BackendReply reply_of(ExecData data, const Reply& reply) {
    BackendReply out;
    out.telemetry = reply_telemetry(reply);
    out.data = std::move(data);
    return out;
}

PayloadWanted wants_payload(const std::optional<plan::PlanPayloadSelector>& selector) {
    if (!selector) return PayloadWanted::No;
    const bool* enable = std::get_if<bool>(&selector->value);
    return enable != nullptr && !*enable ? PayloadWanted::No : PayloadWanted::Yes;
}

AsyncResult<BackendReply> run_query(const GrpcChannel& channel, plan::QueryOp op) {
    auto built = build_query_points(op.request, op.collection);
    if (!built) co_return std::unexpected(std::move(built).error());
    if (op.consistency) *built->mutable_read_consistency() = read_consistency_to_proto(*op.consistency);
    if (op.timeout) built->set_timeout(*op.timeout);
    qdrant::QueryResponse reply;
    UnaryCall call{.path = "/qdrant.Points/Query", .operation = "query", .timeout_s = op.timeout};
    auto done = co_await call_unary(channel, std::move(call), *built, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    auto hits = scored_points_from_proto(*reply.mutable_result(), wants_payload(op.request.with_payload));
    if (!hits) co_return std::unexpected(std::move(hits).error());
    co_return reply_of(ExecData{ExecData::Hits{std::move(*hits)}}, reply);
}

AsyncResult<BackendReply> run_query_groups(const GrpcChannel& channel, plan::QueryGroupsOp op) {
    auto built = build_query_point_groups(op);
    if (!built) co_return std::unexpected(std::move(built).error());
    qdrant::QueryGroupsResponse reply;
    UnaryCall call{.path = "/qdrant.Points/QueryGroups", .operation = "query_groups", .timeout_s = op.timeout};
    auto done = co_await call_unary(channel, std::move(call), *built, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    if (!reply.has_result()) co_return core::fail(core::Diag::Grpc, "missing groups result");
    const PayloadWanted payload = wants_payload(op.request.with_payload);
    std::vector<protocol::HitGroup> groups;
    groups.reserve(static_cast<std::size_t>(reply.result().groups_size()));
    for (qdrant::PointGroup& group : *reply.mutable_result()->mutable_groups()) {
        auto converted = point_group_from_proto(group, payload);
        if (!converted) co_return std::unexpected(std::move(converted).error());
        groups.push_back(std::move(*converted));
    }
    co_return reply_of(ExecData{ExecData::Groups{std::move(groups)}}, reply);
}

AsyncResult<BackendReply> run_get(const GrpcChannel& channel, plan::GetPointsOp op) {
    const qdrant::GetPoints request = build_get_points(op);
    qdrant::GetResponse reply;
    UnaryCall call{.path = "/qdrant.Points/Get", .operation = "get_points", .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), request, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    auto hits = retrieved_points_from_proto(*reply.mutable_result(), wants_payload(op.with_payload));
    if (!hits) co_return std::unexpected(std::move(hits).error());
    co_return reply_of(ExecData{ExecData::Hits{std::move(*hits)}}, reply);
}

AsyncResult<BackendReply> run_scroll(const GrpcChannel& channel, plan::ScrollOp op) {
    auto built = build_scroll_points(op);
    if (!built) co_return std::unexpected(std::move(built).error());
    qdrant::ScrollResponse reply;
    UnaryCall call{.path = "/qdrant.Points/Scroll", .operation = "scroll", .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), *built, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    auto hits = retrieved_points_from_proto(*reply.mutable_result(), wants_payload(op.with_payload));
    if (!hits) co_return std::unexpected(std::move(hits).error());
    co_return reply_of(ExecData{ExecData::Hits{std::move(*hits)}}, reply);
}

AsyncResult<BackendReply> run_count(const GrpcChannel& channel, plan::CountOp op) {
    auto built = build_count_points(op);
    if (!built) co_return std::unexpected(std::move(built).error());
    qdrant::CountResponse reply;
    UnaryCall call{.path = "/qdrant.Points/Count", .operation = "count", .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), *built, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    if (!reply.has_result()) co_return core::fail(core::Diag::BackendEnvelope, "count response is missing its result");
    co_return reply_of(ExecData{ExecData::Count{reply.result().count()}}, reply);
}

core::Result<std::vector<protocol::FacetHit>> facet_hits_from_proto(
    google::protobuf::RepeatedPtrField<qdrant::FacetHit>& hits) {
    std::vector<protocol::FacetHit> out;
    out.reserve(static_cast<std::size_t>(hits.size()));
    for (qdrant::FacetHit& hit : hits) {
        qdrant::FacetValue& value = *hit.mutable_value();
        switch (hit.has_value() ? value.variant_case() : qdrant::FacetValue::VARIANT_NOT_SET) {
            case qdrant::FacetValue::kStringValue:
                out.push_back({std::move(*value.mutable_string_value()), hit.count()});
                break;
            case qdrant::FacetValue::kIntegerValue: out.push_back({value.integer_value(), hit.count()}); break;
            case qdrant::FacetValue::kBoolValue: out.push_back({value.bool_value(), hit.count()}); break;
            default: return core::fail(core::Diag::BackendEnvelope, "facet hit is missing its value");
        }
    }
    return out;
}

AsyncResult<BackendReply> run_facet(const GrpcChannel& channel, plan::FacetOp op) {
    auto built = build_facet_counts(op);
    if (!built) co_return std::unexpected(std::move(built).error());
    qdrant::FacetResponse reply;
    UnaryCall call{.path = "/qdrant.Points/Facet", .operation = "facet", .timeout_s = std::nullopt};
    auto done = co_await call_unary(channel, std::move(call), *built, reply);
    if (!done) co_return std::unexpected(std::move(done).error());
    auto hits = facet_hits_from_proto(*reply.mutable_hits());
    if (!hits) co_return std::unexpected(std::move(hits).error());
    co_return reply_of(ExecData{ExecData::Facet{std::move(*hits)}}, reply);
}

}  // namespace

AsyncResult<BackendReply> execute_read_op(const GrpcChannel& channel, plan::PlanOp op) {
    switch (op.kind()) {
        case PlanOpKind::Query: co_return co_await run_query(channel, std::move(op.get<PlanOpKind::Query>()));
        case PlanOpKind::QueryGroups:
            co_return co_await run_query_groups(channel, std::move(op.get<PlanOpKind::QueryGroups>()));
        case PlanOpKind::GetPoints: co_return co_await run_get(channel, std::move(op.get<PlanOpKind::GetPoints>()));
        case PlanOpKind::Scroll: co_return co_await run_scroll(channel, std::move(op.get<PlanOpKind::Scroll>()));
        case PlanOpKind::Count: co_return co_await run_count(channel, std::move(op.get<PlanOpKind::Count>()));
        case PlanOpKind::Facet: co_return co_await run_facet(channel, std::move(op.get<PlanOpKind::Facet>()));
        default: co_return std::unexpected(unrouted_kind(op.kind()));
    }
}

AsyncResult<std::vector<BackendReply>> rpc_query_batch(const GrpcChannel& channel, std::string collection,
                                                       std::vector<plan::PlanQueryRequest> requests,
                                                       std::optional<std::uint64_t> timeout,
                                                       std::optional<plan::Consistency> consistency) {
    qdrant::QueryBatchPoints batch;
    batch.set_collection_name(collection);
    batch.mutable_query_points()->Reserve(static_cast<int>(requests.size()));
    for (const plan::PlanQueryRequest& request : requests) {
        auto built = build_query_points(request, collection);
        if (!built) co_return std::unexpected(std::move(built).error());
        *batch.add_query_points() = std::move(*built);
    }
    if (consistency) *batch.mutable_read_consistency() = read_consistency_to_proto(*consistency);
    if (timeout) batch.set_timeout(*timeout);

    qdrant::QueryBatchResponse reply;
    UnaryCall call{.path = "/qdrant.Points/QueryBatch", .operation = "query_batch", .timeout_s = timeout};
    auto done = co_await call_unary(channel, std::move(call), batch, reply);
    if (!done) co_return std::unexpected(std::move(done).error());

    // The server's time and usage cover the whole batch, not any one member.
    std::vector<BackendReply> out;
    out.reserve(static_cast<std::size_t>(reply.result_size()));
    for (int i = 0; i < reply.result_size(); ++i) {
        // A reply longer than the batch is the executor's to report; it has no request to read.
        const PayloadWanted payload = static_cast<std::size_t>(i) < requests.size()
                                          ? wants_payload(requests[static_cast<std::size_t>(i)].with_payload)
                                          : PayloadWanted::Yes;
        auto hits = scored_points_from_proto(*reply.mutable_result(i)->mutable_result(), payload);
        if (!hits) co_return std::unexpected(std::move(hits).error());
        out.push_back(BackendReply{.telemetry = std::nullopt, .data = ExecData{ExecData::Hits{std::move(*hits)}}});
    }
    co_return out;
}

}  // namespace zorv::runtime::rpc
