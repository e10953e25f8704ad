// Canonical text of search parameters (inside PARAMS ( ... )) and of the output selectors.
#pragma once

#include <string>

#include "core/ast/search.h"
#include "core/fmt/sink.h"

namespace zorv::core {

// The items inside "PARAMS (" and ")", joined by ", "; empty when nothing is set.
std::string format_search_params(const SearchParams& params);
// "true", "false", "INCLUDE (a, b)" or "EXCLUDE (a, b)".
std::string format_payload_selector(const PayloadSelector& selector);
// "true", "false" or "(a, b)".
std::string format_vector_selector(const VectorSelector& selector);

void write_search_params(TextSink& sink, const SearchParams& params);
void write_payload_selector(TextSink& sink, const PayloadSelector& selector);
void write_vector_selector(TextSink& sink, const VectorSelector& selector);

}  // namespace zorv::core
