// Replaces the global operator new for the benchmark binary only, so a benchmark can report the
// allocations per item beside its time. A thread-local counter: no contention, no atomics.
#include "alloc_count.h"

#include <cstdlib>
#include <new>

namespace {

thread_local std::uint64_t allocations = 0;

void* allocate(std::size_t size) {
    ++allocations;
    if (size == 0) size = 1;
    if (void* block = std::malloc(size)) return block;  // NOLINT(cppcoreguidelines-no-malloc)
    throw std::bad_alloc();
}

void* allocate_aligned(std::size_t size, std::align_val_t align) {
    ++allocations;
    const auto alignment = static_cast<std::size_t>(align);
    const std::size_t rounded = (size + alignment - 1) / alignment * alignment;
    if (void* block = std::aligned_alloc(alignment, rounded == 0 ? alignment : rounded)) return block;
    throw std::bad_alloc();
}

}  // namespace

namespace zorv::bench {

std::uint64_t allocations_on_this_thread() { return allocations; }

}  // namespace zorv::bench

// NOLINTBEGIN(cppcoreguidelines-no-malloc, misc-new-delete-overloads)
void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
    ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t& /*tag*/) noexcept {
    ++allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size, std::align_val_t align) { return allocate_aligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return allocate_aligned(size, align); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t /*size*/) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t /*size*/) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t /*align*/) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t /*align*/) noexcept { std::free(block); }
void operator delete(void* block, std::size_t /*size*/, std::align_val_t /*align*/) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t /*size*/, std::align_val_t /*align*/) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t& /*tag*/) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t& /*tag*/) noexcept { std::free(block); }
// NOLINTEND(cppcoreguidelines-no-malloc, misc-new-delete-overloads)
