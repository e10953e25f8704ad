// Realistic Zorv scripts for the benchmarks.
#pragma once

#include <cstddef>
#include <string>

namespace zorv::bench {

// A mixed script (queries with vectors and filters, upserts, DDL, comments) of at least `min_bytes`.
std::string mixed_script(std::size_t min_bytes);

}  // namespace zorv::bench
