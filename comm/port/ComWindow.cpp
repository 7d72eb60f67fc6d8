// The notification window: the dispatcher's notifications become event calls here, on the
// thread that opened the port.

#include "comm/dispatch/DispatcherRegistry.h"
#include "comm/dispatch/NotificationMessages.h"
#include "comm/platform/Messaging.h"
#include "comm/port/ApplicationExceptions.h"
#include "comm/port/CustomComPort.h"
#include "comm/port/CustomComPortImpl.h"

#include <mutex>

namespace apd {
namespace {

const char* const ComWindowClass = "awComWindow";

// How long a close that waits for the dispatcher's threads lets the queue rest before it
// looks again, so that it does not spin on the thread while they finish.
constexpr unsigned ClosePendingRestMs = 2;

void RegisterComWindowClass() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        // The window finds its component through the registry, by the dispatcher handle
        // each message carries; its extra bytes hold one value, unused.
        platform::RegisterWindowClass(ComWindowClass, &TApdCustomComPort::ComWindowProc,
                                      static_cast<int>(sizeof(std::intptr_t)));
    });
}

bool IsComWindowMessage(std::uint32_t msg) {
    return (msg >= MsgTriggerAvail && msg <= MsgTriggerStatus) || msg == MsgClosePending ||
           msg == MsgThreadError;
}

} // namespace

void TApdCustomComPort::HookNotifyWindow(bool enable) {
    if (enable) {
        RegisterComWindowClass();
        impl_->window = platform::CreateHiddenWindow(ComWindowClass);
        impl_->dispatcher->RegisterWindowHandler(impl_->window);
        impl_->threadErrors->SetWindow(impl_->window,
                                       NotificationLParam(impl_->dispatcher->DispatcherHandle, 0));
        return;
    }
    if (impl_->window == 0) {
        return;
    }
    if (impl_->dispatcher) {
        impl_->dispatcher->DeregisterWindowHandler(impl_->window);
    }
    impl_->threadErrors->SetWindow(0, 0);
    platform::DestroyHiddenWindow(impl_->window);
    impl_->window = 0;
    // Errors whose message went with the window are passed on here, on the same thread.
    impl_->threadErrors->Deliver();
}

platform::LResult TApdCustomComPort::ComWindowProc(platform::WindowHandle window, std::uint32_t msg,
                                                   platform::WParam wParam,
                                                   platform::LParam lParam) {
    if (!IsComWindowMessage(msg)) {
        return platform::DefaultWindowProc(window, msg, wParam, lParam);
    }
    bool repostClosePending = false;
    {
        // Held through the handlers, so that no dispatcher of the registry goes meanwhile.
        std::lock_guard registry(RegistryLock());
        const auto lp = static_cast<std::uint32_t>(lParam);
        TApdBaseDispatcher* dispatcher = RegisteredDispatcher(DispatcherHandleOf(lp));
        auto* port =
            dispatcher != nullptr ? dynamic_cast<TApdCustomComPort*>(dispatcher->Owner) : nullptr;
        if (port != nullptr && !port->impl_->destroying) {
            try {
                port->HandleNotification(msg, wParam, lParam, repostClosePending);
            } catch (...) {
                if (IsMainThread()) {
                    HandleApplicationException(std::current_exception());
                }
            }
        }
    }
    if (repostClosePending) {
        // The dispatcher's threads are still ending: look again shortly, serving whatever
        // else comes in meanwhile.
        platform::WaitForQueueActivity(ClosePendingRestMs);
        platform::PostWindowMessage(window, MsgClosePending, 0, lParam);
    }
    return 0;
}

void TApdCustomComPort::HandleNotification(std::uint32_t msg, platform::WParam wParam,
                                           platform::LParam lParam, bool& repostClosePending) {
    if (msg == MsgThreadError) {
        impl_->threadErrors->Deliver();
        return;
    }
    const auto handle = static_cast<std::uint16_t>(wParam);
    const auto data = static_cast<std::uint16_t>(static_cast<std::uint32_t>(lParam) & 0xFFFFu);
    DoTrigger(static_cast<std::uint16_t>(msg), handle, msg == MsgTriggerAvail ? handle : data);
    switch (msg) {
    case MsgTriggerAvail:
        DoTriggerAvail(handle);
        break;
    case MsgTriggerData:
        DoTriggerData(handle);
        break;
    case MsgTriggerTimer:
        DoTriggerTimer(handle);
        break;
    case MsgTriggerStatus:
        DoTriggerStatus(handle);
        switch (TApdBaseDispatcher::StatusKindOf(handle)) {
        case StatusKindModem:
            DoTriggerModemStatus();
            break;
        case StatusKindLineError: {
            // The break first: asking for it clears it, so the error is one of the others.
            const bool lineBreak = LineBreak();
            const std::uint16_t error = LineError();
            DoTriggerLineError(error, lineBreak);
            break;
        }
        case StatusKindOutBuffFree:
            DoTriggerOutbuffFree();
            break;
        case StatusKindOutBuffUsed:
            DoTriggerOutbuffUsed();
            break;
        case StatusKindOutSent:
            DoTriggerOutSent();
            break;
        default:
            break;
        }
        break;
    case MsgClosePending:
        repostClosePending = HandleClosePending() == ClosePendingOutcome::StillStopping;
        break;
    default:
        break;
    }
}

TApdCustomComPort::ClosePendingOutcome TApdCustomComPort::HandleClosePending() {
    if (impl_->portState != psShuttingDown) {
        return ClosePendingOutcome::Done;
    }
    if (impl_->dispatcher &&
        (impl_->dispatcher->DispatcherActive || impl_->dispatcher->Notifying)) {
        return ClosePendingOutcome::StillStopping;
    }
    FinishClose();
    if (impl_->reopenRequested) {
        impl_->reopenRequested = false;
        DoOpen();
    }
    return ClosePendingOutcome::Done;
}

} // namespace apd
