#include "plan/batch.h"

#include <array>
#include <cctype>
#include <concepts>
#include <utility>

#include "core/diagnostics.h"
#include "plan/planner.h"
#include "plan/point_update.h"
#include "plan/query_shape.h"
#include "plan/wait.h"

namespace zorv::plan {

namespace {

using core::StatementKind;

constexpr std::size_t kFirstMutation = static_cast<std::size_t>(PlanOpKind::Upsert);
constexpr std::size_t kMutationCount = 8;

constexpr std::array<std::string_view, kMutationCount> kOperationNames = {
    "upsert",        "delete",         "set_payload",    "overwrite_payload",
    "clear_payload", "delete_payload", "update_vectors", "delete_vectors",
};

core::ZorvError invariant(std::string message) {
    return core::make_error(core::Diag::BatchInvariant, std::move(message));
}

template <std::size_t I>
std::pair<std::string, UpdateOperation> copy_operation(const PlanOp& op) {
    const auto& m = std::get<I + kFirstMutation>(op.node);
    return {m.collection, UpdateOperation{UpdateOperation::Value(std::in_place_index<I>, m.request)}};
}

template <std::size_t I>
std::pair<std::string, UpdateOperation> move_operation(PlanOp& op) {
    auto& m = std::get<I + kFirstMutation>(op.node);
    return {std::move(m.collection),
            UpdateOperation{UpdateOperation::Value(std::in_place_index<I>, std::move(m.request))}};
}

template <std::size_t I>
PlanOp operation_to_plan(UpdateOperation::Value& value, std::string& collection, bool wait) {
    using Op = std::variant_alternative_t<I + kFirstMutation, PlanOp::Node>;
    return PlanOp{PlanOp::Node(std::in_place_index<I + kFirstMutation>,
                               Op{std::move(collection), wait, std::move(std::get<I>(value))})};
}

template <std::size_t... I>
std::pair<std::string, UpdateOperation> copy_by_index(const PlanOp& op, std::index_sequence<I...>) {
    using Fn = std::pair<std::string, UpdateOperation> (*)(const PlanOp&);
    static constexpr std::array<Fn, sizeof...(I)> table = {&copy_operation<I>...};
    return table[static_cast<std::size_t>(op.kind()) - kFirstMutation](op);
}

template <std::size_t... I>
std::pair<std::string, UpdateOperation> move_by_index(PlanOp& op, std::index_sequence<I...>) {
    using Fn = std::pair<std::string, UpdateOperation> (*)(PlanOp&);
    static constexpr std::array<Fn, sizeof...(I)> table = {&move_operation<I>...};
    return table[static_cast<std::size_t>(op.kind()) - kFirstMutation](op);
}

template <std::size_t... I>
PlanOp to_plan_by_index(UpdateOperation::Value& value, std::string& collection, bool wait, std::index_sequence<I...>) {
    using Fn = PlanOp (*)(UpdateOperation::Value&, std::string&, bool);
    static constexpr std::array<Fn, sizeof...(I)> table = {&operation_to_plan<I>...};
    return table[value.index()](value, collection, wait);
}

// The payload of the eight point mutations: a collection, the resolved wait and a request.
template <class T>
concept PointMutationPayload = requires(T& payload) {
    payload.collection;
    payload.request;
    { payload.wait } -> std::same_as<bool&>;
};

// The resolved wait of a point mutation; nullptr for any other kind.
bool* mutation_wait_slot(PlanOp& op) {
    return std::visit(
        []<class P>(P& payload) -> bool* {
            if constexpr (PointMutationPayload<P>) return &payload.wait;
            return nullptr;
        },
        op.node);
}

// Callers pass point mutations only: the other kinds read as wait true on collection "".
bool mutation_wait(const PlanOp& op) {
    return std::visit(
        []<class P>(const P& payload) {
            if constexpr (PointMutationPayload<P>) return payload.wait;
            return true;
        },
        op.node);
}

std::string mutation_collection(const PlanOp& op) {
    return std::visit(
        []<class P>(const P& payload) {
            if constexpr (PointMutationPayload<P>) return payload.collection;
            return std::string();
        },
        op.node);
}

// The timeout / consistency equality of a query key.
bool same_options(const QueryOp& a, const QueryOp& b) {
    return a.timeout == b.timeout && a.consistency == b.consistency;
}

template <class Take>
core::Result<QueryBatch> build_query_batch(const std::vector<PlanOp>& ops, Take take) {
    if (ops.empty()) return std::unexpected(invariant("cannot build query batch from empty operations"));
    QueryBatch batch;
    const QueryOp* first = nullptr;
    for (std::size_t i = 0; i < ops.size(); ++i) {
        if (ops[i].kind() != PlanOpKind::Query)
            return std::unexpected(invariant("query batch contained a non-query operation"));
        const QueryOp& query = ops[i].get<PlanOpKind::Query>();
        if (first == nullptr) {
            first = &query;
            batch.collection = query.collection;
            batch.timeout = query.timeout;
            batch.consistency = query.consistency;
        }
        if (query.collection != first->collection)
            return std::unexpected(invariant("query batch contained multiple collections"));
        if (!same_options(query, *first))
            return std::unexpected(invariant("query batch members disagree on timeout / consistency"));
        batch.searches.push_back(take(i));
    }
    return batch;
}

template <class Take>
core::Result<UpdateBatch> build_update_batch(std::size_t count, const std::vector<PlanOp>& ops, Take take) {
    if (count == 0) return std::unexpected(invariant("cannot build update batch from empty operations"));
    UpdateBatch batch;
    for (std::size_t i = 0; i < count; ++i) {
        const PlanOp& op = ops[i];
        if (!is_point_mutation(op.kind()))
            return std::unexpected(invariant("mutation batch contained a non-mutation operation"));
        const bool wait = mutation_wait(op);
        if (i == 0) batch.wait = wait;
        if (wait != batch.wait) return std::unexpected(invariant("mutation batch members disagree on wait"));
        const std::string_view name = plan_op_name(op.kind());
        auto [collection, operation] = take(i);
        if (i == 0) {
            batch.collection = std::move(collection);
        } else if (collection != batch.collection) {
            return std::unexpected(invariant("mutation batch contained multiple collections"));
        }
        batch.operation_names.emplace_back(name);
        batch.operations.push_back(std::move(operation));
    }
    return batch;
}

std::optional<bool> statement_wait(const core::Statement& statement) {
    switch (statement.kind()) {
        case StatementKind::Upsert: return statement.get<StatementKind::Upsert>()->wait;
        case StatementKind::Delete: return statement.get<StatementKind::Delete>()->wait;
        case StatementKind::ClearPayload: return statement.get<StatementKind::ClearPayload>()->wait;
        case StatementKind::DeletePayload: return statement.get<StatementKind::DeletePayload>()->wait;
        case StatementKind::DeleteVector: return statement.get<StatementKind::DeleteVector>()->wait;
        case StatementKind::UpdateVector: return statement.get<StatementKind::UpdateVector>()->wait;
        case StatementKind::UpdatePayload: return statement.get<StatementKind::UpdatePayload>()->wait;
        default: return std::nullopt;
    }
}

std::optional<std::string> statement_collection(const core::Statement& statement) {
    return std::visit(
        [](const auto& node) -> std::optional<std::string> {
            if constexpr (requires { node->collection; }) {
                if constexpr (std::is_same_v<std::decay_t<decltype(node->collection)>, std::string>)
                    return node->collection;
            }
            return std::nullopt;
        },
        statement.node);
}

bool sets_timeout_or_consistency(const std::optional<core::SearchParams>& params) {
    return params && (params->timeout || params->consistency);
}

core::Result<PlanOp> finish_mutation_batch(const core::Batch& batch, PlanBatch out) {
    if (sets_timeout_or_consistency(batch.params))
        return core::fail(core::Diag::ValidationBatchParams,
                          "PARAMS timeout / consistency have no representation on mutation batches");
    for (const core::Statement& member : batch.statements) {
        if (statement_wait(member))
            return core::fail(core::Diag::ValidationBatchWait, "move member WAIT to the BATCH header");
    }
    const bool wait = batch.wait.value_or(true);
    for (PlanOp& member : out.members) *mutation_wait_slot(member) = wait;
    out.key = BatchKey{BatchKey::Mutation{out.collection, wait}};
    out.wait = batch.wait;
    return make_op<PlanOpKind::Batch>(std::move(out));
}

core::Result<PlanOp> finish_query_batch(const core::Batch& batch, PlanBatch out) {
    if (batch.wait) return core::fail(core::Diag::ValidationBatchWait, "WAIT has no representation on query batches");
    const BatchHeaderParams header = ZORV_TRY(batch_header_params(batch.params));
    for (const core::Statement& member : batch.statements) {
        if (member.kind() == StatementKind::Query &&
            sets_timeout_or_consistency(member.get<StatementKind::Query>()->params))
            return core::fail(core::Diag::ValidationBatchParams,
                              "move member PARAMS timeout / consistency to the BATCH header");
    }
    out.timeout = header.timeout;
    out.consistency = header.consistency;
    out.key = BatchKey{BatchKey::Query{out.timeout, out.consistency, out.collection}};
    return make_op<PlanOpKind::Batch>(std::move(out));
}

}  // namespace

std::optional<BatchKey> plan_batch_key(const PlanOp& op) {
    if (op.kind() == PlanOpKind::Query) {
        const QueryOp& query = op.get<PlanOpKind::Query>();
        return BatchKey{BatchKey::Query{query.timeout, query.consistency, query.collection}};
    }
    if (!is_point_mutation(op.kind())) return std::nullopt;
    return BatchKey{BatchKey::Mutation{mutation_collection(op), mutation_wait(op)}};
}

std::optional<BatchKey> statement_batch_key(const core::Statement& statement) {
    switch (statement.kind()) {
        case StatementKind::Query: {
            const core::Query& query = *statement.get<StatementKind::Query>();
            if (!query.collection.name || query.group) return std::nullopt;
            const auto kind = query.expression.kind();
            if (kind == core::QueryExpr::Kind::Points || kind == core::QueryExpr::Kind::CrossRerank)
                return std::nullopt;
            BatchKey::Query key{std::nullopt, std::nullopt, *query.collection.name};
            if (query.params) {
                key.timeout = query.params->timeout;
                key.consistency = query.params->consistency;
            }
            return BatchKey{std::move(key)};
        }
        case StatementKind::Upsert: {
            const core::Upsert& upsert = *statement.get<StatementKind::Upsert>();
            return BatchKey{BatchKey::Mutation{upsert.collection, upsert_wait(upsert)}};
        }
        case StatementKind::Delete:
        case StatementKind::ClearPayload:
        case StatementKind::DeletePayload:
        case StatementKind::DeleteVector:
        case StatementKind::UpdateVector:
        case StatementKind::UpdatePayload:
            return BatchKey{
                BatchKey::Mutation{*statement_collection(statement), point_mutation_wait(statement_wait(statement))}};
        default: return std::nullopt;
    }
}

RunPush push_run_op(PendingRun& run, PlanOp op) {
    RunPush out;
    std::optional<BatchKey> key = plan_batch_key(op);
    if (!key) {
        if (!run.operations.empty()) out.flushed = std::exchange(run.operations, {});
        run.key.reset();
        out.single = std::move(op);
        return out;
    }
    if (!run.operations.empty() && run.key == key) {
        run.operations.push_back(std::move(op));
        return out;
    }
    if (!run.operations.empty()) out.flushed = std::exchange(run.operations, {});
    run.key = std::move(key);
    run.operations.push_back(std::move(op));
    return out;
}

std::optional<std::vector<PlanOp>> take_run_on_key_change(PendingRun& run, const core::Statement& statement) {
    if (run.operations.empty() || statement_batch_key(statement) == run.key) return std::nullopt;
    run.key.reset();
    return std::exchange(run.operations, {});
}

std::string statement_kind_upper_name(core::StatementKind kind) {
    const std::string_view camel = core::statement_kind_name(kind);
    std::string out;
    for (std::size_t i = 0; i < camel.size(); ++i) {
        const char c = camel[i];
        if (i > 0 && std::isupper(static_cast<unsigned char>(c)) != 0) out += ' ';
        out += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string_view UpdateOperation::name() const { return kOperationNames[value.index()]; }

core::Result<QueryBatch> query_batch_from_ops(std::vector<PlanOp> ops) {
    return build_query_batch(ops, [&](std::size_t i) { return std::move(ops[i].get<PlanOpKind::Query>().request); });
}

core::Result<QueryBatch> query_batch_from_members(const std::vector<PlanOp>& members) {
    return build_query_batch(members, [&](std::size_t i) { return members[i].get<PlanOpKind::Query>().request; });
}

core::Result<UpdateBatch> update_batch_from_ops(std::vector<PlanOp> ops) {
    return build_update_batch(ops.size(), ops, [&](std::size_t i) {
        return move_by_index(ops[i], std::make_index_sequence<kMutationCount>{});
    });
}

core::Result<UpdateBatch> update_batch_from_members(const std::vector<PlanOp>& members) {
    return build_update_batch(members.size(), members, [&](std::size_t i) { return *to_update_operation(members[i]); });
}

std::optional<std::pair<std::string, UpdateOperation>> to_update_operation(const PlanOp& op) {
    if (!is_point_mutation(op.kind())) return std::nullopt;
    return copy_by_index(op, std::make_index_sequence<kMutationCount>{});
}

PlanOp update_operation_to_plan(UpdateOperation operation, std::string collection, bool wait) {
    return to_plan_by_index(operation.value, collection, wait, std::make_index_sequence<kMutationCount>{});
}

core::Result<PlanOp> lower_batch(const core::Batch& batch) {
    PlanBatch out;
    out.members.reserve(batch.statements.size());
    for (const core::Statement& member : batch.statements) {
        PlanOp op = ZORV_TRY(lower_statement(member));
        out.members.push_back(std::move(op));
    }
    if (out.members.empty())
        return core::fail(core::Diag::ValidationBatchMember, "BATCH member cannot run in a batch RPC: BATCH");
    const std::optional<BatchKey> first = plan_batch_key(out.members.front());
    if (!first)
        return core::fail(core::Diag::ValidationBatchMember,
                          "BATCH member cannot run in a batch RPC: " +
                              statement_kind_upper_name(batch.statements.front().kind()));
    for (std::size_t i = 1; i < out.members.size(); ++i) {
        const std::optional<BatchKey> key = plan_batch_key(out.members[i]);
        if (!key || key->is_query() != first->is_query() || key->collection() != first->collection())
            return core::fail(core::Diag::ValidationBatchMixed,
                              "BATCH members must share one collection and one family, got " +
                                  statement_kind_upper_name(batch.statements[i].kind()) + " next to " +
                                  statement_kind_upper_name(batch.statements.front().kind()));
    }
    out.collection = first->collection();
    if (first->is_query()) return finish_query_batch(batch, std::move(out));
    return finish_mutation_batch(batch, std::move(out));
}

}  // namespace zorv::plan
