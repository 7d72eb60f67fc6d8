// Flow control: the thresholds and the hardware and software flow modes.

#include "comm/port/CustomComPort.h"
#include "comm/port/CustomComPortImpl.h"
#include "comm/port/ForceApplyHold.h"

namespace apd {
namespace {

std::uint32_t SoftwareFlowValue(TSWFlowOptions options) {
    switch (options) {
    case swfReceive:
        return 2;
    case swfTransmit:
        return 1;
    case swfBoth:
        return 3;
    case swfNone:
        break;
    }
    return 0;
}

} // namespace

void TApdCustomComPort::ApplyThresholds(std::uint32_t fullNumerator, std::uint32_t resumeNumerator,
                                        std::uint32_t denominator) {
    if (impl_->bufferFull == 0 || impl_->bufferFull > impl_->inSize) {
        impl_->bufferFull =
            static_cast<std::uint16_t>(std::uint32_t{impl_->inSize} * fullNumerator / denominator);
    }
    if (impl_->bufferResume == 0 || impl_->bufferResume > impl_->bufferFull) {
        impl_->bufferResume = static_cast<std::uint16_t>(std::uint32_t{impl_->inSize} *
                                                         resumeNumerator / denominator);
    }
}

void TApdCustomComPort::SetHWFlowOptions(THWFlowOptionSet options) {
    options &= hwfAll;
    if (options == impl_->hwFlowOptions && !impl_->forceApply) {
        return;
    }
    if (options != 0) {
        ApplyThresholds(9, 1, 10);
    }
    if (PortIsOpen()) {
        Check(impl_->dispatcher->SetHWFlowControl(impl_->bufferFull, impl_->bufferResume, options));
    }
    impl_->hwFlowOptions = options;
    if ((options & (hwfUseRTS | hwfRequireCTS)) != 0) {
        SetRS485Mode(false);
    }
}

void TApdCustomComPort::SetSWFlowOptions(TSWFlowOptions options) {
    if (options == impl_->swFlowOptions && !impl_->forceApply) {
        return;
    }
    const std::uint32_t value = SoftwareFlowValue(options);
    if (value != 0) {
        ApplyThresholds(3, 1, 4);
    }
    if (PortIsOpen()) {
        if (value != 0) {
            Check(
                impl_->dispatcher->SetSWFlowControl(impl_->bufferFull, impl_->bufferResume, value));
        } else {
            Check(impl_->dispatcher->ClearSWFlowControl());
        }
    }
    impl_->swFlowOptions = options;
}

void TApdCustomComPort::SetXOnChar(std::uint8_t c) {
    if (c == impl_->xonChar && !impl_->forceApply) {
        return;
    }
    impl_->xonChar = c;
    if (PortIsOpen()) {
        Check(impl_->dispatcher->SetFlowChars(impl_->xonChar, impl_->xoffChar));
    }
}

void TApdCustomComPort::SetXOffChar(std::uint8_t c) {
    if (c == impl_->xoffChar && !impl_->forceApply) {
        return;
    }
    impl_->xoffChar = c;
    if (PortIsOpen()) {
        Check(impl_->dispatcher->SetFlowChars(impl_->xonChar, impl_->xoffChar));
    }
}

void TApdCustomComPort::ReapplyFlowControl() {
    ForceApplyHold force(*this, true);
    SetHWFlowOptions(impl_->hwFlowOptions);
    SetSWFlowOptions(impl_->swFlowOptions);
}

void TApdCustomComPort::SetBufferFull(std::uint16_t value) {
    if (value == impl_->bufferFull && !impl_->forceApply) {
        return;
    }
    impl_->bufferFull =
        value <= impl_->inSize ? value : static_cast<std::uint16_t>(std::uint32_t{value} * 9 / 10);
    ReapplyFlowControl();
}

void TApdCustomComPort::SetBufferResume(std::uint16_t value) {
    if (value == impl_->bufferResume && !impl_->forceApply) {
        return;
    }
    impl_->bufferResume = value <= impl_->bufferFull
                              ? value
                              : static_cast<std::uint16_t>(std::uint32_t{impl_->bufferFull} / 10);
    ReapplyFlowControl();
}

THWFlowOptionSet TApdCustomComPort::HWFlowOptions() const {
    return impl_->hwFlowOptions;
}

TSWFlowOptions TApdCustomComPort::SWFlowOptions() const {
    return impl_->swFlowOptions;
}

std::uint8_t TApdCustomComPort::XOnChar() const {
    return impl_->xonChar;
}

std::uint8_t TApdCustomComPort::XOffChar() const {
    return impl_->xoffChar;
}

std::uint16_t TApdCustomComPort::BufferFull() const {
    return impl_->bufferFull;
}

std::uint16_t TApdCustomComPort::BufferResume() const {
    return impl_->bufferResume;
}

} // namespace apd
