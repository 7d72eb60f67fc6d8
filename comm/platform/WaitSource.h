#pragma once
// Something other than an event that can end a wait on a list of events: the calling
// thread's message queue. Internal to this layer.

#include "comm/platform/Deadline.h"
#include "comm/platform/Event.h"
#include "comm/platform/Waiter.h"

#include <span>

namespace apd::platform::detail {

class WaitSource {
public:
    virtual ~WaitSource() = default;
    // True when the source is ready now. Otherwise, when watcher is not null, registers it
    // to be woken once the source becomes ready.
    virtual bool Ready(Waiter* watcher) = 0;
    // Ends a registration made by Ready; harmless when there is none.
    virtual void Unwatch(Waiter& watcher) = 0;
};

// Waits until one of the events is signalled (its index; an auto-reset event is consumed),
// the source is ready (events.size()), or the deadline passes (WaitTimedOut). Events take
// precedence over the source. source may be null.
int WaitForEventsOrSource(std::span<Event* const> events, const Deadline& deadline,
                          WaitSource* source);

} // namespace apd::platform::detail
