// Canonical text of SCROLL, COUNT and FACET.
#pragma once

#include <string>

#include "core/ast/read.h"

namespace zorv::core {

std::string format_scroll(const Scroll& scroll);
std::string format_count(const Count& count);
std::string format_facet(const Facet& facet);

}  // namespace zorv::core
