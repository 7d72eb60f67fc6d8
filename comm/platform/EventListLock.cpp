#include "comm/platform/EventListLock.h"

#include "comm/platform/Waiter.h"

#include <algorithm>
#include <functional>

namespace apd::platform::detail {

EventListLock::EventListLock(std::span<Event* const> events) : events_(events) {
    std::span<Event*> all;
    if (events.size() <= InlineEvents) {
        std::copy(events.begin(), events.end(), inline_.begin());
        all = std::span<Event*>(inline_.data(), events.size());
    } else {
        overflow_.assign(events.begin(), events.end());
        all = std::span<Event*>(overflow_);
    }
    // Classic algorithms rather than std::ranges: clang 14 cannot compile libstdc++ 12's
    // ranges, and the fuzz build uses clang.
    std::sort(all.begin(), all.end(), std::less<>());
    distinct_ =
        all.first(static_cast<std::size_t>(std::unique(all.begin(), all.end()) - all.begin()));
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
