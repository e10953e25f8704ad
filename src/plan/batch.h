// Batch keys, the pending run of the executor, and the query and update batches built from a run
// or from the members of an explicit BATCH.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/ast/statement.h"
#include "core/error.h"
#include "plan/batch_key.h"
#include "plan/plan_op.h"

namespace zorv::plan {

// QUERY gets a query key, the eight point mutations a mutation key, everything else none (it
// runs alone).
std::optional<BatchKey> plan_batch_key(const PlanOp& op);
// The key the statement's operation will have, without planning it.
std::optional<BatchKey> statement_batch_key(const core::Statement& statement);

// Operations gathered under one key, in statement order; an empty run has no key.
struct PendingRun {
    std::optional<BatchKey> key;
    std::vector<PlanOp> operations;
};

struct RunPush {
    std::optional<std::vector<PlanOp>> flushed;  // send these first
    std::optional<PlanOp> single;                // then run this one alone
};

RunPush push_run_op(PendingRun& run, PlanOp op);
// The run to flush before `statement` is planned, when the statement cannot join it.
std::optional<std::vector<PlanOp>> take_run_on_key_change(PendingRun& run, const core::Statement& statement);

// "CREATE COLLECTION", "DELETE PAYLOAD", ...: the statement kind in BATCH member messages.
std::string statement_kind_upper_name(core::StatementKind kind);

// One entry of an update batch: a point mutation's request without its collection and wait.
// The variant index follows the plan kinds UPSERT (0) to DELETE_VECTOR (7).
struct UpdateOperation {
    using Value = std::variant<PlanUpsert, PlanPointsSelector, PlanSetPayload, PlanSetPayload, PlanPointsSelector,
                               PlanDeletePayload, PlanUpdateVectors, PlanDeleteVectors>;
    Value value;

    PlanOpKind kind() const {
        return static_cast<PlanOpKind>(value.index() + static_cast<std::size_t>(PlanOpKind::Upsert));
    }
    // "upsert", "delete", "set_payload", "overwrite_payload", ...: its key in the batch body.
    std::string_view name() const;
    friend bool operator==(const UpdateOperation&, const UpdateOperation&) = default;
};

struct QueryBatch {
    std::optional<std::uint64_t> timeout;
    std::optional<Consistency> consistency;
    std::string collection;
    std::vector<PlanQueryRequest> searches;
};

struct UpdateBatch {
    std::string collection;
    bool wait = true;
    std::vector<UpdateOperation> operations;
    std::vector<std::string> operation_names;  // plan kind names, for the per-member results
};

// ZORV-BATCH-INVARIANT (kind Execution) when the operations do not form one batch.
core::Result<QueryBatch> query_batch_from_ops(std::vector<PlanOp> ops);
core::Result<QueryBatch> query_batch_from_members(const std::vector<PlanOp>& members);
core::Result<UpdateBatch> update_batch_from_ops(std::vector<PlanOp> ops);
core::Result<UpdateBatch> update_batch_from_members(const std::vector<PlanOp>& members);

// The collection and the operation of a point mutation; nullopt for any other kind.
std::optional<std::pair<std::string, UpdateOperation>> to_update_operation(const PlanOp& op);
PlanOp update_operation_to_plan(UpdateOperation operation, std::string collection, bool wait);

// The BATCH statement: members lowered in order, one family on one collection, the header WAIT
// (true without it) written into every mutation member.
core::Result<PlanOp> lower_batch(const core::Batch& batch);

}  // namespace zorv::plan
