// Canonical text of names, strings, numbers and the small value types.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/ast/literal.h"
#include "core/fmt/sink.h"

namespace zorv::core {

// Non-empty, [A-Za-z_][A-Za-z0-9_]*; keywords count as plain.
bool is_plain_identifier(std::string_view text);
// Backslash, quote, LF, CR and TAB escaped; NUL dropped; everything else copied.
std::string escape_string_literal(std::string_view text);
// "'" + escaped text + "'".
std::string quote_string(std::string_view text);
// A plain name unchanged, any other quoted.
std::string format_identifier(std::string_view name);

std::string format_f64(double value);
std::string format_f32(float value);
std::string format_literal(const Literal& literal);
void format_literal_into(std::string& out, const Literal& literal);
std::string format_point_id(const PointId& id);
std::string format_shard_key(const ShardKey& key);

// ":name", or "?" for a positional placeholder (its index is implied by its place).
std::string format_placeholder(const Placeholder& placeholder);

void write_literal(TextSink& sink, const Literal& literal);
void write_point_id(TextSink& sink, const PointId& id);
void write_shard_key(TextSink& sink, const ShardKey& key);
// Every printer writes placeholders through this one: ":name", or "?".
void write_placeholder(TextSink& sink, const Placeholder& placeholder);

}  // namespace zorv::core
