#include "comm/platform/WindowManager.h"

#include "comm/platform/Waiter.h"

namespace apd::platform::detail {

WindowManager& WindowManager::Instance() {
    static WindowManager manager;
    return manager;
}

WindowRecord* WindowManager::FindWindow(WindowHandle window) {
    const auto found = windows.find(window);
    return found == windows.end() ? nullptr : &found->second;
}

void NotifyArrival(ThreadQueue& queue) {
    if (queue.activityWatcher != nullptr) {
        queue.activityWatcher->Wake();
    }
    InterruptOwnerSleep(queue);
}

void InterruptOwnerSleep(ThreadQueue& queue) {
    if (queue.sleepInterrupt != nullptr) {
        (*queue.sleepInterrupt)();
    }
}

void WakeOwner(ThreadQueue& queue) {
    queue.ownerWake.WakeAll();
}

void CallWakeHook(ThreadQueue& queue) {
    std::lock_guard lock(queue.hookMutex);
    if (queue.wakeHook) {
        queue.wakeHook();
    }
}

void FailPendingSend(PendingSend& pending) {
    pending.state = PendingSend::State::Failed;
    InterruptOwnerSleep(*pending.sender);
    pending.sender->ownerWake.WakeAll();
}

} // namespace apd::platform::detail
