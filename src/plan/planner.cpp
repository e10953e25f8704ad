#include "plan/planner.h"

#include <array>
#include <cstdint>
#include <string>

#include "core/diagnostics.h"
#include "core/params/scan.h"
#include "core/parser/parser.h"
#include "core/text.h"
#include "plan/batch.h"
#include "plan/count_facet.h"
#include "plan/path_names.h"
#include "plan/point_ids.h"
#include "plan/point_update.h"
#include "plan/query.h"
#include "plan/scroll.h"
#include "plan/values.h"

namespace zorv::plan {

namespace {

using core::StatementKind;

// Only a tree whose kind is out of range gets here.
core::Result<PlanOp> unknown_kind() {
    return core::fail(core::Diag::PlanUnsupported, "unknown statements cannot be planned");
}

constexpr std::array<std::string_view, 11> kReplicaStates = {
    "Active",          "Dead",     "Partial",    "Initializing",        "Listener",
    "PartialSnapshot", "Recovery", "Resharding", "ReshardingScaleDown", "ActiveRead",
    "ManualRecovery",
};

core::Result<void> check_shard_key_count(std::string_view option, const std::optional<std::uint32_t>& value) {
    if (!value || *value >= 1) return {};
    return core::fail(core::Diag::PlanShardKey, std::string(option) + " must be within 1..=4294967295");
}

core::Result<std::string> canonical_replica_state(const std::string& text) {
    for (std::string_view state : kReplicaStates) {
        if (core::equals_ignore_case(text, state)) return std::string(state);
    }
    return core::fail(core::Diag::PlanShardKey, "unknown replica state " + core::quote_for_message(text));
}

core::Result<PlanOp> lower_create_shard_key(const core::CreateShardKey& create) {
    ZORV_CHECK(check_shard_key_count("shards_number", create.shards_number));
    ZORV_CHECK(check_shard_key_count("replication_factor", create.replication_factor));
    CreateShardKeyOp op{create.collection,    to_plan_shard_key(create.shard_key),
                        create.shards_number, create.replication_factor,
                        create.placement,     std::nullopt};
    if (create.initial_state) op.initial_state = ZORV_TRY(canonical_replica_state(*create.initial_state));
    return make_op<PlanOpKind::CreateShardKey>(std::move(op));
}

core::Result<PlanOp> finish(const core::Statement& statement) {
    // Checked where it stands: a plan is large, and moving it out and back costs.
    core::Result<PlanOp> op = lower_statement(statement);
    if (!op) return op;
    ZORV_CHECK(validate_point_ids(*op));
    ZORV_CHECK(validate_path_names(*op));
    return op;
}

}  // namespace

core::Result<PlanOp> plan_statement(const core::Statement& statement) {
    ZORV_CHECK(core::ensure_fully_bound(statement));
    return finish(statement);
}

core::Result<PlanOp> plan_prepared_statement(const core::Statement& statement) {
    ZORV_CHECK(core::check_placeholders(statement));
    return finish(statement);
}

core::Result<std::vector<core::Statement>> plan_script(std::string_view text) {
    std::vector<core::Statement> statements = ZORV_TRY(core::parse_script(text));
    for (const core::Statement& statement : statements) ZORV_CHECK(plan_statement(statement));
    return statements;
}

// One case per statement kind; the copy-only kinds pass their names on untested.
core::Result<PlanOp> lower_statement(const core::Statement& statement) {
    switch (statement.kind()) {
        case StatementKind::Query: return plan_query(*statement.get<StatementKind::Query>());
        case StatementKind::Scroll: {
            ScrollOp scroll = ZORV_TRY(lower_scroll(*statement.get<StatementKind::Scroll>()));
            return make_op<PlanOpKind::Scroll>(std::move(scroll));
        }
        case StatementKind::Upsert: return plan_point_write(statement);
        case StatementKind::CreateCollection: {
            const auto& create = *statement.get<StatementKind::CreateCollection>();
            PlanCollectionConfig config = ZORV_TRY(lower_create_collection(create));
            return make_op<PlanOpKind::CreateCollection>(CreateCollectionOp{create.collection, std::move(config)});
        }
        case StatementKind::CreateIndex: return plan_create_index(*statement.get<StatementKind::CreateIndex>());
        case StatementKind::DropIndex: {
            const auto& drop = *statement.get<StatementKind::DropIndex>();
            return make_op<PlanOpKind::DropIndex>(DropIndexOp{drop.collection, drop.field});
        }
        case StatementKind::CreateShardKey:
            return lower_create_shard_key(*statement.get<StatementKind::CreateShardKey>());
        case StatementKind::DropShardKey: {
            const auto& drop = *statement.get<StatementKind::DropShardKey>();
            return make_op<PlanOpKind::DropShardKey>(
                DropShardKeyOp{drop.collection, to_plan_shard_key(drop.shard_key)});
        }
        case StatementKind::AlterCollection: {
            const auto& alter = *statement.get<StatementKind::AlterCollection>();
            PlanCollectionUpdate update = ZORV_TRY(lower_alter_collection(alter));
            return make_op<PlanOpKind::AlterCollection>(AlterCollectionOp{alter.collection, std::move(update)});
        }
        case StatementKind::DropCollection:
            return make_op<PlanOpKind::DropCollection>(
                CollectionOp{statement.get<StatementKind::DropCollection>()->collection});
        case StatementKind::ShowCollections: return make_op<PlanOpKind::ShowCollections>();
        case StatementKind::ShowCollection:
            return make_op<PlanOpKind::ShowCollection>(
                CollectionOp{statement.get<StatementKind::ShowCollection>().name});
        case StatementKind::ShowShardKeys:
            return make_op<PlanOpKind::ShowShardKeys>(CollectionOp{statement.get<StatementKind::ShowShardKeys>().name});
        case StatementKind::Delete:
        case StatementKind::ClearPayload:
        case StatementKind::DeletePayload:
        case StatementKind::DeleteVector:
        case StatementKind::UpdateVector:
        case StatementKind::UpdatePayload: return plan_point_write(statement);
        case StatementKind::Count: return lower_count(*statement.get<StatementKind::Count>());
        case StatementKind::Facet: return lower_facet(*statement.get<StatementKind::Facet>());
        case StatementKind::ShowQuotas: return make_op<PlanOpKind::ShowQuotas>();
        case StatementKind::SetQuota: return plan_set_quota(*statement.get<StatementKind::SetQuota>());
        case StatementKind::Batch: return lower_batch(*statement.get<StatementKind::Batch>());
    }
    return unknown_kind();
}

}  // namespace zorv::plan
