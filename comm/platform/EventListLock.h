#pragma once
// Holds the locks of a list of events at once, so that a waiter sees one consistent picture
// of which are signalled. Locks are taken in address order, so two threads locking
// overlapping lists cannot deadlock. Internal to this layer.

#include "comm/platform/Event.h"

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace apd::platform::detail {

class EventListLock {
public:
    explicit EventListLock(std::span<Event* const> events);
    ~EventListLock();
    EventListLock(const EventListLock&) = delete;
    EventListLock& operator=(const EventListLock&) = delete;

    // The index of the first signalled event, which is cleared when it is auto-reset;
    // -1 when none is signalled.
    int TakeFirstSignalled();
    void AddWaiter(Waiter& waiter);
    void RemoveWaiter(Waiter& waiter);

private:
    // Lists as short as the library's own waits use are sorted in place, without an
    // allocation on the wait path; longer ones in overflow_.
    static constexpr std::size_t InlineEvents = 8;

    std::span<Event* const> events_;
    std::array<Event*, InlineEvents> inline_{};
    std::vector<Event*> overflow_;
    std::span<Event*> distinct_; // in locking order, each event once
};

} // namespace apd::platform::detail
