// Heap allocations made on the calling thread, counted by the benchmark binary's operator new.
#pragma once

#include <cstdint>

namespace zorv::bench {

std::uint64_t allocations_on_this_thread();

}  // namespace zorv::bench
