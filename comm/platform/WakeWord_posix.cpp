#include "comm/platform/WakeWord.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <ctime>

namespace apd::platform::detail {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
                  std::atomic<std::uint32_t>::is_always_lock_free,
              "the futex is the atomic word itself");

namespace {

std::uint32_t* Address(std::atomic<std::uint32_t>& word) {
    return reinterpret_cast<std::uint32_t*>(&word);
}

} // namespace

void WakeWord::Sleep(std::uint32_t seen, const Deadline& deadline) {
    // The bitset form takes an absolute time on CLOCK_MONOTONIC, the steady clock's.
    timespec at{};
    const timespec* limit = nullptr;
    if (!deadline.Infinite()) {
        const auto since = deadline.At().time_since_epoch();
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
        at.tv_sec = static_cast<time_t>(seconds.count());
        at.tv_nsec = static_cast<long>(
            std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
        limit = &at;
    }
    // A word that changed already, a wake-up, a signal or the deadline all end it alike.
    (void)::syscall(SYS_futex, Address(word_), FUTEX_WAIT_BITSET_PRIVATE, seen, limit, nullptr,
                    FUTEX_BITSET_MATCH_ANY);
}

void WakeWord::WakeSleepers() {
    (void)::syscall(SYS_futex, Address(word_), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

} // namespace apd::platform::detail
