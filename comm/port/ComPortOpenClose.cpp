// Construction and destruction, opening and closing, loading and copying.

#include "comm/dispatch/DispatcherRegistry.h"
#include "comm/dispatch/NotificationMessages.h"
#include "comm/errors/ExceptionClasses.h"
#include "comm/platform/PumpOneMessage.h"
#include "comm/port/ApplicationExceptions.h"
#include "comm/port/CustomComPort.h"
#include "comm/port/CustomComPortImpl.h"
#include "comm/port/ForceApplyHold.h"
#include "comm/threads/Tapi32Dispatcher.h"
#include "comm/threads/ThreadedDispatcher.h"

#include <algorithm>
#include <exception>

namespace apd {

TApdCustomComPort::TApdCustomComPort(TApdBaseComponent* owner)
    : TApdBaseComponent(owner), impl_(std::make_unique<Impl>()) {
    NoteMainThreadCandidate();
}

TApdCustomComPort::~TApdCustomComPort() {
    // From here on no notification reaches this component, and a reopen never runs.
    impl_->destroying = true;
    impl_->reopenRequested = false;
    if (impl_->portState == psOpen) {
        try {
            DoClose();
        } catch (...) {
            // A trace or log that could not be written; the port is closed all the same.
        }
    }
    if (impl_->portState == psShuttingDown) {
        CompleteCloseOnDestroy();
    }
    TApdBaseDispatcher::FreeSavedTriggers(impl_->savedTriggers);
}

void TApdCustomComPort::CompleteCloseOnDestroy() {
    // The window does not complete the close on its own meanwhile: impl_->destroying is set.
    if (impl_->dispatcher) {
        // Stops the threads and waits for them, serving this thread's messages meanwhile.
        impl_->dispatcher->FreePortResources();
    }
    FinishClose();
}

void TApdCustomComPort::FinishClose() {
    HookNotifyWindow(false);
    impl_->dispatcher.reset();
    impl_->portState = psClosed;
}

void TApdCustomComPort::SetOpen(bool open) {
    if (!open) {
        // A close written after a reopen request cancels that request.
        impl_->reopenRequested = false;
    }
    if (open == impl_->open && !impl_->forceApply) {
        return;
    }
    if (IsDesigning() || IsLoading()) {
        impl_->open = open;
        if (open) {
            impl_->openAfterLoad = true;
        }
        return;
    }
    if (!open) {
        DoClose();
    } else if (impl_->portState == psClosed) {
        DoOpen();
    } else if (impl_->portState == psShuttingDown) {
        impl_->reopenRequested = true;
    }
}

void TApdCustomComPort::ValidateComNumber() {
    if (impl_->comNumber != 0) {
        return;
    }
    if (!impl_->promptForPort || !impl_->prompt) {
        CheckErrorCode(nullptr, ecNoPortSelected);
    }
    const std::optional<int> chosen = impl_->prompt(*this);
    if (!chosen) {
        CheckErrorCode(nullptr, ecNoPortSelected);
    }
    SetComNumber(static_cast<std::uint16_t>(*chosen));
}

std::unique_ptr<TApdBaseDispatcher> TApdCustomComPort::CreateDispatcher() {
    if (impl_->factory) {
        return impl_->factory(*this);
    }
    if (impl_->deviceLayer != dlWin32) {
        CheckErrorCode(nullptr, ecNullApi);
    }
    if (impl_->tapiMode == tmOn) {
        return std::make_unique<TApdTAPI32Dispatcher>(this, impl_->tapiDeviceId);
    }
    return std::make_unique<TApdWin32Dispatcher>(this);
}

void TApdCustomComPort::RequireHandedOverDevice() const {
    const auto* telephony = dynamic_cast<const TApdTAPI32Dispatcher*>(impl_->dispatcher.get());
    if (telephony == nullptr || telephony->TapiHandle() == 0) {
        CheckErrorCode(nullptr, ecNotOpenedByTapi);
    }
}

void TApdCustomComPort::ReadBackTelephonySettings() {
    std::uint32_t baud = 0;
    std::uint16_t parity = 0;
    std::uint8_t dataBits = 0;
    std::uint8_t stopBits = 0;
    impl_->dispatcher->GetLineSettings(baud, parity, dataBits, stopBits);
    impl_->baud = static_cast<std::int32_t>(baud);
    impl_->parity = static_cast<TParity>(std::min<std::uint16_t>(parity, pSpace));
    impl_->dataBits = dataBits;
    impl_->stopBits = stopBits;

    std::uint32_t hw = 0;
    std::uint32_t sw = 0;
    std::uint8_t xon = 0;
    std::uint8_t xoff = 0;
    impl_->dispatcher->GetFlowOptions(hw, sw, xon, xoff);
    impl_->hwFlowOptions = static_cast<THWFlowOptionSet>(hw & hwfAll);
    switch (sw & 3) {
    case 1:
        impl_->swFlowOptions = swfTransmit;
        break;
    case 2:
        impl_->swFlowOptions = swfReceive;
        break;
    case 3:
        impl_->swFlowOptions = swfBoth;
        break;
    default:
        impl_->swFlowOptions = swfNone;
        break;
    }
    impl_->xonChar = xon;
    impl_->xoffChar = xoff;
}

void TApdCustomComPort::InitializePort() {
    const std::string name =
        impl_->tapiMode == tmOn ? std::string() : "\\\\.\\COM" + std::to_string(impl_->comNumber);
    std::uint8_t options = 0;
    if (impl_->dtr) {
        options |= OpenRaiseDtr;
    }
    if (impl_->rts) {
        options |= OpenRaiseRts;
    }
    if (impl_->hwFlowOptions & hwfUseDTR) {
        options |= OpenDtrFlowControl;
    }
    if (impl_->hwFlowOptions & hwfUseRTS) {
        options |= OpenRtsFlowControl;
    }
    // A handed-over line keeps the settings the telephony service gave it; they are read
    // back once the device is taken.
    const bool handedOver = impl_->tapiMode == tmOn;
    ErrorCode result =
        impl_->dispatcher->OpenDevicePort(name, handedOver ? LineRequest{} : LineSettingsRequest(),
                                          impl_->inSize, impl_->outSize, options);
    // The device layer tells a port in use (ecAlreadyOpen) from one the user may not open
    // (ecAccessDenied); a missing one is the component's "comport doesn't exist".
    if (result == ecFileNotFound || result == ecPathNotFound) {
        result = ecBadId;
    }
    if (result != ecOK) {
        // A port that did not open can never go on opening, loading or not.
        CheckErrorCode(nullptr, result);
    }
}

void TApdCustomComPort::DoOpen() {
    if (impl_->tapiMode != tmOn) {
        ValidateComNumber();
    }
    impl_->dispatcher = CreateDispatcher();
    if (!impl_->dispatcher) {
        CheckErrorCode(nullptr, ecNullApi);
    }
    if (auto* serial = dynamic_cast<TApdWin32Dispatcher*>(impl_->dispatcher.get())) {
        // An error that ends one of its threads reaches the application's exception
        // handler on this thread, through the notification window.
        serial->SetThreadErrorReport(
            [errors = impl_->threadErrors](const std::string& text) { errors->Post(text); });
    }
    bool restoredTriggers = false;
    try {
        if (impl_->tapiMode == tmOn) {
            RequireHandedOverDevice();
        }
        InitializePort();
        if (impl_->tapiMode == tmOn) {
            ReadBackTelephonySettings(); // the line's own settings, from the taken device
        }
        impl_->portState = psOpen;
        UpdateEventHooks();
        {
            ForceApplyHold force(*this, true);
            SetTracing(impl_->tracing);
            SetLogging(impl_->logging);
            SetHWFlowOptions(impl_->hwFlowOptions);
            SetSWFlowOptions(impl_->swFlowOptions);
            SetXOnChar(impl_->xonChar);
            SetXOffChar(impl_->xoffChar);
            SetTriggerLength(impl_->triggerLength);
            if (impl_->deviceLayer != dlFossil) {
                // A device without modem lines (a pseudo-terminal) refuses to set them. The
                // dispatcher's own open goes on then, and so does this one.
                const auto lineLevel = [](auto&& apply) {
                    try {
                        apply();
                    } catch (const EAPDException& e) {
                        if (e.ErrorCode() != ecBadArgument) {
                            throw;
                        }
                    }
                };
                lineLevel([this] { SetDTR(impl_->dtr); });
                lineLevel([this] { SetRTS(impl_->rts); });
            }
            SetUseMSRShadow(impl_->useMsrShadow);
            SetUseEventWord(impl_->useEventWord);
            SetCommNotificationLevel(impl_->commNotificationLevel);
            SetRS485Mode(impl_->rs485Mode);
            SetThreadBoost(impl_->threadBoost);
        }
        impl_->forceApply = false;
        impl_->open = true;
        HookNotifyWindow(true);
        if (impl_->triggersSaved) {
            impl_->triggersSaved = false;
            restoredTriggers = true;
            impl_->dispatcher->RestoreTriggers(impl_->savedTriggers);
        }
        PortOpenNotify();
    } catch (...) {
        impl_->open = false;
        impl_->portState = psClosed;
        // The snapshot stays for the next open when this one failed after taking it.
        if (restoredTriggers) {
            impl_->triggersSaved = true;
        }
        HookNotifyWindow(false);
        impl_->dispatcher.reset();
        throw;
    }
}

void TApdCustomComPort::SaveDispatcherTriggers() {
    TApdBaseDispatcher::FreeSavedTriggers(impl_->savedTriggers);
    impl_->dispatcher->SaveTriggers(impl_->savedTriggers);
    impl_->triggersSaved = true;
}

void TApdCustomComPort::DiscardSavedTriggers() {
    TApdBaseDispatcher::FreeSavedTriggers(impl_->savedTriggers);
    impl_->triggersSaved = false;
}

void TApdCustomComPort::DoClose() {
    impl_->open = false;
    if (impl_->portState != psOpen) {
        return;
    }
    // Writing the trace and the log must not keep the port from closing: the close is
    // completed and the first failure raised afterwards.
    std::exception_ptr failure;
    const auto guarded = [&failure](auto&& step) {
        try {
            step();
        } catch (...) {
            if (!failure) {
                failure = std::current_exception();
            }
        }
    };
    guarded([this] { SetTracing(tlDump); });
    guarded([this] { SetLogging(tlDump); });
    impl_->tracing = tlOff;
    impl_->logging = tlOff;

    impl_->portState = psShuttingDown;
    guarded([this] { PortCloseNotify(); });
    SaveDispatcherTriggers();
    impl_->dispatcher->CloseDevicePort();
    if (impl_->dispatcher->CloseDeferred) {
        // Closed from inside a notification: the window completes the close once the
        // dispatcher's threads have ended.
        platform::PostWindowMessage(impl_->window, MsgClosePending, 0,
                                    static_cast<platform::LParam>(NotificationLParam(
                                        impl_->dispatcher->DispatcherHandle, 0)));
        PumpOneMessage();
    } else {
        FinishClose();
        impl_->reopenRequested = false;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TApdCustomComPort::NotifyPortUsers(std::uint32_t msg, bool opening) {
    // Copied: a user may register or deregister while being told.
    const std::vector<TPortUser> users = impl_->portUsers;
    for (auto user = users.rbegin(); user != users.rend(); ++user) {
        if (user->Window != 0) {
            platform::SendWindowMessage(user->Window, msg, 0, 0);
        } else if (user->Callback) {
            user->Callback(*this, opening);
        }
    }
}

void TApdCustomComPort::PortOpenNotify() {
    NotifyPortUsers(MsgPortOpen, true);
    if (impl_->onPortOpen) {
        impl_->onPortOpen(*this);
    }
}

void TApdCustomComPort::PortCloseNotify() {
    NotifyPortUsers(MsgPortClose, false);
    if (impl_->onPortClose) {
        impl_->onPortClose(*this);
    }
}

void TApdCustomComPort::AddPortUser(const TPortUser& user) {
    impl_->portUsers.push_back(user);
}

void TApdCustomComPort::RemovePortUser(platform::WindowHandle window) {
    const auto found = std::find_if(impl_->portUsers.begin(), impl_->portUsers.end(),
                                    [window](const TPortUser& u) { return u.Window == window; });
    if (found != impl_->portUsers.end()) {
        impl_->portUsers.erase(found);
    }
}

void TApdCustomComPort::Loaded() {
    TApdBaseComponent::Loaded();
    if (IsDesigning()) {
        return;
    }
    if (impl_->openAfterLoad) {
        impl_->open = true;
    }
    if (impl_->open) {
        impl_->openAfterLoad = false;
        try {
            DoOpen();
        } catch (...) {
            impl_->open = false;
            HandleApplicationException(std::current_exception());
        }
    }
}

void TApdCustomComPort::Assign(const TApdBaseComponent& source) {
    const auto* from = dynamic_cast<const TApdCustomComPort*>(&source);
    if (from == nullptr || from == this) {
        return;
    }
    Impl& own = *impl_;
    const Impl& other = *from->impl_;
    own.portUsers = other.portUsers;
    if (other.portState == psOpen && other.dispatcher) {
        TApdBaseDispatcher::FreeSavedTriggers(own.savedTriggers);
        other.dispatcher->SaveTriggers(own.savedTriggers);
        own.triggersSaved = true;
    }
    own.forceApply = other.forceApply;
    own.deviceLayer = other.deviceLayer;
    own.comNumber = other.comNumber;
    own.baud = other.baud;
    own.parity = other.parity;
    own.dataBits = other.dataBits;
    own.stopBits = other.stopBits;
    own.inSize = other.inSize;
    own.outSize = other.outSize;
    own.autoOpen = other.autoOpen;
    own.promptForPort = other.promptForPort;
    own.rs485Mode = other.rs485Mode;
    own.threadBoost = other.threadBoost;
    own.dtr = other.dtr;
    own.rts = other.rts;
    own.bufferFull = other.bufferFull;
    own.bufferResume = other.bufferResume;
    own.hwFlowOptions = other.hwFlowOptions;
    own.swFlowOptions = other.swFlowOptions;
    own.xonChar = other.xonChar;
    own.xoffChar = other.xoffChar;
    own.tracing = other.tracing;
    own.traceSize = other.traceSize;
    own.traceName = other.traceName;
    own.traceHex = other.traceHex;
    own.traceAllHex = other.traceAllHex;
    own.logging = other.logging;
    own.logSize = other.logSize;
    own.logName = other.logName;
    own.logHex = other.logHex;
    own.logAllHex = other.logAllHex;
    own.triggerLength = other.triggerLength;
    own.tapiMode = other.tapiMode;
    own.open = false;
    SetOnTrigger(other.onTrigger);
    SetOnTriggerAvail(other.onTriggerAvail);
    SetOnTriggerData(other.onTriggerData);
    SetOnTriggerStatus(other.onTriggerStatus);
    SetOnTriggerTimer(other.onTriggerTimer);
    own.onPortOpen = other.onPortOpen;
    own.onPortClose = other.onPortClose;
}

// The state read back, and the hooks tests and tools set.

TPortState TApdCustomComPort::PortState() const {
    return impl_->portState;
}

bool TApdCustomComPort::ForceApply() const {
    return impl_->forceApply;
}

bool TApdCustomComPort::ReopenRequested() const {
    return impl_->reopenRequested;
}

bool TApdCustomComPort::TriggersSaved() const {
    return impl_->triggersSaved;
}

platform::WindowHandle TApdCustomComPort::NotificationWindow() const {
    return impl_->window;
}

bool TApdCustomComPort::Open() const {
    return impl_->open;
}

const std::vector<TPortUser>& TApdCustomComPort::PortUsers() const {
    return impl_->portUsers;
}

void TApdCustomComPort::SetForceApply(bool on) {
    impl_->forceApply = on;
}

void TApdCustomComPort::SetDispatcherFactory(DispatcherFactory factory) {
    impl_->factory = std::move(factory);
}

void TApdCustomComPort::SetPortSelectionPrompt(PortSelectionPrompt prompt) {
    impl_->prompt = std::move(prompt);
}

} // namespace apd
