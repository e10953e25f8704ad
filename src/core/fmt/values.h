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

// A placeholder stored as text (":name" or "?N"): "?" for positional ones, else unchanged.
std::string_view format_placeholder_text(std::string_view stored);

void write_literal(TextSink& sink, const Literal& literal);
void write_point_id(TextSink& sink, const PointId& id);
void write_shard_key(TextSink& sink, const ShardKey& key);
// The placeholders: ":name", "?" and the stored-text form above. Every printer goes through these.
void write_param(TextSink& sink, const NamedParam& param);
void write_param(TextSink& sink, const PositionalParam& param);
void write_placeholder_text(TextSink& sink, std::string_view stored);

}  // namespace zorv::core
