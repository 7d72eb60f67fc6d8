#include "comm/platform/Event.h"

#include "comm/platform/Deadline.h"
#include "comm/platform/WaitSource.h"
#include "comm/platform/Waiter.h"

#include <algorithm>
#include <cassert>

namespace apd::platform {

Event::Event(EventReset reset) : manualReset_(reset == EventReset::Manual) {}

Event::~Event() {
    std::lock_guard lock(mutex_);
    assert(waiters_.empty() && directWaiters_ == 0 &&
           "an event was destroyed while a thread waited on it");
}

void Event::Set() {
    bool direct = false;
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
        // Every waiter looks again; with an auto-reset event the first to lock it takes it
        // and the others go back to sleep, so no wake-up is lost to a waiter that gave up
        // meanwhile.
        for (detail::Waiter* waiter : waiters_) {
            waiter->Wake();
        }
        direct = directWaiters_ != 0;
    }
    // After the unlock, so that the woken thread finds the lock free instead of sleeping a
    // second time on it. The event outlives this call: no thread may set an event that is
    // being destroyed.
    if (direct) {
        directWake_.notify_all();
    }
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

WaitResult Event::Wait(unsigned timeoutMs) {
    const detail::Deadline deadline(timeoutMs);
    std::unique_lock lock(mutex_);
    ++directWaiters_;
    const bool signalled = deadline.WaitOn(directWake_, lock, [this] { return signalled_; });
    --directWaiters_;
    if (!signalled) {
        return WaitResult::TimedOut;
    }
    if (!manualReset_) {
        signalled_ = false;
    }
    return WaitResult::Signalled;
}

int WaitForAny(std::span<Event* const> events, unsigned timeoutMs) {
    if (events.empty() || std::find(events.begin(), events.end(), nullptr) != events.end()) {
        return WaitFailed;
    }
    return detail::WaitForEventsOrSource(events, detail::Deadline(timeoutMs), nullptr);
}

int WaitForAny(std::initializer_list<Event*> events, unsigned timeoutMs) {
    return WaitForAny(std::span<Event* const>(events.begin(), events.size()), timeoutMs);
}

} // namespace apd::platform
