#pragma once
// A thread's wake-up record while it waits on several things at once (events, its message
// queue). Whoever makes one of those ready calls Wake while holding the lock under which the
// waiter is registered, so a waiter that has deregistered under that lock is never touched
// again and can live on the waiting thread's stack. Internal to this layer.
//
// Wake notifies after releasing the waiter's own lock: the woken thread would otherwise
// run at once into that lock, still held, and sleep a second time. The notification
// after the unlock is safe because the waiter cannot deregister, let alone end, while the
// registration lock is held.

#include "comm/platform/Deadline.h"

#include <condition_variable>
#include <mutex>

namespace apd::platform::detail {

class Waiter {
public:
    Waiter() = default;
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    void Wake() {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        wakeUp_.notify_one();
    }

    // Forgets an earlier wake-up; called before the waiter is registered again.
    void Rearm() {
        std::lock_guard lock(mutex_);
        woken_ = false;
    }

    // Blocks until Wake or the deadline; true when woken.
    bool WaitUntilWoken(const Deadline& deadline) {
        std::unique_lock lock(mutex_);
        return deadline.WaitOn(wakeUp_, lock, [this] { return woken_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable wakeUp_;
    bool woken_ = false; // guarded by mutex_
};

} // namespace apd::platform::detail
