// Registration and removal of triggers (kept in the trigger table) and handlers, and the
// snapshot that carries triggers across a close and reopen. All of it runs under DataLock
// on the caller's thread.

#include <algorithm>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/DispatchLogCodes.h"

namespace apd {

std::int32_t TApdBaseDispatcher::AddDataTrigger(const std::uint8_t* data, bool ignoreCase,
                                                std::uint32_t length) {
    if (length > static_cast<std::uint32_t>(MaxDataTriggerLength)) {
        return ecTriggerTooLong;
    }
    LockHold hold(DataLock);
    TriggersChanged(); // a trigger is being added
    const std::int32_t handle =
        Triggers.AddData(data, static_cast<std::int32_t>(length), ignoreCase);
    if (LoggingOn) {
        AddLogEntry(LogTypeTriggerAlloc, LogSubAllocData, static_cast<std::uint32_t>(handle),
                    length ? data : nullptr, length);
    }
    return handle;
}

void TApdBaseDispatcher::SetAvailTriggerLength(std::int32_t length) {
    LockHold data(DataLock);
    Triggers.SetAvailLength(length);
    TriggersChanged(); // bytes already waiting may reach the new threshold
    if (LoggingOn) {
        AddLogEntry(LogTypeTriggerDataChange, LogSubAllocAvail, static_cast<std::uint32_t>(length),
                    nullptr, 0);
    }
}

void TApdBaseDispatcher::RemoveAllTriggers() {
    LockHold data(DataLock);
    Triggers.Clear();
}

void TApdBaseDispatcher::SaveTriggers(TriggerSnapshot& snapshot) {
    LockHold data(DataLock);
    FreeSavedTriggers(snapshot);
    Triggers.Save(snapshot);
}

void TApdBaseDispatcher::RestoreTriggers(const TriggerSnapshot& snapshot) {
    LockHold data(DataLock);
    Triggers.Restore(snapshot);
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
    Triggers.ClearStatusHits();
    AnyStatusHit = false;
}

void TApdBaseDispatcher::ResetDataTriggerState() {
    LockHold data(DataLock);
    Triggers.ClearPartialMatches();
}

} // namespace apd
