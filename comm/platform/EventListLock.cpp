#include "comm/platform/EventListLock.h"

#include "comm/platform/Waiter.h"

#include <algorithm>
#include <functional>

namespace apd::platform::detail {

EventListLock::EventListLock(std::span<Event* const> events)
    : events_(events), distinct_(events.begin(), events.end()) {
    std::ranges::sort(distinct_, std::less<>());
    const auto duplicates = std::ranges::unique(distinct_);
    distinct_.erase(duplicates.begin(), duplicates.end());
    for (Event* event : distinct_) {
        event->mutex_.lock();
    }
}

EventListLock::~EventListLock() {
    for (auto event = distinct_.rbegin(); event != distinct_.rend(); ++event) {
        (*event)->mutex_.unlock();
    }
}

int EventListLock::TakeFirstSignalled() {
    for (std::size_t index = 0; index < events_.size(); ++index) {
        Event& event = *events_[index];
        if (event.signalled_) {
            if (!event.manualReset_) {
                event.signalled_ = false;
            }
            return static_cast<int>(index);
        }
    }
    return -1;
}

void EventListLock::AddWaiter(Waiter& waiter) {
    for (Event* event : distinct_) {
        event->waiters_.push_back(&waiter);
    }
}

void EventListLock::RemoveWaiter(Waiter& waiter) {
    for (Event* event : distinct_) {
        std::erase(event->waiters_, &waiter);
    }
}

} // namespace apd::platform::detail
