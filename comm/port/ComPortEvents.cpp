// The events: their setters, the firing operations and the dispatcher's notification mode.

#include "comm/port/CustomComPort.h"
#include "comm/port/CustomComPortImpl.h"

namespace apd {

bool TApdCustomComPort::AnyTriggerEventAssigned() const {
    return impl_->onTrigger || impl_->onTriggerAvail || impl_->onTriggerData ||
           impl_->onTriggerStatus || impl_->onTriggerTimer || impl_->onTriggerLineError ||
           impl_->onTriggerModemStatus || impl_->onTriggerOutbuffFree ||
           impl_->onTriggerOutbuffUsed || impl_->onTriggerOutSent;
}

void TApdCustomComPort::UpdateEventHooks() {
    if (!PortIsOpen()) {
        return;
    }
    impl_->dispatcher->UpdateHandlerFlags(AnyTriggerEventAssigned() ? HandlerFlagsPortActive
                                                                    : HandlerFlagsPortInactive);
}

void TApdCustomComPort::SetOnTrigger(TTriggerEvent handler) {
    impl_->onTrigger = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerAvail(TTriggerAvailEvent handler) {
    impl_->onTriggerAvail = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerData(TTriggerDataEvent handler) {
    impl_->onTriggerData = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerStatus(TTriggerStatusEvent handler) {
    impl_->onTriggerStatus = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerTimer(TTriggerTimerEvent handler) {
    impl_->onTriggerTimer = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerLineError(TTriggerLineErrorEvent handler) {
    impl_->onTriggerLineError = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerModemStatus(TNotifyEvent handler) {
    impl_->onTriggerModemStatus = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerOutbuffFree(TNotifyEvent handler) {
    impl_->onTriggerOutbuffFree = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerOutbuffUsed(TNotifyEvent handler) {
    impl_->onTriggerOutbuffUsed = std::move(handler);
    UpdateEventHooks();
}

void TApdCustomComPort::SetOnTriggerOutSent(TNotifyEvent handler) {
    impl_->onTriggerOutSent = std::move(handler);
    UpdateEventHooks();
}

// Each firing operation calls its event on a copy, so that a handler may replace itself.

void TApdCustomComPort::DoTrigger(std::uint16_t msg, std::uint16_t triggerHandle,
                                  std::uint16_t data) {
    if (auto handler = impl_->onTrigger) {
        handler(*this, msg, triggerHandle, data);
    }
}

void TApdCustomComPort::DoTriggerAvail(std::uint16_t count) {
    if (auto handler = impl_->onTriggerAvail) {
        handler(*this, count);
    }
}

void TApdCustomComPort::DoTriggerData(std::uint16_t triggerHandle) {
    if (auto handler = impl_->onTriggerData) {
        handler(*this, triggerHandle);
    }
}

void TApdCustomComPort::DoTriggerStatus(std::uint16_t triggerHandle) {
    if (auto handler = impl_->onTriggerStatus) {
        handler(*this, triggerHandle);
    }
}

void TApdCustomComPort::DoTriggerTimer(std::uint16_t triggerHandle) {
    if (auto handler = impl_->onTriggerTimer) {
        handler(*this, triggerHandle);
    }
}

void TApdCustomComPort::DoTriggerLineError(std::uint16_t error, bool lineBreak) {
    if (auto handler = impl_->onTriggerLineError) {
        handler(*this, error, lineBreak);
    }
}

void TApdCustomComPort::DoTriggerModemStatus() {
    if (auto handler = impl_->onTriggerModemStatus) {
        handler(*this);
    }
}

void TApdCustomComPort::DoTriggerOutbuffFree() {
    if (auto handler = impl_->onTriggerOutbuffFree) {
        handler(*this);
    }
}

void TApdCustomComPort::DoTriggerOutbuffUsed() {
    if (auto handler = impl_->onTriggerOutbuffUsed) {
        handler(*this);
    }
}

void TApdCustomComPort::DoTriggerOutSent() {
    if (auto handler = impl_->onTriggerOutSent) {
        handler(*this);
    }
}

void TApdCustomComPort::DoWaitChar(std::uint8_t c) {
    if (auto handler = impl_->onWaitChar) {
        handler(*this, c);
    }
}

const TTriggerEvent& TApdCustomComPort::OnTrigger() const {
    return impl_->onTrigger;
}

const TTriggerAvailEvent& TApdCustomComPort::OnTriggerAvail() const {
    return impl_->onTriggerAvail;
}

const TTriggerDataEvent& TApdCustomComPort::OnTriggerData() const {
    return impl_->onTriggerData;
}

const TTriggerStatusEvent& TApdCustomComPort::OnTriggerStatus() const {
    return impl_->onTriggerStatus;
}

const TTriggerTimerEvent& TApdCustomComPort::OnTriggerTimer() const {
    return impl_->onTriggerTimer;
}

const TTriggerLineErrorEvent& TApdCustomComPort::OnTriggerLineError() const {
    return impl_->onTriggerLineError;
}

const TNotifyEvent& TApdCustomComPort::OnTriggerModemStatus() const {
    return impl_->onTriggerModemStatus;
}

const TNotifyEvent& TApdCustomComPort::OnTriggerOutbuffFree() const {
    return impl_->onTriggerOutbuffFree;
}

const TNotifyEvent& TApdCustomComPort::OnTriggerOutbuffUsed() const {
    return impl_->onTriggerOutbuffUsed;
}

const TNotifyEvent& TApdCustomComPort::OnTriggerOutSent() const {
    return impl_->onTriggerOutSent;
}

const TWaitCharEvent& TApdCustomComPort::OnWaitChar() const {
    return impl_->onWaitChar;
}

const TNotifyEvent& TApdCustomComPort::OnPortOpen() const {
    return impl_->onPortOpen;
}

const TNotifyEvent& TApdCustomComPort::OnPortClose() const {
    return impl_->onPortClose;
}

void TApdCustomComPort::SetOnWaitChar(TWaitCharEvent handler) {
    impl_->onWaitChar = std::move(handler);
}

void TApdCustomComPort::SetOnPortOpen(TNotifyEvent handler) {
    impl_->onPortOpen = std::move(handler);
}

void TApdCustomComPort::SetOnPortClose(TNotifyEvent handler) {
    impl_->onPortClose = std::move(handler);
}

} // namespace apd
