// Filter injection: one extra condition, field OP value, ANDed into a parsed statement (tenant
// isolation and similar rewrites), or set in every written row of an UPSERT.
#pragma once

#include <optional>
#include <string_view>

#include "core/ast/filter.h"
#include "core/ast/literal.h"
#include "core/ast/statement.h"
#include "core/error.h"

namespace zorv::core {

// "=", "==", "eq", ">", "gt", ">=", "gte", "<", "lt", "<=", "lte", trimmed and in any case.
// Not-equal has no injectable form and is refused with its own remedy.
Result<CompareOp> parse_inject_operator(std::string_view text);

// ANDs `condition` into `slot`: appended to an And already there, else And[old, condition].
void merge_injected_condition(std::optional<Box<Filter>>& slot, Filter condition);

// Rewrites `statement` in place. On an error the statement may be partly rewritten: callers
// rewrite their own copy and discard it.
Result<void> inject_filter_into_statement(Statement& statement, std::string_view field, CompareOp op,
                                          const Literal& value);

}  // namespace zorv::core
