#include "comm/threads/ThreadPriority.h"

#include <windows.h>

#include <algorithm>

namespace apd {

std::int64_t CurrentThreadPriorityId() {
    return static_cast<std::int64_t>(::GetCurrentThreadId());
}

bool ApplyThreadPriority(std::int64_t threadId, int level) {
    static constexpr int priorityByLevel[] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                                              THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                                              THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                                              THREAD_PRIORITY_TIME_CRITICAL};
    if (threadId <= 0) {
        return false;
    }
    HANDLE thread = ::OpenThread(THREAD_SET_INFORMATION, FALSE, static_cast<DWORD>(threadId));
    if (thread == nullptr) {
        return false;
    }
    const bool applied =
        ::SetThreadPriority(
            thread, priorityByLevel[std::clamp(level, PriorityIdle, PriorityTimeCritical)]) !=
        FALSE;
    ::CloseHandle(thread);
    return applied;
}

} // namespace apd
