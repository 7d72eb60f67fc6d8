#include "comm/platform/WakeWord.h"

namespace apd::platform::detail {

void WakeWord::Sleep(std::uint32_t seen, const Deadline& deadline) {
    std::unique_lock lock(sleepLock_);
    deadline.WaitOn(sleep_, lock, [&] { return word_.load() != seen; });
}

void WakeWord::WakeSleepers() {
    // Taking the lock orders the wake-up after a sleeper's look at the word.
    { const std::lock_guard lock(sleepLock_); }
    sleep_.notify_all();
}

} // namespace apd::platform::detail
