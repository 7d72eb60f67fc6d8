#pragma once
// Counts every allocation the program makes through the global operator new, so that a test
// or a benchmark can show that a piece of work allocates nothing: take the count before and
// after. Linking the library replaces the global operator new and delete of the program.

#include <cstdint>

namespace apd::testing {

// The allocations made so far, by every thread.
std::uint64_t AllocationCount();

} // namespace apd::testing
