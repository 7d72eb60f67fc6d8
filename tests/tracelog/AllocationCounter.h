#pragma once
// Counts the allocations of the test program through the global operator new while
// counting is switched on.

namespace apd::testing {

void StartCountingAllocations();
// The allocations since the start; counting stops.
int StopCountingAllocations();

} // namespace apd::testing
