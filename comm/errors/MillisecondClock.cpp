#include "comm/errors/MillisecondClock.h"

#include <chrono>

namespace apd {

std::uint64_t CounterTicksPerMillisecond(std::uint64_t frequency) {
    if (frequency == 0 || frequency >= (std::uint64_t{1} << 32)) {
        return 0;
    }
    std::uint64_t ticks = frequency / 1000;
    if (frequency % 1000 > 500) {
        ++ticks;
    }
    return ticks;
}

namespace {

using Counter = std::chrono::steady_clock;

std::uint64_t CounterFrequency() {
    // Ticks per second of the steady clock; an exact ratio for every standard library.
    return static_cast<std::uint64_t>(Counter::period::den / Counter::period::num);
}

std::uint64_t CounterValue() {
    return static_cast<std::uint64_t>(Counter::now().time_since_epoch().count());
}

// Fixed once, when the library starts.
const std::uint64_t ticksPerMillisecond = CounterTicksPerMillisecond(CounterFrequency());

} // namespace

std::uint32_t MillisecondClock() {
    if (ticksPerMillisecond != 0) {
        return MillisecondsFromCounter(CounterValue(), ticksPerMillisecond);
    }
    // A counter too fast or too coarse for the division: count milliseconds directly.
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Counter::now().time_since_epoch());
    return static_cast<std::uint32_t>(ms.count());
}

} // namespace apd
