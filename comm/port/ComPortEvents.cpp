// The events: their setters, the firing operations and the dispatcher's notification mode.

#include "comm/port/CustomComPort.h"

namespace apd {

bool TApdCustomComPort::AnyTriggerEventAssigned() const {
    return onTrigger_ || onTriggerAvail_ || onTriggerData_ || onTriggerStatus_ || onTriggerTimer_ ||
           onTriggerLineError_ || onTriggerModemStatus_ || onTriggerOutbuffFree_ ||
           onTriggerOutbuffUsed_ || onTriggerOutSent_;
}

void TApdCustomComPort::UpdateEventHooks() {
    if (!PortIsOpen()) {
        return;
    }
    dispatcher_->UpdateHandlerFlags(AnyTriggerEventAssigned() ? HandlerFlagsPortActive
                                                              : HandlerFlagsPortInactive);
}

void TApdCustomComPort::SetOnTrigger(TTriggerEvent handler) {
    onTrigger_ = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent handler) {
    onTriggerAvail_ = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerData(TTriggerDataEvent handler) {
    onTriggerData_ = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent handler) {
    onTriggerStatus_ = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent handler) {
    onTriggerTimer_ = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent handler) {
    onTriggerLineError_ = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerModemStatus(TNotifyEvent handler) {
    onTriggerModemStatus_ = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerOutbuffFree(TNotifyEvent handler) {
    onTriggerOutbuffFree_ = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerOutbuffUsed(TNotifyEvent handler) {
    onTriggerOutbuffUsed_ = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerOutSent(TNotifyEvent handler) {
    onTriggerOutSent_ = std::move(handler);
    UpdateEventHooks();
}

// Each firing operation calls its event on a copy, so that a handler may replace itself.

void TApdCustomComPort::DoTrigger(std::uint16_t msg, std::uint16_t triggerHandle,
                                  std::uint16_t data) {
    if (auto handler = onTrigger_) {
        handler(*this, msg, triggerHandle, data);
    }
}

void TApdCustomComPort::DoTriggerAvail(std::uint16_t count) {
    if (auto handler = onTriggerAvail_) {
        handler(*this, count);
    }
}

void TApdCustomComPort::DoTriggerData(std::uint16_t triggerHandle) {
    if (auto handler = onTriggerData_) {
        handler(*this, triggerHandle);
    }
}

void TApdCustomComPort::DoTriggerStatus(std::uint16_t triggerHandle) {
    if (auto handler = onTriggerStatus_) {
        handler(*this, triggerHandle);
    }
}

void TApdCustomComPort::DoTriggerTimer(std::uint16_t triggerHandle) {
    if (auto handler = onTriggerTimer_) {
        handler(*this, triggerHandle);
    }
}

void TApdCustomComPort::DoTriggerLineError(std::uint16_t error, bool lineBreak) {
    if (auto handler = onTriggerLineError_) {
        handler(*this, error, lineBreak);
    }
}

void TApdCustomComPort::DoTriggerModemStatus() {
    if (auto handler = onTriggerModemStatus_) {
        handler(*this);
    }
}

void TApdCustomComPort::DoTriggerOutbuffFree() {
    if (auto handler = onTriggerOutbuffFree_) {
        handler(*this);
    }
}

void TApdCustomComPort::DoTriggerOutbuffUsed() {
    if (auto handler = onTriggerOutbuffUsed_) {
        handler(*this);
    }
}

void TApdCustomComPort::DoTriggerOutSent() {
    if (auto handler = onTriggerOutSent_) {
        handler(*this);
    }
}

void TApdCustomComPort::DoWaitChar(std::uint8_t c) {
    if (auto handler = onWaitChar_) {
        handler(*this, c);
    }
}

} // namespace apd
