// Hardware and software flow control, the flow characters and the option flags.

#include <algorithm>
#include <limits>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/FlowOptions.h"

namespace apd {

namespace {

// The record's thresholds are 16-bit: a larger value is held at the largest one rather
// than wrapped to a small one.
std::uint16_t Threshold(std::uint32_t value) {
    return static_cast<std::uint16_t>(
        std::min<std::uint32_t>(value, std::numeric_limits<std::uint16_t>::max()));
}

} // namespace

ErrorCode TApdBaseDispatcher::SetHWFlowControl(std::uint32_t bufferFull, std::uint32_t bufferResume,
                                               std::uint32_t options) {
    LockHold data(DataLock);
    if (bufferFull < bufferResume || bufferFull > InQueueSize) {
        return ecBadArgument;
    }
    DeviceGetState(DCB);
    DCB.fDtrControl = DtrControlDisable;
    DCB.fRtsControl = RtsControlDisable;
    DCB.fOutxCtsFlow = false;
    DCB.fOutxDsrFlow = false;
    DtrUnderFlowControl = false;
    RtsUnderFlowControl = false;

    if (options & HwFlowUseDtr) {
        DCB.fDtrControl = DtrControlHandshake;
        DtrUnderFlowControl = true;
    } else if (DtrOn) {
        DCB.fDtrControl = DtrControlEnable;
    }
    if (options & HwFlowUseRts) {
        DCB.fRtsControl = RtsControlHandshake;
        RtsUnderFlowControl = true;
    } else if (RtsOn) {
        DCB.fRtsControl = RtsControlEnable;
    }
    if (RS485Mode && DriverTogglesRts485()) {
        // The driver raises RTS for each transmission and drops it when the last bit is out.
        DCB.fRtsControl = RtsControlToggle;
        RtsUnderFlowControl = true;
    }
    DCB.XoffLim = Threshold(InQueueSize - bufferFull);
    DCB.XonLim = Threshold(bufferResume);
    DCB.fOutxDsrFlow = (options & HwFlowRequireDsr) != 0;
    DCB.fOutxCtsFlow = (options & HwFlowRequireCts) != 0;
    return ApplyLineState(DCB);
}

ErrorCode TApdBaseDispatcher::SetSWFlowControl(std::uint32_t bufferFull, std::uint32_t bufferResume,
                                               std::uint32_t options) {
    LockHold data(DataLock);
    if (bufferFull < bufferResume || bufferFull > InQueueSize) {
        return ecBadArgument;
    }
    DeviceGetState(DCB);
    if (options & SwFlowReceive) {
        DCB.fInX = true;
        DCB.XoffLim = Threshold(InQueueSize - bufferFull);
        DCB.XonLim = Threshold(bufferResume);
        DCB.XonChar = DefaultXonChar;
        DCB.XoffChar = DefaultXoffChar;
    }
    if (options & SwFlowTransmit) {
        DCB.fOutX = true;
        DCB.XonChar = DefaultXonChar;
        DCB.XoffChar = DefaultXoffChar;
    }
    return ApplyLineState(DCB);
}

ErrorCode TApdBaseDispatcher::ClearSWFlowControl() {
    LockHold data(DataLock);
    DeviceGetState(DCB);
    DCB.fOutX = false;
    DCB.fInX = false;
    return ApplyLineState(DCB);
}

ErrorCode TApdBaseDispatcher::SetFlowChars(std::uint8_t xon, std::uint8_t xoff) {
    LockHold data(DataLock);
    DeviceGetState(DCB);
    DCB.XonChar = xon;
    DCB.XoffChar = xoff;
    return ApplyLineState(DCB);
}

ErrorCode TApdBaseDispatcher::GetFlowOptions(std::uint32_t& hwOptions, std::uint32_t& swOptions,
                                             std::uint8_t& xon, std::uint8_t& xoff) {
    hwOptions = 0;
    swOptions = 0;
    LockHold data(DataLock);
    const ErrorCode result = DeviceGetState(DCB);
    if (DCB.fDtrControl == DtrControlHandshake) {
        hwOptions |= HwFlowUseDtr;
    }
    // Both the handshake and the toggle mode carry the handshake bit.
    if (DCB.fRtsControl == RtsControlHandshake || DCB.fRtsControl == RtsControlToggle) {
        hwOptions |= HwFlowUseRts;
    }
    if (DCB.fOutxDsrFlow) {
        hwOptions |= HwFlowRequireDsr;
    }
    if (DCB.fOutxCtsFlow) {
        hwOptions |= HwFlowRequireCts;
    }
    if (DCB.fInX) {
        swOptions |= SwFlowReceive;
    }
    if (DCB.fOutX) {
        swOptions |= SwFlowTransmit;
    }
    xon = DCB.XonChar;
    xoff = DCB.XoffChar;
    return result;
}

void TApdBaseDispatcher::SetOptionFlags(std::uint32_t bits) {
    LockHold data(DataLock);
    OptionFlags |= bits;
}

void TApdBaseDispatcher::ClearOptionFlags(std::uint32_t bits) {
    LockHold data(DataLock);
    OptionFlags &= ~bits;
}

} // namespace apd
