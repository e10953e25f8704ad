// The REST request a statement would send, shown without sending it: the route name and the
// request, or a marker saying why there is none.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/ast/statement.h"
#include "core/error.h"
#include "plan/json_value.h"
#include "plan/plan_op.h"
#include "plan/rest/route.h"

namespace zorv::plan {

struct CompiledRoute {
    struct ClientSide {  // the client runs it
        friend bool operator==(const ClientSide&, const ClientSide&) = default;
    };
    struct BatchOnly {  // exists only inside update batches
        friend bool operator==(const BatchOnly&, const BatchOnly&) = default;
    };
    struct MultiStep {  // needs a sequence of requests
        friend bool operator==(const MultiStep&, const MultiStep&) = default;
    };
    std::string stmt_type;  // the route name
    std::variant<RestRequest, ClientSide, BatchOnly, MultiStep> target;
    friend bool operator==(const CompiledRoute&, const CompiledRoute&) = default;
};

// Lower snake case: the plan kind's name except GET_POINTS (points), ALTER_COLLECTION
// (update_collection) and BATCH (query_batch or update_batch, by its members' family).
std::string_view route_name(const PlanOp& op);

// Plans the bound statement (a planning error comes back unchanged) and compiles its route.
core::Result<CompiledRoute> compile_route(const core::Statement& statement);
// The same for an operation already planned.
core::Result<CompiledRoute> compile_op_route(const PlanOp& op);

core::ZorvError route_error_to_error(RouteError error);

// {"method", "path", "payload", "stmt_type"}; the query parameters are not shown, and a route
// without request has null method, path and payload.
JsonValue route_to_json(const CompiledRoute& route);
// The same taking the body over instead of copying it.
JsonValue route_to_json(CompiledRoute&& route);
// A copy of the body, or null.
JsonValue clone_route_body(const std::optional<JsonValue>& body);

}  // namespace zorv::plan
