// The point mutations: UPSERT, DELETE, CLEAR PAYLOAD and UPDATE.
#pragma once

#include <optional>
#include <string_view>

#include "core/ast/statement.h"
#include "core/parser/parser.h"

namespace zorv::core {

// Each starts at its keyword and leaves the cursor on the first token it does not take; the
// caller decides whether that token may follow.
Result<Statement> parse_upsert(Parser& parser);
// DELETE FROM, DELETE PAYLOAD and DELETE VECTOR.
Result<Statement> parse_delete(Parser& parser);
Result<Statement> parse_clear_payload(Parser& parser);
// UPDATE ... SET PAYLOAD and UPDATE ... SET VECTOR.
Result<Statement> parse_update(Parser& parser);

// The SHARD and WAIT clauses that end every point mutation, in either order, each once.
struct MutationTail {
    std::optional<ShardKey> shard_key;
    std::optional<bool> wait;
};
Result<MutationTail> parse_mutation_tail(Parser& parser);

namespace mutation_detail {

// One object literal of a VALUES list with the span from its first token to its last.
struct RowObject {
    LiteralDict pairs;
    Span span;
};
Result<RowObject> parse_row_object(Parser& parser);

// Takes out the first pair whose key equals `key` ignoring ASCII case.
std::optional<Literal> take_pair(LiteralDict& pairs, std::string_view key);

}  // namespace mutation_detail

}  // namespace zorv::core
