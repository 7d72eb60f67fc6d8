// Flow control: the thresholds and the hardware and software flow modes.

#include "comm/port/CustomComPort.h"
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

void TApdCustomComPort::ApplyThresholds(std::uint32_t fullParts, std::uint32_t resumeParts,
                                        std::uint32_t denominator) {
    if (bufferFull_ == 0 || bufferFull_ > inSize_) {
        bufferFull_ = static_cast<std::uint16_t>(std::uint32_t{inSize_} * fullParts / denominator);
    }
    if (bufferResume_ == 0 || bufferResume_ > bufferFull_) {
        bufferResume_ =
            static_cast<std::uint16_t>(std::uint32_t{inSize_} * resumeParts / denominator);
    }
}

void TApdCustomComPort::SetHWFlowOptions(THWFlowOptionSet options) {
    options &= hwfAll;
    if (options == hwFlowOptions_ && !forceApply_) {
        return;
    }
    if (options != 0) {
        ApplyThresholds(9, 1, 10);
    }
    if (PortIsOpen()) {
        Check(dispatcher_->SetHWFlowControl(bufferFull_, bufferResume_, options));
    }
    hwFlowOptions_ = options;
    if ((options & (hwfUseRTS | hwfRequireCTS)) != 0) {
        SetRS485Mode(false);
    }
}

void TApdCustomComPort::SetSWFlowOptions(TSWFlowOptions options) {
    if (options == swFlowOptions_ && !forceApply_) {
        return;
    }
    const std::uint32_t value = SoftwareFlowValue(options);
    if (value != 0) {
        ApplyThresholds(3, 1, 4);
    }
    if (PortIsOpen()) {
        if (value != 0) {
            Check(dispatcher_->SetSWFlowControl(bufferFull_, bufferResume_, value));
        } else {
            Check(dispatcher_->ClearSWFlowControl());
        }
    }
    swFlowOptions_ = options;
}

void TApdCustomComPort::SetXOnChar(std::uint8_t c) {
    if (c == xonChar_ && !forceApply_) {
        return;
    }
    xonChar_ = c;
    if (PortIsOpen()) {
        Check(dispatcher_->SetFlowChars(xonChar_, xoffChar_));
    }
}

void TApdCustomComPort::SetXOffChar(std::uint8_t c) {
    if (c == xoffChar_ && !forceApply_) {
        return;
    }
    xoffChar_ = c;
    if (PortIsOpen()) {
        Check(dispatcher_->SetFlowChars(xonChar_, xoffChar_));
    }
}

void TApdCustomComPort::ReapplyFlowControl() {
    ForceApplyHold force(*this, true);
    SetHWFlowOptions(hwFlowOptions_);
    SetSWFlowOptions(swFlowOptions_);
}

void TApdCustomComPort::SetBufferFull(std::uint16_t value) {
    if (value == bufferFull_ && !forceApply_) {
        return;
    }
    bufferFull_ =
        value <= inSize_ ? value : static_cast<std::uint16_t>(std::uint32_t{value} * 9 / 10);
    ReapplyFlowControl();
}

void TApdCustomComPort::SetBufferResume(std::uint16_t value) {
    if (value == bufferResume_ && !forceApply_) {
        return;
    }
    bufferResume_ =
        value <= bufferFull_ ? value : static_cast<std::uint16_t>(std::uint32_t{bufferFull_} / 10);
    ReapplyFlowControl();
}

} // namespace apd
