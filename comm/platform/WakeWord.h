#pragma once
// What a thread sleeps on while it waits for its queue alone or for the answer to a send:
// a word that wakers change. Internal to this layer.
//
// A condition variable would do, but glibc's takes its mutex back after a wait in a way
// that makes the next unlock a system call of its own; with the word, a wake-up costs the
// sleeper the call that sleeps and the waker one call to wake, and none when nobody
// sleeps. On Linux the word is a futex; on Windows a condition variable of its own carries
// the sleep.

#include "comm/platform/Deadline.h"

#include <atomic>
#include <cstdint>
#include <mutex>

#if defined(_WIN32)
#include <condition_variable>
#endif

namespace apd::platform::detail {

class WakeWord {
public:
    WakeWord() = default;
    WakeWord(const WakeWord&) = delete;
    WakeWord& operator=(const WakeWord&) = delete;

    // Waits until done() holds or the deadline passes and returns done(). `lock` guards what
    // done() looks at: it is held while done() runs and on return, released while asleep.
    template <class Done>
    bool WaitOn(std::unique_lock<std::mutex>& lock, const Deadline& deadline, Done done) {
        while (!done()) {
            if (deadline.Passed()) {
                return false;
            }
            // Read under the lock: a waker changes what done() looks at under it too, and
            // moves the word only afterwards, so a change after this read ends the sleep.
            const std::uint32_t seen = word_.load();
            sleepers_.fetch_add(1);
            lock.unlock();
            Sleep(seen, deadline);
            sleepers_.fetch_sub(1);
            lock.lock();
        }
        return true;
    }

    // Wakes every sleeper. Called once what they wait for has changed, with the lock that
    // guards it held or released.
    void WakeAll() {
        word_.fetch_add(1);
        if (sleepers_.load() > 0) {
            WakeSleepers();
        }
    }

private:
    // Sleeps while the word still holds `seen`, at most until the deadline; it may return
    // early.
    void Sleep(std::uint32_t seen, const Deadline& deadline);
    void WakeSleepers();

    std::atomic<std::uint32_t> word_{0};
    std::atomic<int> sleepers_{0};
#if defined(_WIN32)
    std::mutex sleepLock_;
    std::condition_variable sleep_;
#endif
};

} // namespace apd::platform::detail
