// The SHARD key of a statement, read and replaced without rewriting its text.
#pragma once

#include <optional>

#include "core/ast/literal.h"
#include "core/ast/statement.h"

namespace zorv::core {

// The statement's key; for a QUERY the outer body's. A BATCH answers only when all its members
// carry the same key (placeholders equal only at the same span).
const ShardKey* statement_shard_key(const Statement& statement);

// Replaces the key (an empty keyword or none clears it); a QUERY writes its CTE and inline prefetch
// bodies too, a BATCH every member. False, with nothing changed, when the kind (or a BATCH member)
// takes no shard key.
bool set_statement_shard_key(Statement& statement, const std::optional<ShardKey>& key);

}  // namespace zorv::core
