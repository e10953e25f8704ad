// The filter grammar read after WHERE (and after UPDATE FILTER, inside CASE WHEN, ...).
#pragma once

#include "core/ast/filter.h"
#include "core/parser/parser.h"

namespace zorv::core {

// One filter at the loosest level (OR), starting at the current token. Stops before the first
// token that cannot continue the filter; the caller consumed the introducing word.
Result<Filter> parse_filter(Parser& parser);

}  // namespace zorv::core
