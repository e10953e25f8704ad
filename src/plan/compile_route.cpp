#include "plan/compile_route.h"

#include <array>
#include <utility>

#include "core/diagnostics.h"
#include "core/overloaded.h"
#include "plan/planner.h"

namespace zorv::plan {

namespace {

// By kind; BATCH is decided by its members.
constexpr std::array<std::string_view, kPlanOpKindCount> kRouteNames = {
    "query",
    "query_groups",
    "points",
    "scroll",
    "count",
    "facet",
    "upsert",
    "delete",
    "update_payload",
    "overwrite_payload",
    "clear_payload",
    "delete_payload",
    "update_vector",
    "delete_vector",
    "create_collection",
    "update_collection",
    "drop_collection",
    "create_index",
    "drop_index",
    "create_shard_key",
    "drop_shard_key",
    "show_shard_keys",
    "show_collections",
    "show_collection",
    "cross_rerank",
    "show_quotas",
    "set_quota",
    "batch",
};

bool is_query_family(const PlanBatch& batch) {
    if (batch.members.empty()) return false;
    const PlanOpKind first = batch.members.front().kind();
    return first == PlanOpKind::Query || first == PlanOpKind::QueryGroups;
}

}  // namespace

std::string_view route_name(const PlanOp& op) {
    if (op.kind() == PlanOpKind::Batch) {
        return is_query_family(op.get<PlanOpKind::Batch>()) ? "query_batch" : "update_batch";
    }
    return kRouteNames[static_cast<std::size_t>(op.kind())];
}

core::Result<CompiledRoute> compile_route(const core::Statement& statement) {
    const PlanOp op = ZORV_TRY(plan_statement(statement));
    return compile_op_route(op);
}

core::Result<CompiledRoute> compile_op_route(const PlanOp& op) {
    std::string name(route_name(op));
    RouteResult compiled = plan_to_rest_request(op);
    if (compiled) return CompiledRoute{std::move(name), std::move(*compiled)};
    RouteError& error = compiled.error();
    switch (error.kind()) {
        case RouteError::Kind::ClientSide:
            return CompiledRoute{std::get<RouteError::ClientSide>(error.value).route, CompiledRoute::ClientSide{}};
        case RouteError::Kind::OverwriteBatchOnly: return CompiledRoute{std::move(name), CompiledRoute::BatchOnly{}};
        case RouteError::Kind::MultiStep:
            return CompiledRoute{std::get<RouteError::MultiStep>(error.value).route, CompiledRoute::MultiStep{}};
        case RouteError::Kind::BatchInvariant:
        case RouteError::Kind::Serialize: break;
    }
    return std::unexpected(route_error_to_error(std::move(error)));
}

core::ZorvError route_error_to_error(RouteError error) {
    using core::Diag;
    using core::make_error;
    return std::visit(
        core::Overloaded{
            [](RouteError::ClientSide& e) {
                return make_error(Diag::RestClientSide,
                                  e.route +
                                      " is client-side and has no single Qdrant REST route; execute via the runtime "
                                      "client-side path");
            },
            [](RouteError::OverwriteBatchOnly&) {
                return make_error(Diag::RestOverwriteBatchOnly,
                                  "OVERWRITE has no single Qdrant REST route: POST /points/payload is merge-only; run "
                                  "the statement inside a BATCH block (POST /points/batch with overwrite_payload)");
            },
            [](RouteError::MultiStep& e) {
                return make_error(Diag::RestMultiStep,
                                  e.route +
                                      " projects to a multi-step REST sequence (a conditional PATCH and/or per-key "
                                      "shard writes); it has no single Qdrant REST route");
            },
            [](RouteError::BatchInvariant& e) { return make_error(Diag::BatchInvariant, std::move(e.message)); },
            [](RouteError::Serialize& e) {
                return make_error(Diag::PlanSerialize, "plan IR REST request body serialization failed: " + e.message);
            },
        },
        error.value);
}

JsonValue route_to_json(const CompiledRoute& route) { return route_to_json(CompiledRoute(route)); }

JsonValue route_to_json(CompiledRoute&& route) {
    JsonObject out;
    out.reserve(4);
    if (auto* request = std::get_if<RestRequest>(&route.target)) {
        out.emplace("method", std::string(http_method_name(request->method)));
        out.emplace("path", std::move(request->path));
        out.emplace("payload", request->body ? std::move(*request->body) : JsonValue(nullptr));
    } else {
        out.emplace("method", nullptr);
        out.emplace("path", nullptr);
        out.emplace("payload", nullptr);
    }
    out.emplace("stmt_type", std::move(route.stmt_type));
    return out;
}

JsonValue clone_route_body(const std::optional<JsonValue>& body) { return body ? *body : JsonValue(nullptr); }

}  // namespace zorv::plan
