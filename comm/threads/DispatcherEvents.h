#pragma once
// The events through which a dispatcher's three threads and its callers hand work to each
// other, and the record of which of its threads are still alive.
//
// Both live in shared objects: the dispatcher holds one reference and every thread holds
// its own for as long as it runs. Closing the events (dropping the dispatcher's reference)
// is therefore safe at any moment and any number of times, and a thread's last signal
// after it has let go of the dispatcher still lands on a live object.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "comm/platform/Event.h"

namespace apd {

// Event bits of the device event wait that the threads use (the values of DeviceEvents.h).
inline constexpr std::uint32_t CommMaskNtFamily = 0x01F9;
inline constexpr std::uint32_t CommMaskOtherPlatforms = 0x21F9;
inline constexpr std::uint32_t CommMaskModemGroup = 0x2138;
inline constexpr std::uint32_t CommMaskLineGroup = 0x00C0;
inline constexpr std::uint32_t CommMaskRing = 0x2100;
inline constexpr std::uint32_t CommMaskTrailingEdge = 0x2000;

// The dispatch thread runs a pass at least this often.
inline constexpr unsigned DispatchHeartbeatMs = 50;
// The most fills of the ring, each followed by the trigger checks, in one dispatch pass.
inline constexpr int MaxFillsPerPass = 8;
// How often the comm thread, waiting for a handler it delivered to, takes arriving bytes
// into the ring: a byte reaches the waiting handler within this time.
inline constexpr unsigned HeldDeliveryFillMs = 1;
// A fill of at least this many bytes (half a terminal's read buffer) tells of a stream
// that may have left more in the driver; a smaller one left the device empty.
inline constexpr std::uint64_t StreamReadBytes = 2048;
// How long the comm thread waits for the pass serving its device event before it looks
// whether a delivery holds that pass; a handler waiting inside a delivery for more bytes
// sees them this much later at most.
inline constexpr unsigned DeliveryWatchMs = 2;
// How long StartDispatcher waits for each thread to report that it runs.
inline constexpr unsigned ThreadStartWaitMs = 3000;

struct DispatcherEvents {
    using Event = platform::Event;
    using Reset = platform::EventReset;

    Event CommEventReady{Reset::Auto};   // comm thread: a device event was stored
    Event DispatchDone{Reset::Auto};     // dispatch thread: the pass is over
    Event ThreadAck{Reset::Auto};        // a thread has started (or ended its loop)
    Event OutputReady{Reset::Auto};      // DeviceWrite: bytes wait in the output ring
    Event OutputComplete{Reset::Manual}; // kept for the device layers that complete writes
                                         // asynchronously; the POSIX layer does not use it
    Event OutputFlush{Reset::Auto};      // an output flush or a stop asks the output thread
    // The output thread's answer to OutputFlush. A flush has its own acknowledgement so
    // that a late start acknowledgement cannot release it too early.
    Event FlushAck{Reset::Auto};
    // Set for good when the output thread has ended, so that a flush never waits for an
    // answer that cannot come.
    Event OutputEnded{Reset::Manual};
    // Set for good when the threads are asked to stop; ends the pauses a thread takes
    // after repeated failures of the device.
    Event StopRequested{Reset::Manual};
};

// The threads of one dispatcher that have been created and have not yet finished. A
// thread leaves it as the very last thing it does, after its last touch of the dispatcher.
class ThreadLife {
public:
    void Enter() {
        std::lock_guard hold(mutex_);
        ++alive_;
    }
    void Leave() {
        {
            std::lock_guard hold(mutex_);
            --alive_;
        }
        changed_.notify_all();
        exited_.Set();
    }
    // Needs no lock, so that a predicate of WaitUntil may ask it.
    int Alive() const { return alive_; }
    // Waits, without limit, until pred holds; pred is looked at again each time a thread
    // leaves. Any number of threads may wait at once.
    template <class Pred>
    void WaitUntil(Pred pred) {
        std::unique_lock hold(mutex_);
        changed_.wait(hold, [&] { return pred(); });
    }
    // Signalled each time a thread leaves; for the one wait that also serves a message
    // queue (an auto-reset event wakes one waiter only).
    platform::Event& Exited() { return exited_; }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::atomic<int> alive_{0}; // changed under mutex_, so that no wait misses a change
    platform::Event exited_{platform::EventReset::Auto};
};

} // namespace apd
