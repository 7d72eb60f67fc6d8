// The plain property setters: line settings, device choice, modem lines and options.

#include "comm/port/CustomComPort.h"
#include "comm/port/ForceApplyHold.h"

#include <exception>

namespace apd {

ErrorCode TApdCustomComPort::Check(ErrorCode code) const {
    return CheckErrorCode(this, code);
}

void TApdCustomComPort::SetDeviceLayer(TDeviceLayer layer) {
    if (layer == deviceLayer_ || portState_ != psClosed) {
        return;
    }
    if ((supportedLayers_ & DeviceLayerBit(layer)) == 0) {
        return;
    }
    deviceLayer_ = layer;
    DeviceLayerChanged();
}

void TApdCustomComPort::SetComNumber(std::uint16_t number) {
    if (number == comNumber_) {
        return;
    }
    if (!PortIsOpen()) {
        comNumber_ = number;
        return;
    }
    // Reopen on the new number, carrying the triggers (with their handles) and an active
    // trace or log over.
    SaveDispatcherTriggers();
    const TTraceLogState tracing = tracing_;
    const TTraceLogState logging = logging_;
    // A trace or log that cannot be written does not stop the move; it is raised once the
    // port is open on the new number.
    std::exception_ptr closeFailure;
    try {
        SetOpen(false);
    } catch (...) {
        closeFailure = std::current_exception();
    }
    comNumber_ = number;
    SetTracing(tracing);
    SetLogging(logging);
    SetOpen(true);
    if (PortIsOpen()) {
        dispatcher_->RestoreTriggers(savedTriggers_);
    }
    if (closeFailure) {
        std::rethrow_exception(closeFailure);
    }
}

void TApdCustomComPort::SetPromptForPort(bool prompt) {
    if (prompt == promptForPort_ && !forceApply_) {
        return;
    }
    promptForPort_ = prompt;
}

void TApdCustomComPort::SetAutoOpen(bool autoOpen) {
    if (autoOpen == autoOpen_ && !forceApply_) {
        return;
    }
    autoOpen_ = autoOpen;
}

void TApdCustomComPort::SetTapiMode(TTapiMode mode) {
    if (mode == tapiMode_ && !forceApply_) {
        return;
    }
    tapiMode_ = mode;
}

// Line settings ignore ForceApply and are stored before the dispatcher sees them; a baud
// rate that cannot be one is refused before it is stored.

void TApdCustomComPort::SetBaud(std::int32_t baud) {
    if (baud == baud_) {
        return;
    }
    // A rate must be positive: 0 would hang a line up (and means "keep the rate" to the
    // dispatcher), a negative one has no meaning. The stored rate stays, so that Baud()
    // and the line agree.
    if (baud <= 0) {
        Check(ecBaudRate);
        return;
    }
    baud_ = baud;
    if (PortIsOpen()) {
        Check(dispatcher_->SetLineSettings(LineSettingsRequest()));
    }
}

LineRequest TApdCustomComPort::LineSettingsRequest() const {
    return LineRequestFromSettings(static_cast<std::uint32_t>(baud_), parity_,
                                   static_cast<std::uint8_t>(dataBits_),
                                   static_cast<std::uint8_t>(stopBits_));
}

void TApdCustomComPort::SetParity(TParity parity) {
    if (parity == parity_) {
        return;
    }
    parity_ = parity;
    if (PortIsOpen()) {
        Check(dispatcher_->SetLineSettings(LineSettingsRequest()));
    }
}

void TApdCustomComPort::SetDataBits(std::uint16_t bits) {
    if (bits == dataBits_) {
        return;
    }
    dataBits_ = bits;
    if (PortIsOpen()) {
        Check(dispatcher_->SetLineSettings(LineSettingsRequest()));
    }
}

void TApdCustomComPort::SetStopBits(std::uint16_t bits) {
    if (bits == stopBits_) {
        return;
    }
    stopBits_ = bits;
    if (PortIsOpen()) {
        Check(dispatcher_->SetLineSettings(LineSettingsRequest()));
    }
}

void TApdCustomComPort::SetInSize(std::uint16_t size) {
    if (size == inSize_) {
        return;
    }
    inSize_ = size;
    if (PortIsOpen()) {
        dispatcher_->SetQueueSizes(inSize_, outSize_); // the driver may keep its own sizes
    }
}

void TApdCustomComPort::SetOutSize(std::uint16_t size) {
    if (size == outSize_) {
        return;
    }
    outSize_ = size;
    if (PortIsOpen()) {
        dispatcher_->SetQueueSizes(inSize_, outSize_);
    }
}

// DTR and RTS are stored only when the dispatcher set the line (result 0); a failure is
// raised and a line that flow control drives (result 1) keeps the old value.

void TApdCustomComPort::SetDTR(bool on) {
    if (on == dtr_ && !forceApply_) {
        return;
    }
    if (PortIsOpen()) {
        if (Check(dispatcher_->SetDTR(on)) != 0) {
            return;
        }
    }
    dtr_ = on;
}

void TApdCustomComPort::SetRTS(bool on) {
    if (on == rts_ && !forceApply_) {
        return;
    }
    if (PortIsOpen()) {
        if (Check(dispatcher_->SetRTS(on)) != 0) {
            return;
        }
    }
    rts_ = on;
}

void TApdCustomComPort::SetRS485Mode(bool on) {
    if (on == rs485Mode_ && !forceApply_) {
        return;
    }
    if (PortIsOpen()) {
        Check(dispatcher_->SetRS485Mode(on));
    }
    rs485Mode_ = on;
    if (on) {
        // The transmitter drives RTS now: no flow control may use it. The flow control is
        // applied even when its options stay as they are: that puts RTS into its transmit
        // mode (the driver's toggle) at once, as opening the port does.
        {
            ForceApplyHold force(*this, true);
            SetHWFlowOptions(
                static_cast<THWFlowOptionSet>(hwFlowOptions_ & ~(hwfUseRTS | hwfRequireCTS)));
        }
        SetRTS(false);
    }
}

void TApdCustomComPort::SetUseMSRShadow(bool /*on*/) {
    useMsrShadow_ = true;
}

void TApdCustomComPort::SetUseEventWord(bool on) {
    if (on == useEventWord_ && !forceApply_) {
        return;
    }
    if (PortIsOpen()) {
        constexpr std::uint32_t eventWordOption = 4;
        if (on) {
            dispatcher_->SetOptionFlags(eventWordOption);
        } else {
            dispatcher_->ClearOptionFlags(eventWordOption);
        }
    }
    useEventWord_ = on;
}

void TApdCustomComPort::SetCommNotificationLevel(std::uint16_t level) {
    if (level == commNotificationLevel_ && !forceApply_) {
        return;
    }
    commNotificationLevel_ = level;
}

void TApdCustomComPort::SetTriggerLength(std::uint16_t length) {
    if (length == triggerLength_ && !forceApply_) {
        return;
    }
    if (PortIsOpen()) {
        dispatcher_->SetAvailTriggerLength(length);
    }
    triggerLength_ = length;
}

void TApdCustomComPort::SetThreadBoost(std::uint8_t boost) {
    if (boost == threadBoost_ && !forceApply_) {
        return;
    }
    if (PortIsOpen()) {
        dispatcher_->SetThreadPriorityBoost(boost);
    }
    threadBoost_ = boost;
}

void TApdCustomComPort::SetTraceName(const std::string& name) {
    if (name == traceName_ && !forceApply_) {
        return;
    }
    traceName_ = name.substr(0, MaxShortStringLength);
}

void TApdCustomComPort::SetTraceHex(bool on) {
    if (on == traceHex_ && !forceApply_) {
        return;
    }
    traceHex_ = on;
}

void TApdCustomComPort::SetTraceAllHex(bool on) {
    if (on == traceAllHex_ && !forceApply_) {
        return;
    }
    traceAllHex_ = on;
}

void TApdCustomComPort::SetLogName(const std::string& name) {
    if (name == logName_ && !forceApply_) {
        return;
    }
    logName_ = name.substr(0, MaxShortStringLength);
}

void TApdCustomComPort::SetLogHex(bool on) {
    if (on == logHex_ && !forceApply_) {
        return;
    }
    logHex_ = on;
}

void TApdCustomComPort::SetLogAllHex(bool on) {
    if (on == logAllHex_ && !forceApply_) {
        return;
    }
    logAllHex_ = on;
}

} // namespace apd
