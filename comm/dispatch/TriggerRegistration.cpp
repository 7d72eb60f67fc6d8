// Registration and removal of triggers and handlers, handle numbering and the snapshot
// that carries triggers across a close and reopen. All of it runs under DataLock on the
// caller's thread.

#include <algorithm>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/DataTriggerMatch.h"
#include "comm/dispatch/DispatchLogCodes.h"

namespace apd {

namespace {

template <typename Records>
bool HandleInUse(const Records& records, std::int32_t handle) {
    return std::any_of(records.begin(), records.end(),
                       [handle](const auto& record) { return record.Handle == handle; });
}

} // namespace

std::int32_t TApdBaseDispatcher::NewTriggerHandle() {
    LockHold data(DataLock);
    TriggersChanged(); // a trigger is being added
    if (NextHandleIndex < SequentialHandleLimit) {
        return NextHandleIndex++ * TriggerHandleStep;
    }
    // The sequence is used up: take the smallest multiple of 8 that no trigger has.
    for (std::int32_t candidate = TriggerHandleStep;; candidate += TriggerHandleStep) {
        const bool used = HandleInUse(TimerTriggers, candidate) ||
                          HandleInUse(StatusTriggers, candidate) ||
                          HandleInUse(DataTriggers, candidate);
        if (!used) {
            return candidate;
        }
    }
}

std::int32_t TApdBaseDispatcher::AddDataTrigger(const std::uint8_t* data, bool ignoreCase,
                                                std::uint32_t length) {
    if (length > static_cast<std::uint32_t>(MaxDataTriggerLength)) {
        return ecTriggerTooLong;
    }
    LockHold hold(DataLock);
    const auto len = static_cast<std::int32_t>(length);
    DataTriggers.push_back(MakeDataTrigger(NewTriggerHandle(), data, len, ignoreCase));
    const std::int32_t handle = DataTriggers.back().Handle;
    if (LoggingOn) {
        AddLogEntry(LogTypeTriggerAlloc, LogSubAllocData, static_cast<std::uint32_t>(handle),
                    length ? data : nullptr, length);
    }
    return handle;
}

void TApdBaseDispatcher::SetAvailTriggerLength(std::int32_t length) {
    LockHold data(DataLock);
    AvailTriggerLength = length;
    TriggersChanged(); // bytes already waiting may reach the new threshold
    if (LoggingOn) {
        AddLogEntry(LogTypeTriggerDataChange, LogSubAllocAvail, static_cast<std::uint32_t>(length),
                    nullptr, 0);
    }
}

void TApdBaseDispatcher::RemoveAllTriggers() {
    LockHold data(DataLock);
    AvailTriggerLength = 0;
    TimerTriggers.clear();
    DataTriggers.clear();
    StatusTriggers.clear();
    NextHandleIndex = 1;
}

void TApdBaseDispatcher::SaveTriggers(TriggerSnapshot& snapshot) {
    LockHold data(DataLock);
    FreeSavedTriggers(snapshot);
    snapshot.AvailLength = AvailTriggerLength;
    snapshot.TimerTriggers.emplace(TimerTriggers);
    snapshot.DataTriggers.emplace(DataTriggers);
    snapshot.StatusTriggers.emplace(StatusTriggers);
}

void TApdBaseDispatcher::RestoreTriggers(const TriggerSnapshot& snapshot) {
    LockHold data(DataLock);
    AvailTriggerLength = snapshot.AvailLength;
    TimerTriggers.clear();
    DataTriggers.clear();
    StatusTriggers.clear();
    std::int32_t largest = 0;
    if (snapshot.TimerTriggers) {
        for (const auto& trigger : *snapshot.TimerTriggers) {
            TimerTriggers.push_back(trigger);
            largest = std::max(largest, trigger.Handle);
        }
    }
    if (snapshot.DataTriggers) {
        for (const auto& trigger : *snapshot.DataTriggers) {
            // A record that no AddDataTrigger could have made would be matched out of
            // bounds; it is left out.
            if (trigger.Length < 0 || trigger.Length > MaxDataTriggerLength) {
                continue;
            }
            DataTriggers.push_back(trigger);
            // The partial matches belong to the byte stream before the close.
            DataTriggers.back().MatchSlots.fill(0);
            DataTriggers.back().Matched = RecordFalse;
            largest = std::max(largest, trigger.Handle);
        }
    }
    if (snapshot.StatusTriggers) {
        for (const auto& trigger : *snapshot.StatusTriggers) {
            StatusTriggers.push_back(trigger);
            largest = std::max(largest, trigger.Handle & ~7);
        }
    }
    // Handles are kept; new ones must not repeat them.
    const std::int32_t following = largest / TriggerHandleStep + 1;
    NextHandleIndex = std::max(NextHandleIndex, following);
    TriggersChanged();
}

void TApdBaseDispatcher::FreeSavedTriggers(TriggerSnapshot& snapshot) {
    snapshot.TimerTriggers.reset();
    snapshot.DataTriggers.reset();
    snapshot.StatusTriggers.reset();
}

void TApdBaseDispatcher::RegisterWindowHandler(platform::WindowHandle window) {
    LockHold data(DataLock);
    WindowHandlers.push_back(WindowHandler{window, false});
    NotifyNeeded = true;
    if (LoggingOn) {
        AddLogEntry(LogTypeHandlerAlloc, LogSubWindow, static_cast<std::uint32_t>(window), nullptr,
                    0);
    }
}

void TApdBaseDispatcher::DeregisterWindowHandler(platform::WindowHandle window) {
    LockHold data(DataLock);
    const auto found =
        std::find_if(WindowHandlers.begin(), WindowHandlers.end(),
                     [window](const WindowHandler& h) { return h.Window == window; });
    if (found != WindowHandlers.end()) {
        if (LoggingOn) {
            AddLogEntry(LogTypeHandlerDispose, LogSubWindow, static_cast<std::uint32_t>(window),
                        nullptr, 0);
        }
        if (Notifying) {
            found->Deleted = true;
            HandlersDeleted = true;
        } else {
            WindowHandlers.erase(found);
        }
    }
    UpdateHandlerFlags(HandlerFlagsRecompute);
}

void TApdBaseDispatcher::AddProcedureHandler(NotifyProcedure proc) {
    LockHold data(DataLock);
    ProcedureHandlers.push_back(ProcedureHandler{proc, false});
    NotifyNeeded = true;
    if (LoggingOn) {
        AddLogEntry(LogTypeHandlerAlloc, LogSubProcedure, 0, nullptr, 0);
    }
}

void TApdBaseDispatcher::RemoveProcedureHandler(NotifyProcedure proc) {
    LockHold data(DataLock);
    const auto found = std::find_if(ProcedureHandlers.begin(), ProcedureHandlers.end(),
                                    [proc](const ProcedureHandler& h) { return h.Proc == proc; });
    if (found != ProcedureHandlers.end()) {
        if (Notifying) {
            found->Deleted = true;
            HandlersDeleted = true;
        } else {
            ProcedureHandlers.erase(found);
        }
    }
    UpdateHandlerFlags(HandlerFlagsRecompute);
}

void TApdBaseDispatcher::AddMethodHandler(const NotifyMethod& method, bool synchronized) {
    LockHold data(DataLock);
    MethodHandlers.push_back(MethodHandler{method, false, synchronized});
    NotifyNeeded = true;
    if (LoggingOn) {
        AddLogEntry(LogTypeHandlerAlloc, LogSubMethod, 0, nullptr, 0);
    }
}

void TApdBaseDispatcher::RemoveMethodHandler(const NotifyMethod& method) {
    LockHold data(DataLock);
    const auto found =
        std::find_if(MethodHandlers.begin(), MethodHandlers.end(),
                     [&method](const MethodHandler& h) { return h.Method == method; });
    if (found != MethodHandlers.end()) {
        if (Notifying) {
            found->Deleted = true;
            HandlersDeleted = true;
        } else {
            MethodHandlers.erase(found);
        }
    }
    UpdateHandlerFlags(HandlerFlagsRecompute);
}

bool TApdBaseDispatcher::WindowHandlersWanted() const {
    return WindowHandlers.size() > 1 || PortHandlerActive;
}

void TApdBaseDispatcher::UpdateHandlerFlags(int mode) {
    LockHold data(DataLock);
    const bool others =
        WindowHandlers.size() > 1 || !ProcedureHandlers.empty() || !MethodHandlers.empty();
    switch (mode) {
    case HandlerFlagsRecompute:
        NotifyNeeded = others || PortHandlerActive;
        break;
    case HandlerFlagsPortActive:
        PortHandlerActive = true;
        NotifyNeeded = true;
        break;
    case HandlerFlagsPortInactive:
        PortHandlerActive = false;
        NotifyNeeded = others;
        break;
    default:
        return;
    }
    TriggersChanged(); // waiting bytes may now be due to handlers that want them
}

void TApdBaseDispatcher::ResetStatusHits() {
    LockHold data(DataLock);
    for (auto& trigger : StatusTriggers) {
        trigger.Hit = false;
    }
    AnyStatusHit = false;
}

void TApdBaseDispatcher::ResetDataTriggerState() {
    LockHold data(DataLock);
    for (auto& trigger : DataTriggers) {
        trigger.MatchSlots.fill(0);
    }
}

} // namespace apd
