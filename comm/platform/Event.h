#pragma once
// Events through which threads hand work to each other, as Win32 events behave:
// - An event is created not signalled. Set signals it, Reset clears it.
// - A wait on an auto-reset event that returns because of it clears it again, so each Set
//   releases one wait; a manual-reset event stays signalled until Reset.
// - A wait on a list of events returns the index of a signalled event; when several are
//   signalled at once the lowest index wins, and only the event returned is consumed.
// No wait polls: waiting threads sleep until an event is set or their time is up.

#include "comm/platform/Timeout.h"

#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <span>
#include <vector>

namespace apd::platform {

namespace detail {
class EventListLock;
class Waiter;
} // namespace detail

enum class EventReset { Auto, Manual };
enum class WaitResult { Signalled, TimedOut };

// Results of the waits on a list of events, besides an index into the list.
inline constexpr int WaitTimedOut = -1;
inline constexpr int WaitFailed = -2; // an empty list or a null entry

class Event {
public:
    explicit Event(EventReset reset);
    // No thread may be waiting on the event, or still inside Set, any more.
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    // Waits up to timeoutMs (InfiniteTimeout: without a limit) for the event.
    WaitResult Wait(unsigned timeoutMs);

private:
    friend class detail::EventListLock;

    const bool manualReset_;
    std::mutex mutex_;
    bool signalled_ = false;               // guarded by mutex_
    std::vector<detail::Waiter*> waiters_; // guarded by mutex_: threads waiting on a list
    // Threads waiting on this event alone sleep here, without a wake-up record of their
    // own: one lock and one wake-up per hand-over.
    std::condition_variable directWake_;
    int directWaiters_ = 0; // guarded by mutex_
};

// Waits up to timeoutMs until one of the events is signalled; returns its index, or
// WaitTimedOut, or WaitFailed for an empty list or a null entry.
int WaitForAny(std::span<Event* const> events, unsigned timeoutMs);
int WaitForAny(std::initializer_list<Event*> events, unsigned timeoutMs);

} // namespace apd::platform
