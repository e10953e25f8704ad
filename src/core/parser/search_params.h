// The PARAMS block of QUERY and BATCH, and the WITH PAYLOAD / WITH VECTOR selectors.
#pragma once

#include "core/ast/literal.h"
#include "core/ast/search.h"
#include "core/parser/parser.h"

namespace zorv::core {

// "(" key = value {"," key = value} ")", called right after PARAMS was consumed. Every value is
// checked as it is read; max_selectivity additionally needs acorn = true somewhere in the block.
Result<SearchParams> parse_search_params(Parser& parser);

// Called after WITH PAYLOAD: TRUE, FALSE, INCLUDE (names) or EXCLUDE (names).
Result<PayloadSelector> parse_payload_selector(Parser& parser);

// Called after WITH VECTOR: TRUE, FALSE, (names), or nothing at all (all vectors).
Result<VectorSelector> parse_vector_selector(Parser& parser);

// "(" name {"," name} ")" with at least one name.
Result<SelectorNames> parse_selector_names(Parser& parser);

// The value of the quantization key; errors carry the span of that key.
Result<QuantizationSearchParams> parse_quantization_search_params(const Literal& value, Span key_span);

}  // namespace zorv::core
