// The definition statements, SET QUOTA and BATCH. Each starts at its first keyword and leaves the
// cursor on the first token it does not take.
#pragma once

#include "core/ast/statement.h"
#include "core/parser/parser.h"

namespace zorv::core {

// CREATE COLLECTION, CREATE INDEX and CREATE SHARD KEY.
Result<Statement> parse_create(Parser& parser);
// DROP COLLECTION, DROP INDEX and DROP SHARD KEY.
Result<Statement> parse_drop(Parser& parser);
Result<Statement> parse_alter(Parser& parser);
Result<Statement> parse_set_quota(Parser& parser);
Result<Statement> parse_batch(Parser& parser);

}  // namespace zorv::core
