// Canonical text of filters and point selectors.
#pragma once

#include <string>

#include "core/ast/filter.h"
#include "core/fmt/sink.h"

namespace zorv::core {

// AND binds tighter than OR: only the operands that need it are parenthesised.
std::string format_filter(const Filter& filter);
// "id = x", "id IN (x, y)" or the filter text.
std::string format_point_selector(const PointSelector& selector);

void write_filter(TextSink& sink, const Filter& filter);
void write_point_selector(TextSink& sink, const PointSelector& selector);

}  // namespace zorv::core
