// The result of one statement, the decoded reply of one backend call, and the report of one call
// that folds its results together.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "core/ast/vector.h"
#include "core/error.h"
#include "plan/json_value.h"
#include "plan/plan_op.h"
#include "plan/quota.h"
#include "protocol/collection_schema.h"
#include "protocol/usage.h"

namespace zorv::protocol {

// Payload members in the order the server wrote them, so the dicts made from them are stable.
using HitPayload = std::vector<std::pair<std::string, plan::JsonValue>>;
// A hit's vectors: the unnamed one, or named vectors ordered by name. Replies carry only the
// dense, sparse and multi-dense forms.
using NamedHitVectors = std::map<std::string, core::VectorValue, std::less<>>;
using HitVectors = std::variant<core::VectorValue, NamedHitVectors>;

struct ScoredPoint {
    plan::PlanPointId id;
    double score = 0.0;  // always made by score_f64 from the server's f32
    std::optional<HitPayload> payload;
    std::optional<HitVectors> vector;
    std::optional<std::string> collection;  // set by the client-side rerank only
    friend bool operator==(const ScoredPoint&, const ScoredPoint&) = default;
};

using GroupId = std::variant<std::string, std::uint64_t, std::int64_t>;
using FacetValue = std::variant<std::string, std::int64_t, bool>;

struct HitGroup {
    GroupId id;
    std::vector<ScoredPoint> hits;
    friend bool operator==(const HitGroup&, const HitGroup&) = default;
};

struct FacetHit {
    FacetValue value;
    std::uint64_t count = 0;
    friend bool operator==(const FacetHit&, const FacetHit&) = default;
};

using QuotaConfig = plan::PlanQuotaConfig;

// The typed payload of a result.
struct ExecData {
    struct Hits {
        std::vector<ScoredPoint> points;
        friend bool operator==(const Hits&, const Hits&) = default;
    };
    struct Groups {
        std::vector<HitGroup> groups;
        friend bool operator==(const Groups&, const Groups&) = default;
    };
    struct Count {
        std::uint64_t count = 0;
        friend bool operator==(const Count&, const Count&) = default;
    };
    struct Facet {
        std::vector<FacetHit> hits;
        friend bool operator==(const Facet&, const Facet&) = default;
    };
    struct Mutation {
        std::optional<std::uint64_t> count;  // affected points, when known
        friend bool operator==(const Mutation&, const Mutation&) = default;
    };
    struct Collections {
        std::vector<std::string> names;
        friend bool operator==(const Collections&, const Collections&) = default;
    };
    struct Collection {
        CollectionSchema schema;
        friend bool operator==(const Collection&, const Collection&) = default;
    };
    struct ShardKeys {
        std::vector<plan::PlanShardKey> keys;
        friend bool operator==(const ShardKeys&, const ShardKeys&) = default;
    };
    struct Quotas {
        QuotaConfig config;
        friend bool operator==(const Quotas&, const Quotas&) = default;
    };

    // Tag order: the variant index is the kind.
    enum class Kind : std::uint8_t { Hits, Groups, Count, Facet, Mutation, Collections, Collection, ShardKeys, Quotas };
    using Value = std::variant<Hits, Groups, Count, Facet, Mutation, Collections, Collection, ShardKeys, Quotas>;
    Value value;

    Kind kind() const { return static_cast<Kind>(value.index()); }
    bool is(Kind k) const { return kind() == k; }
    friend bool operator==(const ExecData&, const ExecData&) = default;
};

// What the server said about one call.
struct Telemetry {
    std::optional<double> time_s;
    std::optional<Usage> usage;
    friend bool operator==(const Telemetry&, const Telemetry&) = default;
};

struct StatementResult {
    bool ok = true;
    std::string operation;  // "QUERY", ..., or PARSE, BIND, PREPARE, PLAN for early failures
    std::string message;
    std::optional<ExecData> data;
    std::optional<Telemetry> telemetry;
    friend bool operator==(const StatementResult&, const StatementResult&) = default;
};

// One decoded backend reply; the builders below move both parts out of it.
struct BackendReply {
    std::optional<Telemetry> telemetry;
    std::optional<ExecData> data;
};

struct ExecutionReport {
    std::vector<StatementResult> results;  // execution order
    std::uint64_t succeeded = 0;
    std::uint64_t failed = 0;
    bool ok = true;
    std::optional<Telemetry> telemetry;  // time and usage of all results together
    friend bool operator==(const ExecutionReport&, const ExecutionReport&) = default;
};

// The result of an operation sent as one backend call. Fails only for CROSS_RERANK, which runs
// on the client and has no backend reply.
core::Result<StatementResult> operation_result(const plan::PlanOp& op, BackendReply reply);

// One member of a query batch.
StatementResult query_batch_result(BackendReply reply);

// One member of an update batch: its kind (UPSERT to DELETE_VECTOR) and, for an upsert, its
// number of points.
StatementResult update_run_results(plan::PlanOpKind kind, std::uint64_t upsert_points, BackendReply reply);

// A statement that failed: ok false, the error's display text as message.
StatementResult failed_statement_result(std::string_view operation, const core::ZorvError& error);
StatementResult failed_statement_result(const plan::PlanOp& op, const core::ZorvError& error);

ExecutionReport summarize_results(std::vector<StatementResult> results);

// The server's f32 score as the f64 its shortest decimal text names: 0.1f becomes 0.1, not
// 0.10000000149011612. No heap use: it runs once per hit.
double score_f64(float score) noexcept;

}  // namespace zorv::protocol
