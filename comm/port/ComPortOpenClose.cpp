// Construction and destruction, opening and closing, loading and copying.

#include "comm/dispatch/DispatcherRegistry.h"
#include "comm/dispatch/LineArithmetic.h"
#include "comm/dispatch/NotificationMessages.h"
#include "comm/errors/ExceptionClasses.h"
#include "comm/platform/PumpOneMessage.h"
#include "comm/port/ApplicationExceptions.h"
#include "comm/port/CustomComPort.h"
#include "comm/port/ForceApplyHold.h"
#include "comm/threads/Tapi32Dispatcher.h"
#include "comm/threads/ThreadedDispatcher.h"

#include <algorithm>
#include <exception>

namespace apd {

TApdCustomComPort::TApdCustomComPort(TApdBaseComponent* owner) : TApdBaseComponent(owner) {
    NoteMainThreadCandidate();
}

TApdCustomComPort::~TApdCustomComPort() {
    // From here on no notification reaches this component, and a reopen never runs.
    destroying_ = true;
    reopenRequested_ = false;
    if (portState_ == psOpen) {
        try {
            DoClose();
        } catch (...) {
            // A trace or log that could not be written; the port is closed all the same.
        }
    }
    if (portState_ == psShuttingDown) {
        CompleteCloseOnDestroy();
    }
    TApdBaseDispatcher::FreeSavedTriggers(savedTriggers_);
}

void TApdCustomComPort::CompleteCloseOnDestroy() {
    // The window does not complete the close on its own meanwhile: destroying_ is set.
    if (dispatcher_) {
        // Stops the threads and waits for them, serving this thread's messages meanwhile.
        dispatcher_->FreePortResources();
    }
    FinishClose();
}

void TApdCustomComPort::FinishClose() {
    HookNotifyWindow(false);
    dispatcher_.reset();
    portState_ = psClosed;
}

void TApdCustomComPort::SetOpen(bool open) {
    if (!open) {
        // A close written after a reopen request cancels that request.
        reopenRequested_ = false;
    }
    if (open == open_ && !forceApply_) {
        return;
    }
    if (IsDesigning() || IsLoading()) {
        open_ = open;
        if (open) {
            openAfterLoad_ = true;
        }
        return;
    }
    if (!open) {
        DoClose();
    } else if (portState_ == psClosed) {
        DoOpen();
    } else if (portState_ == psShuttingDown) {
        reopenRequested_ = true;
    }
}

void TApdCustomComPort::ValidateComNumber() {
    if (comNumber_ != 0) {
        return;
    }
    if (!promptForPort_ || !prompt_) {
        CheckErrorCode(nullptr, ecNoPortSelected);
    }
    const std::optional<int> chosen = prompt_(*this);
    if (!chosen) {
        CheckErrorCode(nullptr, ecNoPortSelected);
    }
    SetComNumber(static_cast<std::uint16_t>(*chosen));
}

std::unique_ptr<TApdBaseDispatcher> TApdCustomComPort::CreateDispatcher() {
    if (factory_) {
        return factory_(*this);
    }
    if (deviceLayer_ != dlWin32) {
        CheckErrorCode(nullptr, ecNullApi);
    }
    if (tapiMode_ == tmOn) {
        return std::make_unique<TApdTAPI32Dispatcher>(this, tapiDeviceId_);
    }
    return std::make_unique<TApdWin32Dispatcher>(this);
}

void TApdCustomComPort::RequireHandedOverDevice() const {
    const auto* telephony = dynamic_cast<const TApdTAPI32Dispatcher*>(dispatcher_.get());
    if (telephony == nullptr || telephony->TapiHandle() == 0) {
        CheckErrorCode(nullptr, ecNotOpenedByTapi);
    }
}

void TApdCustomComPort::ReadBackTelephonySettings() {
    std::uint32_t baud = 0;
    std::uint16_t parity = 0;
    std::uint8_t dataBits = 0;
    std::uint8_t stopBits = 0;
    dispatcher_->GetLineSettings(baud, parity, dataBits, stopBits);
    baud_ = static_cast<std::int32_t>(baud);
    parity_ = static_cast<TParity>(std::min<std::uint16_t>(parity, pSpace));
    dataBits_ = dataBits;
    stopBits_ = stopBits;

    std::uint32_t hw = 0;
    std::uint32_t sw = 0;
    std::uint8_t xon = 0;
    std::uint8_t xoff = 0;
    dispatcher_->GetFlowOptions(hw, sw, xon, xoff);
    hwFlowOptions_ = static_cast<THWFlowOptionSet>(hw & hwfAll);
    switch (sw & 3) {
    case 1:
        swFlowOptions_ = swfTransmit;
        break;
    case 2:
        swFlowOptions_ = swfReceive;
        break;
    case 3:
        swFlowOptions_ = swfBoth;
        break;
    default:
        swFlowOptions_ = swfNone;
        break;
    }
    xonChar_ = xon;
    xoffChar_ = xoff;
}

void TApdCustomComPort::InitializePort() {
    const std::string name =
        tapiMode_ == tmOn ? std::string() : "\\\\.\\COM" + std::to_string(comNumber_);
    std::uint8_t options = 0;
    if (dtr_) {
        options |= OpenRaiseDtr;
    }
    if (rts_) {
        options |= OpenRaiseRts;
    }
    if (hwFlowOptions_ & hwfUseDTR) {
        options |= OpenDtrFlowControl;
    }
    if (hwFlowOptions_ & hwfUseRTS) {
        options |= OpenRtsFlowControl;
    }
    // A handed-over line keeps the settings the telephony service gave it; they are read
    // back once the device is taken.
    const bool handedOver = tapiMode_ == tmOn;
    ErrorCode result = dispatcher_->OpenDevicePort(
        name, handedOver ? KeepBaud : static_cast<std::uint32_t>(baud_),
        handedOver ? KeepParity : static_cast<std::uint8_t>(parity_),
        handedOver ? KeepDataBits : static_cast<std::uint8_t>(dataBits_),
        handedOver ? KeepStopBits : static_cast<std::uint8_t>(stopBits_), inSize_, outSize_,
        options);
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
    if (tapiMode_ != tmOn) {
        ValidateComNumber();
    }
    dispatcher_ = CreateDispatcher();
    if (!dispatcher_) {
        CheckErrorCode(nullptr, ecNullApi);
    }
    if (auto* serial = dynamic_cast<TApdWin32Dispatcher*>(dispatcher_.get())) {
        // An error that ends one of its threads reaches the application's exception
        // handler on this thread, through the notification window.
        serial->SetThreadErrorReport(
            [errors = threadErrors_](const std::string& text) { errors->Post(text); });
    }
    bool restoredTriggers = false;
    try {
        if (tapiMode_ == tmOn) {
            RequireHandedOverDevice();
        }
        InitializePort();
        if (tapiMode_ == tmOn) {
            ReadBackTelephonySettings(); // the line's own settings, from the taken device
        }
        portState_ = psOpen;
        UpdateEventHooks();
        {
            ForceApplyHold force(*this, true);
            SetTracing(tracing_);
            SetLogging(logging_);
            SetHWFlowOptions(hwFlowOptions_);
            SetSWFlowOptions(swFlowOptions_);
            SetXOnChar(xonChar_);
            SetXOffChar(xoffChar_);
            SetTriggerLength(triggerLength_);
            if (deviceLayer_ != dlFossil) {
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
                lineLevel([this] { SetDTR(dtr_); });
                lineLevel([this] { SetRTS(rts_); });
            }
            SetUseMSRShadow(useMsrShadow_);
            SetUseEventWord(useEventWord_);
            SetCommNotificationLevel(commNotificationLevel_);
            SetRS485Mode(rs485Mode_);
            SetThreadBoost(threadBoost_);
        }
        forceApply_ = false;
        open_ = true;
        HookNotifyWindow(true);
        if (triggersSaved_) {
            triggersSaved_ = false;
            restoredTriggers = true;
            dispatcher_->RestoreTriggers(savedTriggers_);
        }
        PortOpenNotify();
    } catch (...) {
        open_ = false;
        portState_ = psClosed;
        // The snapshot stays for the next open when this one failed after taking it.
        if (restoredTriggers) {
            triggersSaved_ = true;
        }
        HookNotifyWindow(false);
        dispatcher_.reset();
        throw;
    }
}

void TApdCustomComPort::SaveDispatcherTriggers() {
    TApdBaseDispatcher::FreeSavedTriggers(savedTriggers_);
    dispatcher_->SaveTriggers(savedTriggers_);
    triggersSaved_ = true;
}

void TApdCustomComPort::DiscardSavedTriggers() {
    TApdBaseDispatcher::FreeSavedTriggers(savedTriggers_);
    triggersSaved_ = false;
}

void TApdCustomComPort::DoClose() {
    open_ = false;
    if (portState_ != psOpen) {
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
    tracing_ = tlOff;
    logging_ = tlOff;

    portState_ = psShuttingDown;
    guarded([this] { PortCloseNotify(); });
    SaveDispatcherTriggers();
    dispatcher_->CloseDevicePort();
    if (dispatcher_->CloseDeferred) {
        // Closed from inside a notification: the window completes the close once the
        // dispatcher's threads have ended.
        platform::PostWindowMessage(
            window_, MsgClosePending, 0,
            static_cast<platform::LParam>(NotificationLParam(dispatcher_->DispatcherHandle, 0)));
        PumpOneMessage();
    } else {
        FinishClose();
        reopenRequested_ = false;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void TApdCustomComPort::NotifyPortUsers(std::uint32_t msg, bool opening) {
    // Copied: a user may register or deregister while being told.
    const std::vector<TPortUser> users = portUsers_;
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
    if (onPortOpen_) {
        onPortOpen_(*this);
    }
}

void TApdCustomComPort::PortCloseNotify() {
    NotifyPortUsers(MsgPortClose, false);
    if (onPortClose_) {
        onPortClose_(*this);
    }
}

void TApdCustomComPort::AddPortUser(const TPortUser& user) {
    portUsers_.push_back(user);
}

void TApdCustomComPort::RemovePortUser(platform::WindowHandle window) {
    const auto found = std::find_if(portUsers_.begin(), portUsers_.end(),
                                    [window](const TPortUser& u) { return u.Window == window; });
    if (found != portUsers_.end()) {
        portUsers_.erase(found);
    }
}

void TApdCustomComPort::Loaded() {
    TApdBaseComponent::Loaded();
    if (IsDesigning()) {
        return;
    }
    if (openAfterLoad_) {
        open_ = true;
    }
    if (open_) {
        openAfterLoad_ = false;
        try {
            DoOpen();
        } catch (...) {
            open_ = false;
            HandleApplicationException(std::current_exception());
        }
    }
}

void TApdCustomComPort::Assign(const TApdBaseComponent& source) {
    const auto* from = dynamic_cast<const TApdCustomComPort*>(&source);
    if (from == nullptr || from == this) {
        return;
    }
    portUsers_ = from->portUsers_;
    if (from->portState_ == psOpen && from->dispatcher_) {
        TApdBaseDispatcher::FreeSavedTriggers(savedTriggers_);
        from->dispatcher_->SaveTriggers(savedTriggers_);
        triggersSaved_ = true;
    }
    forceApply_ = from->forceApply_;
    deviceLayer_ = from->deviceLayer_;
    comNumber_ = from->comNumber_;
    baud_ = from->baud_;
    parity_ = from->parity_;
    dataBits_ = from->dataBits_;
    stopBits_ = from->stopBits_;
    inSize_ = from->inSize_;
    outSize_ = from->outSize_;
    autoOpen_ = from->autoOpen_;
    promptForPort_ = from->promptForPort_;
    rs485Mode_ = from->rs485Mode_;
    threadBoost_ = from->threadBoost_;
    dtr_ = from->dtr_;
    rts_ = from->rts_;
    bufferFull_ = from->bufferFull_;
    bufferResume_ = from->bufferResume_;
    hwFlowOptions_ = from->hwFlowOptions_;
    swFlowOptions_ = from->swFlowOptions_;
    xonChar_ = from->xonChar_;
    xoffChar_ = from->xoffChar_;
    tracing_ = from->tracing_;
    traceSize_ = from->traceSize_;
    traceName_ = from->traceName_;
    traceHex_ = from->traceHex_;
    traceAllHex_ = from->traceAllHex_;
    logging_ = from->logging_;
    logSize_ = from->logSize_;
    logName_ = from->logName_;
    logHex_ = from->logHex_;
    logAllHex_ = from->logAllHex_;
    triggerLength_ = from->triggerLength_;
    tapiMode_ = from->tapiMode_;
    open_ = false;
    SetOnTrigger(from->onTrigger_);
    SetOnTriggerAvail(from->onTriggerAvail_);
    SetOnTriggerData(from->onTriggerData_);
    SetOnTriggerStatus(from->onTriggerStatus_);
    SetOnTriggerTimer(from->onTriggerTimer_);
    onPortOpen_ = from->onPortOpen_;
    onPortClose_ = from->onPortClose_;
}

} // namespace apd
