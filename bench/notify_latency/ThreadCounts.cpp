#include "bench/notify_latency/ThreadCounts.h"

#include <linux/perf_event.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace apd::bench {

namespace {

// The tracepoint's id, or -1 when tracefs does not show it.
long SyscallTracepointId() {
    for (const char* path : {"/sys/kernel/tracing/events/raw_syscalls/sys_enter/id",
                             "/sys/kernel/debug/tracing/events/raw_syscalls/sys_enter/id"}) {
        std::ifstream in(path);
        long id = -1;
        if (in >> id) {
            return id;
        }
    }
    return -1;
}

int OpenSyscallCounter(pid_t tid) {
    static const long id = SyscallTracepointId();
    if (id < 0) {
        return -1;
    }
    perf_event_attr attr{};
    attr.type = PERF_TYPE_TRACEPOINT;
    attr.size = sizeof attr;
    attr.config = static_cast<std::uint64_t>(id);
    attr.disabled = 1;
    attr.exclude_kernel = 0;
    const long fd = ::syscall(SYS_perf_event_open, &attr, tid, -1, -1, PERF_FLAG_FD_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    ::ioctl(static_cast<int>(fd), PERF_EVENT_IOC_ENABLE, 0);
    return static_cast<int>(fd);
}

long VoluntarySwitchesOf(pid_t tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    const std::string key = "voluntary_ctxt_switches:";
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stol(line.substr(key.size()));
        }
    }
    return 0;
}

} // namespace

ThreadCounts::~ThreadCounts() {
    CloseAll();
}

void ThreadCounts::CloseAll() {
    for (const Watched& w : watched_) {
        if (w.fd >= 0) {
            ::close(w.fd);
        }
    }
    watched_.clear();
}

void ThreadCounts::Begin() {
    CloseAll();
    const auto self = static_cast<pid_t>(::syscall(SYS_gettid));
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        const auto tid = static_cast<pid_t>(std::stol(entry.path().filename().string()));
        if (tid == self) {
            continue;
        }
        watched_.push_back({tid, OpenSyscallCounter(tid), VoluntarySwitchesOf(tid)});
    }
}

void ThreadCounts::End(ThreadCountTotals& to) {
    for (const Watched& w : watched_) {
        if (w.fd < 0 || to.syscalls < 0) {
            to.syscalls = -1;
        } else {
            ::ioctl(w.fd, PERF_EVENT_IOC_DISABLE, 0);
            std::uint64_t count = 0;
            if (::read(w.fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count)) {
                to.syscalls += static_cast<long>(count);
            }
        }
        to.switches += VoluntarySwitchesOf(w.tid) - w.switchesAtBegin;
    }
    CloseAll();
}

} // namespace apd::bench
