#pragma once
// The library's 32-bit millisecond clock. It wraps about every 49.7 days; compare its
// values only by wrap-safe differences.

#include <cstdint>

namespace apd {

// Milliseconds since an arbitrary start, low 32 bits.
std::uint32_t MillisecondClock();

// Counter ticks per millisecond for a high-resolution counter of the given frequency
// (ticks per second): frequency div 1000, plus 1 when the remainder exceeds 500.
// 0 means the counter is unusable: a frequency of 0, one of 2^32 or more, or one that
// gives 0 ticks per millisecond.
std::uint64_t CounterTicksPerMillisecond(std::uint64_t frequency);

// The clock value for a counter reading: the low 32 bits of counter div ticksPerMs.
constexpr std::uint32_t MillisecondsFromCounter(std::uint64_t counter, std::uint64_t ticksPerMs) {
    return static_cast<std::uint32_t>(counter / ticksPerMs);
}

} // namespace apd
