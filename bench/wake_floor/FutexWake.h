#pragma once
// A raw futex on Linux: the cheapest wait and wake the kernel offers. Elsewhere the calls
// do nothing and Available() is false.

#include <atomic>
#include <cstdint>

namespace apd::bench {

bool FutexAvailable();
// Sleeps while word still holds seen (or returns at once when it does not).
void FutexWait(std::atomic<std::uint32_t>& word, std::uint32_t seen);
// Wakes one thread sleeping on word.
void FutexWakeOne(std::atomic<std::uint32_t>& word);

} // namespace apd::bench
