// Delivery of one notification to every registered handler, with the read accounting of
// avail and data notifications: every handler reads the same bytes from the tail, and the
// tail moves by the most that any of them read once all have returned.

#include <algorithm>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/NotificationMessages.h"

namespace apd {

void TApdBaseDispatcher::BeginHandlerReads() {
    LockHold input(InputLock);
    HandlerReadCount = 0;
}

void TApdBaseDispatcher::EndHandlerReads() {
    LockHold input(InputLock);
    MaxHandlerReadCount = std::max(MaxHandlerReadCount, HandlerReadCount);
}

void TApdBaseDispatcher::SweepDeletedHandlers() {
    const auto deleted = [](const auto& handler) { return handler.Deleted; };
    std::erase_if(WindowHandlers, deleted);
    std::erase_if(ProcedureHandlers, deleted);
    std::erase_if(MethodHandlers, deleted);
}

bool TApdBaseDispatcher::NotifyHandlers(std::uint32_t msg, std::uint32_t wParam,
                                        std::uint32_t data) {
    const bool readsCounted = msg == MsgTriggerAvail || msg == MsgTriggerData;
    {
        LockHold hold(DataLock);
        if (DeliveriesStopped()) {
            return false;
        }
        if (!NotifyNeeded) {
            return true;
        }
        Notifying = true;
    }
    {
        LockHold input(InputLock);
        MaxHandlerReadCount = 0;
        HandlerReadCount = 0;
        InDataNotification = readsCounted;
    }
    const std::uint32_t lParam = NotificationLParam(DispatcherHandle, data);
    bool stopped = false;

    // Method handlers. Each handler record is copied under DataLock and called without
    // it; a registration during the delivery appends and is reached by the index.
    for (std::size_t index = 0; !stopped; ++index) {
        MethodHandler handler;
        {
            LockHold hold(DataLock);
            if (index >= MethodHandlers.size()) {
                break;
            }
            handler = MethodHandlers[index];
        }
        BeginHandlerReads();
        if (!handler.Deleted && handler.Method.Code != nullptr) {
            HandlerThread = handler.Synchronized ? SyncNotifyThread() : platform::CurrentThreadId();
            if (handler.Synchronized) {
                SyncNotify(msg, wParam, handler.Method, lParam);
            } else {
                handler.Method.Code(handler.Method.Data, msg, wParam,
                                    static_cast<platform::LParam>(lParam));
            }
        }
        HandlerThread = 0;
        stopped = DeliveriesStopped();
        EndHandlerReads();
    }

    for (std::size_t index = 0; !stopped; ++index) {
        ProcedureHandler handler;
        {
            LockHold hold(DataLock);
            if (index >= ProcedureHandlers.size()) {
                break;
            }
            handler = ProcedureHandlers[index];
        }
        BeginHandlerReads();
        if (!handler.Deleted && handler.Proc != nullptr) {
            HandlerThread = platform::CurrentThreadId();
            handler.Proc(msg, wParam, static_cast<platform::LParam>(lParam));
            HandlerThread = 0;
        }
        stopped = DeliveriesStopped();
        EndHandlerReads();
    }

    // The component's own window alone is notified only while it wants notifications.
    bool windowsWanted = false;
    {
        LockHold hold(DataLock);
        windowsWanted = WindowHandlersWanted();
    }
    for (std::size_t index = 0; !stopped && windowsWanted; ++index) {
        WindowHandler handler;
        {
            LockHold hold(DataLock);
            if (index >= WindowHandlers.size()) {
                break;
            }
            handler = WindowHandlers[index];
        }
        BeginHandlerReads();
        if (!handler.Deleted) {
            // A window that is gone or does not answer in time is passed over.
            HandlerThread = platform::WindowThread(handler.Window);
            platform::SendWindowMessageTimeout(handler.Window, msg, wParam,
                                               static_cast<platform::LParam>(lParam),
                                               platform::SmtoBlock, WindowNotifyTimeoutMs, nullptr);
            HandlerThread = 0;
        }
        stopped = DeliveriesStopped();
        EndHandlerReads();
    }

    bool result = !stopped;
    if (!stopped && readsCounted) {
        LockHold input(InputLock);
        // A handler still running after its time-out may have read since its maximum was
        // taken: its count is taken here, in the same step that moves the tail, so that
        // each of its reads is either counted or made directly afterwards, never both.
        MaxHandlerReadCount = std::max(MaxHandlerReadCount, HandlerReadCount);
        InDataNotification = false;
        InputRing.Consume(MaxHandlerReadCount);
        if (msg == MsgTriggerAvail && MaxHandlerReadCount != wParam) {
            result = false;
        }
    }
    {
        LockHold hold(DataLock);
        Notifying = false;
        if (HandlersDeleted) {
            SweepDeletedHandlers();
            HandlersDeleted = false;
            UpdateHandlerFlags(HandlerFlagsRecompute);
        }
    }
    if (!stopped) {
        LockHold input(InputLock);
        HandlerReadCount = 0;
    }
    return result;
}

} // namespace apd
