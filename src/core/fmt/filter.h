// Canonical text of filters and point selectors.
#pragma once

#include <string>

#include "core/ast/filter.h"

namespace zorv::core {

// AND binds tighter than OR: only the operands that need it are parenthesised.
std::string format_filter(const Filter& filter);
// "id = x", "id IN (x, y)" or the filter text.
std::string format_point_selector(const PointSelector& selector);

}  // namespace zorv::core
