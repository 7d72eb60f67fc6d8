#pragma once
// Counts every allocation made through the global operator new, so that a benchmark can
// show that its measured loop allocates nothing.

#include <cstdint>

namespace apd::bench {

std::uint64_t AllocationCount();

} // namespace apd::bench
