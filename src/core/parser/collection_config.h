// The WITH clauses of CREATE and ALTER COLLECTION, read into one CollectionSettings.
#pragma once

#include <optional>
#include <string_view>

#include "core/ast/collection.h"
#include "core/parser/parser.h"

namespace zorv::core {

enum class ClauseMode : bool { Create, Alter };

// Reads WITH clauses while WITH is current; nullopt when there is none.
Result<std::optional<CollectionSettings>> parse_collection_with_clauses(Parser& parser, ClauseMode mode);

// Adds one clause's record to `into`; a field set twice fails at `span`.
Result<void> merge_collection_settings(CollectionSettings& into, CollectionSettings clause, Span span);

// The per-entry checks of PARAMS, OPTIMIZERS and STRICT_MODE; messages name the key as written.
Result<void> check_params_entry(const LiteralEntry& entry, Span span);
Result<void> check_optimizers_entry(const LiteralEntry& entry, Span span);
Result<void> check_strict_mode_entry(const LiteralEntry& entry, Span span);
bool is_strict_mode_key(std::string_view key);

}  // namespace zorv::core
