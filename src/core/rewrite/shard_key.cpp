#include "core/rewrite/shard_key.h"

#include <optional>
#include <string>
#include <type_traits>
#include <variant>

namespace zorv::core {
namespace {

// The slot of the kinds that hold one directly; nullptr for a QUERY, a BATCH and the kinds without one.
template <class S>
auto* direct_slot(S& statement) {
    using Slot = std::conditional_t<std::is_const_v<S>, const std::optional<ShardKey>, std::optional<ShardKey>>;
    Slot* slot = nullptr;
    std::visit(
        [&](auto& node) {
            using Node = std::remove_cvref_t<decltype(node)>;
            if constexpr (requires { node->shard_key; } && !std::is_same_v<Node, Box<Query>> &&
                          !std::is_same_v<Node, Box<CreateShardKey>> && !std::is_same_v<Node, Box<DropShardKey>>) {
                slot = &node->shard_key;
            }
        },
        statement.node);
    return slot;
}

// Structural equality that, unlike the tree's own, also compares placeholder spans.
bool same_key(const ShardKey& a, const ShardKey& b) {
    if (!(a == b)) return false;
    if (a.kind() != ShardKey::Kind::Param && a.kind() != ShardKey::Kind::PositionalParam) return true;
    return std::get<Placeholder>(a.value).span.get() == std::get<Placeholder>(b.value).span.get();
}

bool accepts_shard_key(const Statement& statement) {
    if (statement.kind() == StatementKind::Query) return true;
    if (statement.kind() == StatementKind::Batch) {
        for (const Statement& member : statement.get<StatementKind::Batch>()->statements) {
            if (!accepts_shard_key(member)) return false;
        }
        return true;
    }
    return direct_slot(statement) != nullptr;
}

void set_query_key(Query& query, const std::optional<ShardKey>& key) {
    query.shard_key = key;
    for (CteDefinition& cte : query.ctes) set_query_key(*cte.query, key);
    PrefetchList* prefetch = query.expression.prefetch_list();
    if (prefetch == nullptr) return;
    for (Prefetch& stage : *prefetch) {
        if (stage.source.is(PrefetchSource::Kind::Query)) set_query_key(stage.source.query(), key);
    }
}

// Only called once every slot is known to exist.
void set_key(Statement& statement, const std::optional<ShardKey>& key) {
    if (statement.kind() == StatementKind::Query) {
        set_query_key(*statement.get<StatementKind::Query>(), key);
    } else if (statement.kind() == StatementKind::Batch) {
        for (Statement& member : statement.get<StatementKind::Batch>()->statements) set_key(member, key);
    } else {
        *direct_slot(statement) = key;
    }
}

}  // namespace

const ShardKey* statement_shard_key(const Statement& statement) {
    if (statement.kind() == StatementKind::Query) {
        const auto& key = statement.get<StatementKind::Query>()->shard_key;
        return key ? &*key : nullptr;
    }
    if (statement.kind() == StatementKind::Batch) {
        const auto& members = statement.get<StatementKind::Batch>()->statements;
        if (members.empty()) return nullptr;
        const ShardKey* first = statement_shard_key(members.front());
        if (members.size() == 1) return first;
        if (first == nullptr) return nullptr;
        for (const Statement& member : members) {
            const ShardKey* key = statement_shard_key(member);
            if (key == nullptr || !same_key(*key, *first)) return nullptr;
        }
        return first;
    }
    const auto* slot = direct_slot(statement);
    return slot != nullptr && slot->has_value() ? &**slot : nullptr;
}

bool set_statement_shard_key(Statement& statement, const std::optional<ShardKey>& key) {
    if (!accepts_shard_key(statement)) return false;
    const bool clears = !key || (key->kind() == ShardKey::Kind::Keyword && std::get<std::string>(key->value).empty());
    set_key(statement, clears ? std::nullopt : key);
    return true;
}

}  // namespace zorv::core
