// Parameter containers and binding them into statement trees.
//
// A container is a Literal: a Dict for named placeholders (":name", dotted names reach into
// nested dicts) or a List for positional ones ("?", item i for index i). The tree binder reads
// values through a ParamSource, whatever their origin, and replaces every placeholder slot of a
// statement in place by the value converted to what the slot stands for.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ast/formula.h"
#include "core/ast/query.h"
#include "core/ast/statement.h"
#include "core/error.h"

namespace zorv::core {

// Named values by full (dotted) key.
using FlatParams = std::map<std::string, Literal, std::less<>>;

// The reading side of binding: a named lookup (a copy the caller owns, or nullopt) and the
// positional values.
struct ParamSource {
    std::function<std::optional<Literal>(std::string_view)> named;
    std::span<const Literal> positional;
};

// How one container spreads over the statements of a call: shared when `per_statement` is
// empty, else one container per statement, pointing into the container given.
struct ScopedParams {
    std::vector<const Literal*> per_statement;
    bool shared() const { return per_statement.empty(); }
};

// A non-empty List whose every item is a Dict or a List carries one container per statement and
// must have exactly `statements` items (ZORV-BIND-BATCH-LENGTH); anything else is shared.
Result<ScopedParams> check_params_list_length(const Literal& params, std::uint64_t statements);

// Fills `map` with the entries under `prefix` ("a.b" keys for nested dicts, each dict also
// under its own key); a key met twice is ZORV-BIND-DUPLICATE-PARAM.
Result<void> flatten_params(const LiteralDict& entries, std::string_view prefix, FlatParams& map);

// Strict lookups: an absent value is ZORV-BIND-MISSING-PARAM, a Null one ZORV-BIND-NULL-PARAM.
Result<Literal> lookup_named_param(const ParamSource& source, std::string_view name, std::optional<Span> span);
Result<Literal> lookup_positional_param(std::uint64_t index, std::optional<Span> span, std::span<const Literal> values);

// Conversions of a looked-up value into the node a slot stands for (ZORV-BIND-TYPE-MISMATCH).
Result<PointId> value_to_point_id(Literal value, std::optional<Span> span);
Result<ShardKey> value_to_shard_key(Literal value, std::optional<Span> span);
Result<std::uint64_t> value_to_count(const Literal& value, std::string_view label, bool positive,
                                     std::optional<Span> span);
Result<QueryInput> value_to_query_input(Literal value, std::optional<Span> span);
Result<FormulaExpr> value_to_formula_expr(Literal value, std::optional<Span> span);

ZorvError bind_invalid_positional_error(std::string_view rest);
ZorvError bind_unbound_param_error(std::string_view name, std::optional<Span> span);
ZorvError bind_missing_positional_error(std::uint64_t index, std::optional<Span> span);

// The bulk upsert's rows: the executor fills the slot, and the first lookup of "rows" takes them.
struct RowsSlot {
    std::mutex mutex;
    std::optional<Literal> rows;
};
std::optional<Literal> take_rows_param(RowsSlot& slot, std::string_view name);
// Answers "rows" once from `slot`; no positional values. The slot must outlive the source.
ParamSource rows_param_source(RowsSlot& slot);

// Builds the source from `params` (Dict or List, else ZORV-BIND-INVALID-PARAMS) and binds.
Result<void> bind_statement_params(Statement& statement, const Literal& params);
// Replaces every placeholder of `statement` from `source`, in binding order, stopping at the first
// error (what was bound before it stays bound).
Result<void> bind_statement_placeholders(Statement& statement, const ParamSource& source);

// Binds the statements of one script. With one container per statement, each statement's "?"
// indexes are first renumbered from 0, so that its first "?" takes item 0 of its own container.
Result<void> bind_script_params(std::vector<Statement>& statements, const Literal& params);

}  // namespace zorv::core
