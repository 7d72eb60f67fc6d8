#include "comm/threads/ThreadPriority.h"

#include <algorithm>
#include <cerrno>

#include <sys/resource.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/syscall.h>
#endif

namespace apd {

namespace {
int NiceValueOf(int level) {
    static constexpr int niceByLevel[] = {19, 10, 5, 0, -5, -10, -15};
    return niceByLevel[std::clamp(level, PriorityIdle, PriorityTimeCritical)];
}
} // namespace

std::int64_t CurrentThreadPriorityId() {
#if defined(__linux__)
    return static_cast<std::int64_t>(::syscall(SYS_gettid));
#else
    return 0;
#endif
}

bool ApplyThreadPriority(std::int64_t threadId, int level) {
#if defined(__linux__)
    // Linux keeps a nice value per thread: PRIO_PROCESS with a thread id sets that thread's.
    if (threadId <= 0) {
        return false;
    }
    return ::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), NiceValueOf(level)) == 0;
#else
    (void)threadId;
    (void)NiceValueOf(level);
    return false;
#endif
}

} // namespace apd
