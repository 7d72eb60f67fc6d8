#include "comm/dispatch/TimerExpiry.h"

#include "comm/errors/MillisecondClock.h"

namespace apd {

std::int32_t TimerTicksNow() {
    return static_cast<std::int32_t>(MillisecondClock() / TimerTickMs);
}

bool TimerExpiredAt(const EventTimer& timer, std::int32_t nowTicks) {
    const std::int64_t start = timer.StartTicks;
    const std::int64_t duration = std::int64_t{timer.ExpireTicks} - start;
    std::int64_t elapsed = std::int64_t{nowTicks} - start;
    if (elapsed < 0) {
        elapsed += TimerTickPeriod; // the clock wrapped since the start
    }
    return elapsed > duration;
}

bool TimerExpired(const EventTimer& timer) {
    return TimerExpiredAt(timer, TimerTicksNow());
}

} // namespace apd
