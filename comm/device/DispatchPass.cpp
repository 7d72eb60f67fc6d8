// The passes of the dispatch thread: received bytes into the ring, then the trigger
// checks, which deliver the notifications.

#include "comm/device/Win32Dispatcher.h"

namespace apd {

void TApdWin32Dispatcher::DispatchPass(DispatcherEvents& events) {
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
    FillDispatchBuffer();
    if (!Notifying) {
        if (!repeatedly(&TApdBaseDispatcher::CheckStatusTriggers) ||
            !repeatedly(&TApdBaseDispatcher::CheckDataTriggers)) {
            return;
        }
    }
    if (AnyStatusHit) {
        ResetStatusHits();
    }
    CommEventsServed = serving;
    events.DispatchDone.Set();
}

bool TApdWin32Dispatcher::HeartbeatNeeded() {
    if (CommWorker == nullptr || DeviceLostFlag || Notifying ||
        (CommEventMask & (CommMaskModemGroup | CommMaskLineGroup)) != 0) {
        return true;
    }
    {
        LockHold data(DataLock);
        if (!TimerTriggers.empty() || !StatusTriggers.empty()) {
            return true;
        }
    }
    {
        LockHold input(InputLock);
        if (RingIsFull || UnscannedCount != 0) {
            return true;
        }
    }
    LockHold output(OutputLock);
    RefreshLineStatus();
    return DeviceStatus.cbInQue != 0;
}

void TApdWin32Dispatcher::TimerPass() {
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
