#include "comm/errors/MillisecondClock.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace apd {
namespace {

TEST(MillisecondClock, TicksPerMillisecondRoundsHalfUpAndRejectsUnusableCounters) {
    EXPECT_EQ(CounterTicksPerMillisecond(1'000'000'000), 1'000'000u);
    EXPECT_EQ(CounterTicksPerMillisecond(3'579'545), 3'580u); // remainder 545 rounds up
    EXPECT_EQ(CounterTicksPerMillisecond(3'579'500), 3'579u); // remainder 500 does not
    EXPECT_EQ(CounterTicksPerMillisecond(0), 0u);
    EXPECT_EQ(CounterTicksPerMillisecond(std::uint64_t{1} << 32), 0u);
    // Below 500 Hz the division gives 0 ticks per millisecond: unusable, not a divisor.
    EXPECT_EQ(CounterTicksPerMillisecond(400), 0u);
    EXPECT_EQ(CounterTicksPerMillisecond(501), 1u);
}

TEST(MillisecondClock, KeepsTheLowThirtyTwoBitsOfTheQuotient) {
    const std::uint64_t ticks = 1'000;
    const std::uint64_t counter = ((std::uint64_t{1} << 32) + 5) * ticks + 999;
    EXPECT_EQ(MillisecondsFromCounter(counter, ticks), 5u);
}

TEST(MillisecondClock, AdvancesMonotonicallyModuloWrap) {
    const std::uint32_t first = MillisecondClock();
    const std::uint32_t second = MillisecondClock();
    EXPECT_LT(static_cast<std::uint32_t>(second - first), 1000u);
}

} // namespace
} // namespace apd
