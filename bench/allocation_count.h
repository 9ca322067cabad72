// Heap allocations of the benchmark program, counted through a replaced
// global operator new, so that a benchmark can report what its timed loop
// allocated.
#pragma once

#include <cstdint>

namespace velmora {

// How many times operator new has run in this program so far.
std::uint64_t heap_allocations();

}  // namespace velmora
