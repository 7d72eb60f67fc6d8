// The passes of the dispatch thread: received bytes into the ring, then the trigger
// checks, which deliver the notifications.

#include "comm/threads/ThreadedDispatcher.h"

#include <algorithm>

namespace apd {

void ThreadedDispatcher::DispatchPass(DispatcherEvents& events) {
    // Calls a check while it delivers; false when a stop began meanwhile, which ends the
    // pass at once: nothing more is delivered once the port is closing.
    const auto repeatedly = [this](bool (TApdBaseDispatcher::*check)()) {
        while (!Stopping()) {
            if (!(this->*check)()) {
                return true;
            }
        }
        return false;
    };
    const auto statusChecks = [&] {
        if (Notifying) {
            return true;
        }
        if (!repeatedly(&TApdBaseDispatcher::CheckStatusTriggers)) {
            return false;
        }
        if (AnyStatusHit) {
            ResetStatusHits();
        }
        return true;
    };

    // The device events handed over so far; this pass serves them all.
    const std::uint64_t serving = CommEventsStored;
    // The mask of the last device event: a heartbeat pass repeats its work.
    const std::uint32_t mask = CommEventMask;
    if ((mask & CommMaskModemGroup) != 0) {
        RefreshModemStatus();
        if (!statusChecks()) {
            return;
        }
    }
    if ((mask & CommMaskLineGroup) != 0) {
        RefreshLineStatus();
        if (!statusChecks()) {
            return;
        }
    }
    if (Stopping()) {
        return;
    }
    // While a stream flows (reads brought large blocks and none has come back empty
    // since), the bytes that arrived during the checks are taken in the same pass, which
    // saves a device event wait per block. The rounds are bounded so that a stream that
    // never pauses still lets the pass end and the timer triggers run. Otherwise a small
    // read left the device empty: what arrives next is a device event of its own.
    for (int round = 1;; ++round) {
        const std::uint64_t taken = FillStoredBytes();
        const bool stored = taken >= StreamReadBytes || (taken != 0 && StreamFlowing);
        if (!Notifying) {
            if (!repeatedly(&TApdBaseDispatcher::CheckStatusTriggers) ||
                !repeatedly(&TApdBaseDispatcher::CheckDataTriggers)) {
                return;
            }
        }
        if (!stored || round >= MaxFillsPerPass || Stopping()) {
            break;
        }
    }
    if (AnyStatusHit) {
        ResetStatusHits();
    }
    CommEventsServed = serving;
    events.DispatchDone.Set();
}

std::uint64_t ThreadedDispatcher::FillStoredBytes() {
    LockHold input(InputLock);
    const std::uint64_t before = InputRing.BytesStored();
    FillDispatchBuffer();
    // A driver hands over at most its own buffer per read (4 KB for a terminal), and
    // refills it from what it holds behind once read: after a large read, a second fill
    // while the ring has room halves the deliveries a stream needs.
    if (InputRing.BytesStored() - before >= StreamReadBytes && !InputRing.Full()) {
        FillDispatchBuffer();
    }
    const std::uint64_t taken = InputRing.BytesStored() - before;
    if (taken >= StreamReadBytes) {
        StreamFlowing = true;
    } else if (taken == 0 && !InputRing.Full()) {
        StreamFlowing = false; // the device had nothing
    }
    return taken;
}

bool ThreadedDispatcher::SleepWhileDeliveryHeld(unsigned ms) {
    if (!Notifying) {
        return false;
    }
    bool room = false;
    {
        LockHold input(InputLock);
        room = InputRing.Exists() && !InputRing.Full();
    }
    // A full ring leaves the rest in the driver, which keeps the device readable: then the
    // sleep is one fill interval, until the handler has made room.
    if (!room) {
        ms = HeldDeliveryFillMs;
    }
    // poll() takes an int: a finite sleep longer than a minute is cut to one, which only
    // adds a look.
    const int timeout =
        ms == platform::InfiniteTimeout ? -1 : static_cast<int>(std::min(ms, 60'000u));
    return Device.SleepUntilReadable(timeout, room);
}

bool ThreadedDispatcher::HeartbeatNeeded() {
    if (HeartbeatNeededWithoutDevice()) {
        return true;
    }
    LockHold output(OutputLock);
    (void)RefreshInputStatus(); // the line errors
    std::uint32_t waiting = 0;
    return Device.InputWaiting(waiting) == ecOK && waiting != 0;
}

bool ThreadedDispatcher::HeartbeatNeededWithoutDevice() {
    if (CommWorker == nullptr || DeviceLostFlag || Notifying ||
        (CommEventMask & (CommMaskModemGroup | CommMaskLineGroup)) != 0) {
        return true;
    }
    {
        LockHold data(DataLock);
        if (Triggers.AnyStatusOrTimer()) {
            return true;
        }
    }
    LockHold input(InputLock);
    return InputRing.Full() || InputRing.Unscanned() != 0;
}

void ThreadedDispatcher::TimerPass() {
    if (Stopping() || Notifying) {
        return;
    }
    AnyStatusHit = false;
    while (!Stopping()) {
        if (!CheckStatusTriggers() && !CheckTimerTriggers()) {
            break;
        }
    }
    if (AnyStatusHit) {
        ResetStatusHits();
    }
}

} // namespace apd
