#pragma once
// System calls and voluntary context switches of the receiving threads over a stretch of
// a benchmark: every thread of the process except the calling one (the far end), counted
// from Begin to End. Linux only: the system calls are counted by the kernel's
// raw_syscalls:sys_enter tracepoint, one perf counter per thread; where that tracepoint
// cannot be opened (no tracefs, a stricter perf_event_paranoid) the calls read -1. A
// machine that boots without tracefs gets it with `mount -t tracefs nodev
// /sys/kernel/tracing` (as root).

#include <sys/types.h>

#include <vector>

namespace apd::bench {

struct ThreadCountTotals {
    long syscalls = 0; // -1 when they could not be counted
    long switches = 0;
};

class ThreadCounts {
public:
    ThreadCounts() = default;
    ~ThreadCounts();
    ThreadCounts(const ThreadCounts&) = delete;
    ThreadCounts& operator=(const ThreadCounts&) = delete;

    // Starts counting on every thread that runs now, except the calling one.
    void Begin();
    // Stops counting and adds what the threads did since Begin to `to`; the threads must
    // still run.
    void End(ThreadCountTotals& to);

private:
    struct Watched {
        pid_t tid = 0;
        int fd = -1;
        long switchesAtBegin = 0;
    };
    void CloseAll();
    std::vector<Watched> watched_;
};

} // namespace apd::bench
