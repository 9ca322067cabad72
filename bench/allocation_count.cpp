#include "bench/allocation_count.h"

#include <cstdlib>
#include <new>

namespace {

std::uint64_t allocations = 0;

// Kept out of line so that the compiler does not pair the library's
// allocation calls with free() and warn about a mismatch.
[[gnu::noinline]] void* obtain(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

[[gnu::noinline]] void release(void* p) noexcept { std::free(p); }

}  // namespace

void* operator new(std::size_t size) { return obtain(size); }
void* operator new[](std::size_t size) { return obtain(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace velmora {

std::uint64_t heap_allocations() { return allocations; }

}  // namespace velmora
