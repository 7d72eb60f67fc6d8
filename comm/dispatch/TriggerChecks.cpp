// The trigger checks of the dispatch thread. Each delivers at most one event per call
// (data triggers: all that complete at one byte) and returns true when it delivered.
// The lists are read under DataLock; no lock is held while handlers run.

#include <algorithm>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/DispatchLogCodes.h"
#include "comm/dispatch/NotificationMessages.h"
#include "comm/dispatch/TimerExpiry.h"

namespace apd {

std::int64_t TApdBaseDispatcher::CountThrough(std::uint32_t pos, std::uint32_t back) const {
    std::int64_t count = InputRing.CountThrough(pos, back);
    if (InDataNotification) {
        count -= HandlerReadCount;
    }
    return count;
}

bool TApdBaseDispatcher::CheckDataTriggers() {
    bool matched = false;
    bool availDue = false;
    std::uint32_t availCount = 0;
    {
        LockHold input(InputLock);
        LockHold data(DataLock);
        if (!InputRing.Exists()) {
            return false;
        }
        const std::int32_t availLength = Triggers.AvailLength();
        if (!Triggers.AnyPattern()) {
            // Nothing can match: the scan passes over every new byte at once, as the
            // byte-by-byte loop would, instead of looking at each.
            InputRing.SkipUnscanned();
        }
        while (InputRing.Unscanned() > 0) {
            const std::uint32_t pos = InputRing.ScanPos();
            const std::uint8_t byte = InputRing.ScanByte();
            const std::int32_t longest = Triggers.MatchByte(byte);
            matched = longest != 0;
            if (matched) {
                // Bytes before the longest matched pattern are offered first, when there
                // are enough of them and no avail notification was sent at this position.
                if (availLength != 0 && InputRing.ScannedSinceAvail() != 0 &&
                    CountThrough(pos, 0) - longest >= availLength) {
                    availCount = static_cast<std::uint32_t>(
                        CountThrough(pos, static_cast<std::uint32_t>(longest)));
                    availDue = true;
                    InputRing.MarkAvail(pos);
                }
                InputRing.AdvanceScan();
                break;
            }
            InputRing.AdvanceScan();
        }
        if (!matched) {
            const std::uint32_t used = InBuffUsed();
            if (availLength != 0 && InputRing.ScannedSinceAvail() != 0 &&
                static_cast<std::int64_t>(used) >= availLength) {
                availCount = used;
                availDue = true;
                InputRing.MarkAvail(InputRing.ScanPos());
            }
        }
        if (availDue && LoggingOn) {
            AddLogEntry(LogTypeTrigger, LogSubTriggerAvail, availCount, nullptr, 0);
        }
    }

    bool result = false;
    if (availDue) {
        result = NotifyHandlers(MsgTriggerAvail, availCount, 0);
    }
    if (!matched) {
        return result;
    }
    result = availDue ? result : true;

    // Every trigger that completed at this byte, the most recently added first. The list
    // may change while a handler runs: each step takes the lock again and stops when the
    // index is past the end.
    std::size_t index = 0;
    {
        LockHold data(DataLock);
        index = Triggers.DataCount();
    }
    while (index-- > 0 && !DeliveriesStopped()) {
        std::int32_t handle = 0;
        std::int32_t length = 0;
        {
            LockHold data(DataLock);
            if (index >= Triggers.DataCount()) {
                break;
            }
            const std::optional<CompletedDataTrigger> completed = Triggers.TakeCompleted(index);
            if (!completed) {
                continue;
            }
            handle = completed->Handle;
            length = completed->Length;
            if (LoggingOn) {
                AddLogEntry(LogTypeTrigger, LogSubTriggerData, static_cast<std::uint32_t>(handle),
                            nullptr, 0);
            }
        }
        result = NotifyHandlers(MsgTriggerData, static_cast<std::uint32_t>(handle),
                                static_cast<std::uint32_t>(length));
    }
    return result;
}

bool TApdBaseDispatcher::CheckStatusTriggers() {
    for (std::size_t index = 0;; ++index) {
        std::int32_t handle = 0;
        std::uint32_t value = 0;
        {
            LockHold data(DataLock);
            if (index >= Triggers.StatusCount()) {
                return false;
            }
            auto& trigger = Triggers.StatusAt(index);
            if (!trigger.Armed || trigger.Hit) {
                continue;
            }
            bool fired = false;
            switch (trigger.Kind) {
            case StatusKindModem: {
                const std::uint32_t reference = trigger.Value & 0xFF;
                const std::uint32_t mask = trigger.Value >> 8;
                fired = ((reference ^ (ModemStatusShadow & 0xFF)) & mask) != 0;
                break;
            }
            case StatusKindLineError: {
                const std::uint32_t errors = LineErrorFlags;
                fired = (trigger.Value & errors) != 0;
                if (fired) {
                    trigger.Value = static_cast<std::uint16_t>(errors & 0xFFFF);
                }
                break;
            }
            case StatusKindOutBuffFree: {
                const std::uint32_t free = OutBuffFree();
                fired = free >= trigger.Value;
                value = free;
                break;
            }
            case StatusKindOutBuffUsed: {
                const std::uint32_t used = OutBuffUsed();
                fired = used <= trigger.Value;
                value = used;
                break;
            }
            case StatusKindOutSent:
                fired = OutputSentFlag.exchange(false);
                break;
            default:
                break;
            }
            if (!fired) {
                continue;
            }
            trigger.Armed = false;
            trigger.Hit = true;
            AnyStatusHit = true;
            handle = trigger.Handle;
            if (LoggingOn) {
                AddLogEntry(LogTypeTrigger, LogSubTriggerStatus, static_cast<std::uint32_t>(handle),
                            nullptr, 0);
            }
        }
        return NotifyHandlers(MsgTriggerStatus, static_cast<std::uint32_t>(handle), value);
    }
}

bool TApdBaseDispatcher::CheckTimerTriggers() {
    for (std::size_t index = 0;; ++index) {
        std::int32_t handle = 0;
        {
            LockHold data(DataLock);
            if (index >= Triggers.TimerCount()) {
                return false;
            }
            auto& trigger = Triggers.TimerAt(index);
            if (trigger.Active == RecordFalse || !TimerExpired(trigger.Timer)) {
                continue;
            }
            trigger.Active = RecordFalse;
            handle = trigger.Handle;
            if (LoggingOn) {
                AddLogEntry(LogTypeTrigger, LogSubTriggerTimer, static_cast<std::uint32_t>(handle),
                            nullptr, 0);
            }
        }
        return NotifyHandlers(MsgTriggerTimer, static_cast<std::uint32_t>(handle), 0);
    }
}

} // namespace apd
