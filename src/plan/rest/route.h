// One plan operation as the one Qdrant REST request it stands for (method, path, query
// parameters, body), or the reason it has none. Pure: no network, no shared state.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/error.h"
#include "plan/json_value.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// Tag order: GET, POST, PUT, PATCH, DELETE.
enum class HttpMethod : std::uint8_t { Get, Post, Put, Patch, Delete };

// "GET", "POST", ...: also the text shown to Python.
std::string_view http_method_name(HttpMethod method);

// Query-string pairs in the order the route gives them; the backend encodes them.
using QueryParams = std::vector<std::pair<std::string, std::string>>;

struct RestRequest {
    HttpMethod method = HttpMethod::Get;
    std::string path;  // below the base URL: "/collections..." or "/quotas", names percent-encoded
    QueryParams query;
    std::optional<JsonValue> body;  // value form: object keys in ascending order
    friend bool operator==(const RestRequest&, const RestRequest&) = default;
};

// Why an operation has no single request.
struct RouteError {
    struct ClientSide {  // the client runs it (CROSS_RERANK)
        std::string route;
        friend bool operator==(const ClientSide&, const ClientSide&) = default;
    };
    struct OverwriteBatchOnly {  // OVERWRITE_PAYLOAD exists only inside an update batch
        friend bool operator==(const OverwriteBatchOnly&, const OverwriteBatchOnly&) = default;
    };
    struct MultiStep {  // needs a sequence of requests
        std::string route;
        friend bool operator==(const MultiStep&, const MultiStep&) = default;
    };
    struct BatchInvariant {  // BATCH members that do not form one batch
        std::string message;
        friend bool operator==(const BatchInvariant&, const BatchInvariant&) = default;
    };
    struct Serialize {  // a body writer failed
        std::string message;
        friend bool operator==(const Serialize&, const Serialize&) = default;
    };
    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t { ClientSide, OverwriteBatchOnly, MultiStep, BatchInvariant, Serialize };
    using Value = std::variant<ClientSide, OverwriteBatchOnly, MultiStep, BatchInvariant, Serialize>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    friend bool operator==(const RouteError&, const RouteError&) = default;
};

using RouteResult = std::expected<RestRequest, RouteError>;

// The route table, one row per kind.
RouteResult plan_to_rest_request(const PlanOp& op);

// Every byte but the RFC 3986 unreserved ones (A-Z a-z 0-9 - . _ ~) as "%XX" in upper-case hex, so
// a name stays one path segment whatever it holds ("a/b" is "a%2Fb"). Every route builds its
// names through this.
std::string encode_path_segment(std::string_view name);
// "/collections/{name}" with the name encoded.
std::string collection_path(std::string_view collection);

// A factor as its digits, otherwise "majority", "quorum" or "all".
std::string consistency_param(const Consistency& consistency);
// ("timeout", seconds) when present, then ("consistency", ...) when present.
void push_timeout_consistency_params(QueryParams& query, std::optional<std::uint64_t> timeout,
                                     const std::optional<Consistency>& consistency);
QueryParams timeout_consistency_params(std::optional<std::uint64_t> timeout,
                                       const std::optional<Consistency>& consistency);
// The single pair ("wait", "true" or "false").
QueryParams wait_param(bool wait);
void push_query_param(QueryParams& query, std::pair<std::string, std::string> param);

// BatchInvariant with the error's message; its code, fields and cause are dropped.
RouteError batch_route_error(core::ZorvError error);

}  // namespace zorv::plan
