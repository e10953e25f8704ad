// Value readers on the parser cursor: literals, lists, objects, settings lists, names, ids.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/ast/literal.h"
#include "core/parser/parser.h"

namespace zorv::core {

// One value of any form; bare words read as Str.
Result<Literal> parse_literal(Parser& parser);
Result<std::string> parse_string_literal(Parser& parser);
Result<LiteralList> parse_list_literal(Parser& parser);
Result<LiteralDict> parse_object_literal(Parser& parser);
// "(" key = value, ... ")" with case-insensitive duplicate keys refused.
Result<LiteralDict> parse_config_list(Parser& parser);
Result<Token> take_object_key(Parser& parser);
Result<Literal> parse_scalar_literal(Parser& parser);
Result<LiteralList> parse_value_list(Parser& parser);
Result<std::string> parse_field_name(Parser& parser);
Result<PointId> parse_point_id(Parser& parser, std::string_view context);
Result<ShardKey> parse_shard_key(Parser& parser);
Result<std::uint64_t> parse_positive_integer(Parser& parser, std::string_view context);
Result<std::uint64_t> parse_nonnegative_integer(Parser& parser, std::string_view context);
Result<double> parse_number(Parser& parser);

// A ":name" or "?" placeholder when one is current; nullopt, consuming nothing, otherwise.
std::optional<Placeholder> parse_placeholder_ref(Parser& parser);
// The placeholder that starts at the current ":" or "?"; ZORV-PARSE-PARAM when ":" has no name.
Result<Placeholder> parse_placeholder(Parser& parser);

Result<std::optional<std::string>> parse_optional_model(Parser& parser);
Result<std::string> parse_model_clause(Parser& parser);

// YYYY-MM-DD, optionally with a time, fraction and zone; no range checks.
bool is_datetime_literal(std::string_view text);

}  // namespace zorv::core
