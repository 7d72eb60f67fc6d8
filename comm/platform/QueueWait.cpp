#include "comm/platform/MessageWait.h"
#include "comm/platform/WaitSource.h"
#include "comm/platform/WindowManager.h"

#include <algorithm>

namespace apd::platform {

namespace {

using detail::WindowManager;

// The calling thread's queue as something a wait can end on: ready when a message was sent
// or posted to it.
class QueueActivity final : public detail::WaitSource {
public:
    explicit QueueActivity(detail::ThreadQueue& queue) : queue_(queue) {}

    bool Ready(detail::Waiter* watcher) override {
        std::lock_guard lock(WindowManager::Instance().lock);
        if (!queue_.incoming.empty() || !queue_.posted.empty()) {
            return true;
        }
        if (watcher != nullptr) {
            queue_.activityWatcher = watcher;
        }
        return false;
    }

    void Unwatch(detail::Waiter&) override {
        std::lock_guard lock(WindowManager::Instance().lock);
        queue_.activityWatcher = nullptr;
    }

private:
    detail::ThreadQueue& queue_;
};

// The wait of a thread that pumps its queue and waits for nothing else: it sleeps on the
// queue's own wake word, which a post or a send moves after releasing the
// manager's lock (one lock and one wake-up per message).
int WaitForQueueAlone(detail::ThreadQueue& queue, unsigned timeoutMs) {
    std::unique_lock lock(WindowManager::Instance().lock);
    const bool active = queue.ownerWake.WaitOn(lock, detail::Deadline(timeoutMs), [&] {
        return !queue.incoming.empty() || !queue.posted.empty();
    });
    if (!active) {
        return WaitTimedOut;
    }
    detail::HandleIncomingSends(lock, queue);
    return 0;
}

} // namespace

int WaitForAnyOrQueueActivity(std::span<Event* const> events, unsigned timeoutMs) {
    if (std::find(events.begin(), events.end(), nullptr) != events.end()) {
        return WaitFailed;
    }
    auto queue = detail::CurrentThreadQueue();
    if (events.empty()) {
        return WaitForQueueAlone(*queue, timeoutMs);
    }
    QueueActivity activity(*queue);
    const int result =
        detail::WaitForEventsOrSource(events, detail::Deadline(timeoutMs), &activity);
    if (result == static_cast<int>(events.size())) {
        std::unique_lock lock(WindowManager::Instance().lock);
        detail::HandleIncomingSends(lock, *queue);
    }
    return result;
}

int WaitForAnyOrQueueActivity(std::initializer_list<Event*> events, unsigned timeoutMs) {
    return WaitForAnyOrQueueActivity(std::span<Event* const>(events.begin(), events.size()),
                                     timeoutMs);
}

bool WaitForQueueActivity(unsigned timeoutMs) {
    return WaitForAnyOrQueueActivity(std::span<Event* const>(), timeoutMs) == 0;
}

void SetQueueWakeHook(std::function<void()> hook) {
    auto queue = detail::CurrentThreadQueue();
    std::lock_guard lock(queue->hookMutex);
    queue->wakeHook.swap(hook);
}

} // namespace apd::platform
