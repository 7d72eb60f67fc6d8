// The calling thread's id and message queue, and what happens to the queue when the thread
// ends: as when a Windows thread exits, its windows are destroyed, its posted messages are
// dropped and threads still waiting in sends to it are released with a failure.

#include "comm/platform/WindowManager.h"

#include <atomic>
#include <functional>

namespace apd::platform {

ThreadId CurrentThreadId() {
    static std::atomic<ThreadId> lastThreadId{0};
    thread_local const ThreadId id = ++lastThreadId;
    return id;
}

namespace detail {

void ReleaseQueue(ThreadQueue& queue) {
    WindowManager& manager = WindowManager::Instance();
    {
        std::lock_guard lock(manager.lock);
        for (const auto& pending : queue.incoming) {
            FailPendingSend(*pending);
        }
        queue.incoming.clear();
        queue.posted.clear();
        queue.quitRequested = false;
        std::erase_if(manager.windows,
                      [&queue](const auto& entry) { return entry.second.owner.get() == &queue; });
    }
    std::function<void()> hook;
    {
        std::lock_guard lock(queue.hookMutex);
        hook.swap(queue.wakeHook);
    }
}

} // namespace detail
} // namespace apd::platform
