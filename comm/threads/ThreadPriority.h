#pragma once
// Priorities of the dispatcher threads, on the scale the dispatcher uses: idle 0, lowest 1,
// below normal 2, normal 3, above normal 4, highest 5, time-critical 6.
//
// Applying a level is best effort. On Linux each level maps to a nice value of that one
// thread (normal is 0, each level above lowers it by 5, each level below raises it); a
// process without the right to raise priorities keeps the thread where it is, and a
// lowered thread cannot be brought back. Elsewhere the level is only recorded.

#include <cstdint>

namespace apd {

inline constexpr int PriorityIdle = 0;
inline constexpr int PriorityNormal = 3;
inline constexpr int PriorityTimeCritical = 6;

// An identifier of the calling thread that ApplyThreadPriority understands; 0 when the
// platform has none.
std::int64_t CurrentThreadPriorityId();

// Tries to give the thread the level (clamped to 0..6); true when the platform took it.
bool ApplyThreadPriority(std::int64_t threadId, int level);

} // namespace apd
