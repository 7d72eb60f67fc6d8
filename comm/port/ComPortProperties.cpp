// The plain property setters: line settings, device choice, modem lines and options.

#include "comm/dispatch/FlowOptions.h"
#include "comm/port/CustomComPort.h"
#include "comm/port/CustomComPortImpl.h"
#include "comm/port/ForceApplyHold.h"

#include <exception>

namespace apd {

ErrorCode TApdCustomComPort::Check(ErrorCode code) const {
    return CheckErrorCode(this, code);
}

void TApdCustomComPort::SetDeviceLayer(TDeviceLayer layer) {
    if (layer == impl_->deviceLayer || impl_->portState != psClosed) {
        return;
    }
    if ((impl_->supportedLayers & DeviceLayerBit(layer)) == 0) {
        return;
    }
    impl_->deviceLayer = layer;
    DeviceLayerChanged();
}

void TApdCustomComPort::SetComNumber(std::uint16_t number) {
    if (number == impl_->comNumber) {
        return;
    }
    if (!PortIsOpen()) {
        impl_->comNumber = number;
        return;
    }
    // Reopen on the new number, carrying the triggers (with their handles) and an active
    // trace or log over.
    SaveDispatcherTriggers();
    const TTraceLogState tracing = impl_->tracing;
    const TTraceLogState logging = impl_->logging;
    // A trace or log that cannot be written does not stop the move; it is raised once the
    // port is open on the new number.
    std::exception_ptr closeFailure;
    try {
        SetOpen(false);
    } catch (...) {
        closeFailure = std::current_exception();
    }
    impl_->comNumber = number;
    SetTracing(tracing);
    SetLogging(logging);
    SetOpen(true);
    if (PortIsOpen()) {
        impl_->dispatcher->RestoreTriggers(impl_->savedTriggers);
    }
    if (closeFailure) {
        std::rethrow_exception(closeFailure);
    }
}

void TApdCustomComPort::SetPromptForPort(bool prompt) {
    if (prompt == impl_->promptForPort && !impl_->forceApply) {
        return;
    }
    impl_->promptForPort = prompt;
}

void TApdCustomComPort::SetAutoOpen(bool autoOpen) {
    if (autoOpen == impl_->autoOpen && !impl_->forceApply) {
        return;
    }
    impl_->autoOpen = autoOpen;
}

void TApdCustomComPort::SetTapiMode(TTapiMode mode) {
    if (mode == impl_->tapiMode && !impl_->forceApply) {
        return;
    }
    impl_->tapiMode = mode;
}

// Line settings ignore ForceApply and are stored before the dispatcher sees them; a baud
// rate that cannot be one is refused before it is stored.

void TApdCustomComPort::SetBaud(std::int32_t baud) {
    if (baud == impl_->baud) {
        return;
    }
    // A rate must be positive: 0 would hang a line up (and means "keep the rate" to the
    // dispatcher), a negative one has no meaning. The stored rate stays, so that Baud()
    // and the line agree.
    if (baud <= 0) {
        Check(ecBaudRate);
        return;
    }
    impl_->baud = baud;
    if (PortIsOpen()) {
        Check(impl_->dispatcher->SetLineSettings(LineSettingsRequest()));
    }
}

LineRequest TApdCustomComPort::LineSettingsRequest() const {
    return LineRequestFromSettings(static_cast<std::uint32_t>(impl_->baud), impl_->parity,
                                   static_cast<std::uint8_t>(impl_->dataBits),
                                   static_cast<std::uint8_t>(impl_->stopBits));
}

void TApdCustomComPort::SetParity(TParity parity) {
    if (parity == impl_->parity) {
        return;
    }
    impl_->parity = parity;
    if (PortIsOpen()) {
        Check(impl_->dispatcher->SetLineSettings(LineSettingsRequest()));
    }
}

void TApdCustomComPort::SetDataBits(std::uint16_t bits) {
    if (bits == impl_->dataBits) {
        return;
    }
    impl_->dataBits = bits;
    if (PortIsOpen()) {
        Check(impl_->dispatcher->SetLineSettings(LineSettingsRequest()));
    }
}

void TApdCustomComPort::SetStopBits(std::uint16_t bits) {
    if (bits == impl_->stopBits) {
        return;
    }
    impl_->stopBits = bits;
    if (PortIsOpen()) {
        Check(impl_->dispatcher->SetLineSettings(LineSettingsRequest()));
    }
}

void TApdCustomComPort::SetInSize(std::uint16_t size) {
    if (size == impl_->inSize) {
        return;
    }
    impl_->inSize = size;
    if (PortIsOpen()) {
        impl_->dispatcher->SetQueueSizes(impl_->inSize,
                                         impl_->outSize); // the driver may keep its own sizes
    }
}

void TApdCustomComPort::SetOutSize(std::uint16_t size) {
    if (size == impl_->outSize) {
        return;
    }
    impl_->outSize = size;
    if (PortIsOpen()) {
        impl_->dispatcher->SetQueueSizes(impl_->inSize, impl_->outSize);
    }
}

// DTR and RTS are stored only when the dispatcher set the line (result 0); a failure is
// raised and a line that flow control drives (result 1) keeps the old value.

void TApdCustomComPort::SetDTR(bool on) {
    if (on == impl_->dtr && !impl_->forceApply) {
        return;
    }
    if (PortIsOpen()) {
        if (Check(impl_->dispatcher->SetDTR(on)) != 0) {
            return;
        }
    }
    impl_->dtr = on;
}

void TApdCustomComPort::SetRTS(bool on) {
    if (on == impl_->rts && !impl_->forceApply) {
        return;
    }
    if (PortIsOpen()) {
        if (Check(impl_->dispatcher->SetRTS(on)) != 0) {
            return;
        }
    }
    impl_->rts = on;
}

void TApdCustomComPort::SetRS485Mode(bool on) {
    if (on == impl_->rs485Mode && !impl_->forceApply) {
        return;
    }
    if (PortIsOpen()) {
        Check(impl_->dispatcher->SetRS485Mode(on));
    }
    impl_->rs485Mode = on;
    if (on) {
        // The transmitter drives RTS now: no flow control may use it. The flow control is
        // applied even when its options stay as they are: that puts RTS into its transmit
        // mode (the driver's toggle) at once, as opening the port does.
        {
            ForceApplyHold force(*this, true);
            SetHWFlowOptions(
                static_cast<THWFlowOptionSet>(impl_->hwFlowOptions & ~(hwfUseRTS | hwfRequireCTS)));
        }
        SetRTS(false);
    }
}

void TApdCustomComPort::SetUseMSRShadow(bool /*on*/) {
    impl_->useMsrShadow = true;
}

void TApdCustomComPort::SetUseEventWord(bool on) {
    if (on == impl_->useEventWord && !impl_->forceApply) {
        return;
    }
    if (PortIsOpen()) {
        if (on) {
            impl_->dispatcher->SetOptionFlags(OptionUseEventWord);
        } else {
            impl_->dispatcher->ClearOptionFlags(OptionUseEventWord);
        }
    }
    impl_->useEventWord = on;
}

void TApdCustomComPort::SetCommNotificationLevel(std::uint16_t level) {
    if (level == impl_->commNotificationLevel && !impl_->forceApply) {
        return;
    }
    impl_->commNotificationLevel = level;
}

void TApdCustomComPort::SetTriggerLength(std::uint16_t length) {
    if (length == impl_->triggerLength && !impl_->forceApply) {
        return;
    }
    if (PortIsOpen()) {
        impl_->dispatcher->SetAvailTriggerLength(length);
    }
    impl_->triggerLength = length;
}

void TApdCustomComPort::SetThreadBoost(std::uint8_t boost) {
    if (boost == impl_->threadBoost && !impl_->forceApply) {
        return;
    }
    if (PortIsOpen()) {
        impl_->dispatcher->SetThreadPriorityBoost(boost);
    }
    impl_->threadBoost = boost;
}

void TApdCustomComPort::SetTraceName(const std::string& name) {
    if (name == impl_->traceName && !impl_->forceApply) {
        return;
    }
    impl_->traceName = name.substr(0, MaxShortStringLength);
}

void TApdCustomComPort::SetTraceHex(bool on) {
    if (on == impl_->traceHex && !impl_->forceApply) {
        return;
    }
    impl_->traceHex = on;
}

void TApdCustomComPort::SetTraceAllHex(bool on) {
    if (on == impl_->traceAllHex && !impl_->forceApply) {
        return;
    }
    impl_->traceAllHex = on;
}

void TApdCustomComPort::SetLogName(const std::string& name) {
    if (name == impl_->logName && !impl_->forceApply) {
        return;
    }
    impl_->logName = name.substr(0, MaxShortStringLength);
}

void TApdCustomComPort::SetLogHex(bool on) {
    if (on == impl_->logHex && !impl_->forceApply) {
        return;
    }
    impl_->logHex = on;
}

void TApdCustomComPort::SetLogAllHex(bool on) {
    if (on == impl_->logAllHex && !impl_->forceApply) {
        return;
    }
    impl_->logAllHex = on;
}

// The getters.

TDeviceLayer TApdCustomComPort::DeviceLayer() const {
    return impl_->deviceLayer;
}

TDeviceLayerSet TApdCustomComPort::SupportedDeviceLayers() const {
    return impl_->supportedLayers;
}

std::uint16_t TApdCustomComPort::ComNumber() const {
    return impl_->comNumber;
}

bool TApdCustomComPort::PromptForPort() const {
    return impl_->promptForPort;
}

bool TApdCustomComPort::AutoOpen() const {
    return impl_->autoOpen;
}

TTapiMode TApdCustomComPort::TapiMode() const {
    return impl_->tapiMode;
}

std::uint16_t TApdCustomComPort::TapiDeviceId() const {
    return impl_->tapiDeviceId;
}

std::int32_t TApdCustomComPort::Baud() const {
    return impl_->baud;
}

TParity TApdCustomComPort::Parity() const {
    return impl_->parity;
}

std::uint16_t TApdCustomComPort::DataBits() const {
    return impl_->dataBits;
}

std::uint16_t TApdCustomComPort::StopBits() const {
    return impl_->stopBits;
}

std::uint16_t TApdCustomComPort::InSize() const {
    return impl_->inSize;
}

std::uint16_t TApdCustomComPort::OutSize() const {
    return impl_->outSize;
}

bool TApdCustomComPort::DTR() const {
    return impl_->dtr;
}

bool TApdCustomComPort::RTS() const {
    return impl_->rts;
}

bool TApdCustomComPort::RS485Mode() const {
    return impl_->rs485Mode;
}

bool TApdCustomComPort::UseMSRShadow() const {
    return impl_->useMsrShadow;
}

bool TApdCustomComPort::UseEventWord() const {
    return impl_->useEventWord;
}

std::uint16_t TApdCustomComPort::CommNotificationLevel() const {
    return impl_->commNotificationLevel;
}

std::uint16_t TApdCustomComPort::TriggerLength() const {
    return impl_->triggerLength;
}

std::uint8_t TApdCustomComPort::ThreadBoost() const {
    return impl_->threadBoost;
}

void TApdCustomComPort::SetTapiDeviceId(std::uint16_t id) {
    impl_->tapiDeviceId = id;
}

} // namespace apd
