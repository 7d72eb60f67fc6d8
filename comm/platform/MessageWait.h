#pragma once
// A wait for events and the calling thread's message queue together, for a thread that must
// keep handling its messages while it waits for another thread (as when the thread that
// stops a port waits for the port's threads while they may still be sending to its windows).

#include "comm/platform/Event.h"

#include <initializer_list>
#include <span>

namespace apd::platform {

// Waits up to timeoutMs (InfiniteTimeout: without a limit). Returns:
// - the index of a signalled event (the lowest when several are; only that one is consumed),
// - events.size() when the queue had activity: messages sent to this thread from other
//   threads have then been handled, and posted messages wait for PeekWindowMessage,
// - WaitTimedOut, or WaitFailed for a null entry.
// Events take precedence over the queue. A pending quit request alone is no activity.
int WaitForAnyOrQueueActivity(std::span<Event* const> events, unsigned timeoutMs);
int WaitForAnyOrQueueActivity(std::initializer_list<Event*> events, unsigned timeoutMs);

} // namespace apd::platform
