#pragma once
// Expiry of event timers, counted in ticks of 55 ms of the wrapping millisecond clock.

#include <cstdint>

#include "comm/dispatch/TriggerRecords.h"

namespace apd {

inline constexpr std::uint32_t TimerTickMs = 55;
// Distinct tick values of the 32-bit millisecond clock: 0 .. 0xFFFFFFFF div 55.
inline constexpr std::int64_t TimerTickPeriod = std::int64_t{0xFFFFFFFF} / TimerTickMs + 1;

// The current tick.
std::int32_t TimerTicksNow();

// Expired when more ticks than the timer's duration have passed since its start, counted
// across a wrap of the clock.
bool TimerExpiredAt(const EventTimer& timer, std::int32_t nowTicks);
bool TimerExpired(const EventTimer& timer);

} // namespace apd
