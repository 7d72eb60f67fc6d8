// Line settings, DTR and RTS, modem status and line errors.

#include "comm/dispatch/BaseDispatcher.h"

namespace apd {

namespace {
constexpr std::uint8_t KeepParity = 5;
constexpr std::uint8_t KeepDataBits = 9;
constexpr std::uint8_t KeepStopBits = 3;
} // namespace

ErrorCode TApdBaseDispatcher::SetLineSettings(std::uint32_t baud, std::uint8_t parity,
                                              std::uint8_t dataBits, std::uint8_t stopBits) {
    if (stopBits == 0) {
        stopBits = 1;
    } else if (stopBits >= 4) {
        stopBits = 2;
    }
    LockHold data(DataLock);
    DeviceGetState(DCB);
    const std::uint32_t targetBaud = baud == 0 ? DCB.BaudRate : baud;
    const std::uint8_t targetParity = parity == KeepParity ? DCB.Parity : parity;
    std::uint8_t targetStopCode = DCB.StopBits;
    std::uint8_t targetDataBits = DCB.ByteSize;
    if (dataBits != KeepDataBits) {
        targetDataBits = dataBits;
        if (dataBits == 5) {
            targetStopCode = StopBitsOneAndHalf;
        }
    }
    if (stopBits != KeepStopBits) {
        targetStopCode = stopBits == 1 ? StopBitsOne : StopBitsTwo;
        if (targetDataBits == 5) {
            targetStopCode = StopBitsOneAndHalf;
        }
    }
    if (targetBaud == DCB.BaudRate && targetParity == DCB.Parity &&
        targetDataBits == DCB.ByteSize && targetStopCode == DCB.StopBits) {
        return ecOK;
    }
    // Still missing: the wait for pending output to drain before the line changes, which
    // comes with the line-control layer.
    DeviceGetState(DCB);
    DCB.BaudRate = targetBaud;
    DCB.Parity = targetParity;
    DCB.ByteSize = targetDataBits;
    DCB.StopBits = targetStopCode;
    return ApplyLineState(DCB);
}

ErrorCode TApdBaseDispatcher::ApplyLineState(LineState& state) {
    LockHold data(DataLock);
    if (!DtrUnderFlowControl) {
        state.fDtrControl = DtrOn ? DtrControlEnable : DtrControlDisable;
    }
    if (!RtsUnderFlowControl) {
        state.fRtsControl = RtsOn ? RtsControlEnable : RtsControlDisable;
    }
    const ErrorCode result = DeviceSetState(state);
    AppliedBaud = static_cast<std::int32_t>(state.BaudRate);
    SetDTR(DtrOn);
    if (!RS485Mode) {
        SetRTS(RtsOn);
    }
    return result;
}

std::int32_t TApdBaseDispatcher::SetDTR(bool on) {
    if (DtrUnderFlowControl) {
        return 1;
    }
    const std::int32_t result = DeviceEscape(on ? EscapeSetDtr : EscapeClearDtr);
    DtrOn = on;
    return result < 0 ? ecBadArgument : result;
}

std::int32_t TApdBaseDispatcher::SetRTS(bool on) {
    if (RtsUnderFlowControl) {
        return 1;
    }
    const std::int32_t result = DeviceEscape(on ? EscapeSetRts : EscapeClearRts);
    RtsOn = on;
    return result < 0 ? ecBadArgument : result;
}

std::uint8_t TApdBaseDispatcher::ReadModemStatus(std::uint8_t mask) {
    LockHold data(DataLock);
    const std::uint32_t device = DeviceModemStatus();
    ModemStatusShadow = (device & 0xFF) | (ModemStatusShadow & 0x0F);
    if (RingEventSeen.exchange(false)) {
        ModemStatusShadow |= 0x04;
    }
    const auto result = static_cast<std::uint8_t>(ModemStatusShadow & 0xFF);
    ModemStatusShadow &= mask;
    return result;
}

void TApdBaseDispatcher::RefreshModemStatus() {
    LockHold data(DataLock);
    const std::uint32_t old = ModemStatusShadow & 0xFF;
    ReadModemStatus(0xFF);
    const std::uint32_t now = ModemStatusShadow & 0xFF;
    ModemStatusShadow |= ((now ^ old) & 0xF0) >> 4;
}

void TApdBaseDispatcher::RefreshLineStatus() {
    LockHold output(OutputLock);
    LineErrorFlags |= DeviceGetStatus(DeviceStatus) & 0x1F;
}

std::int32_t TApdBaseDispatcher::GetLineError() {
    LockHold data(DataLock);
    const std::uint32_t flags = LineErrorFlags;
    std::int32_t error = 0;
    if (flags & LineErrorRxOver) {
        error = 1;
    } else if (flags & LineErrorOverrun) {
        error = 2;
    } else if (flags & LineErrorParity) {
        error = 3;
    } else if (flags & LineErrorFrame) {
        error = 4;
    } else if (flags & LineErrorBreak) {
        error = 9;
    }
    if (error != 0) {
        LineErrorFlags &= ~(LineErrorRxOver | LineErrorOverrun | LineErrorParity | LineErrorFrame);
    }
    return error;
}

bool TApdBaseDispatcher::CheckLineBreak() {
    LockHold data(DataLock);
    return (LineErrorFlags.fetch_and(~LineErrorBreak) & LineErrorBreak) != 0;
}

} // namespace apd
