#include "comm/platform/WaitSource.h"

#include "comm/platform/EventListLock.h"

namespace apd::platform::detail {

int WaitForEventsOrSource(std::span<Event* const> events, const Deadline& deadline,
                          WaitSource* source) {
    const int sourceIndex = static_cast<int>(events.size());
    Waiter waiter;
    for (;;) {
        // Once the deadline has passed, look one last time without registering.
        const bool lastLook = deadline.Passed();
        waiter.Rearm();
        {
            EventListLock locked(events);
            if (const int index = locked.TakeFirstSignalled(); index >= 0) {
                return index;
            }
            if (!lastLook) {
                locked.AddWaiter(waiter);
            }
        }
        const bool sourceReady = source != nullptr && source->Ready(lastLook ? nullptr : &waiter);
        if (sourceReady || lastLook) {
            if (!lastLook) {
                EventListLock locked(events);
                locked.RemoveWaiter(waiter);
            }
            return sourceReady ? sourceIndex : WaitTimedOut;
        }
        waiter.WaitUntilWoken(deadline);
        if (source != nullptr) {
            source->Unwatch(waiter);
        }
        EventListLock locked(events);
        locked.RemoveWaiter(waiter);
    }
}

} // namespace apd::platform::detail
