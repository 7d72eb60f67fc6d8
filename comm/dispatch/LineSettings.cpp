// Line settings, their application to the device, and the DTR and RTS outputs.

#include <chrono>
#include <thread>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/LineArithmetic.h"

namespace apd {

namespace {
constexpr auto DrainPollInterval = std::chrono::milliseconds(2);
constexpr int MaxDrainPolls = 5000; // about 10 s
} // namespace

ErrorCode TApdBaseDispatcher::SetLineSettings(LineRequest request) {
    if (request.StopBits) {
        request.StopBits = NormaliseStopBits(*request.StopBits);
    }
    LineTarget target;
    {
        LockHold data(DataLock);
        DeviceGetState(DCB);
        target = LineTargetFor(DCB, request);
        if (target == LineOf(DCB)) {
            return ecOK;
        }
    }
    // Without DataLock, so that the output side can go on sending what is queued.
    WaitOutputDrained();
    LockHold data(DataLock);
    DeviceGetState(DCB);
    DCB.BaudRate = target.BaudRate;
    DCB.Parity = target.Parity;
    DCB.ByteSize = target.ByteSize;
    DCB.StopBits = target.StopBits;
    return ApplyLineState(DCB);
}

void TApdBaseDispatcher::GetLineSettings(std::uint32_t& baud, std::uint16_t& parity,
                                         std::uint8_t& dataBits, std::uint8_t& stopBits) {
    LockHold data(DataLock);
    DeviceGetState(DCB);
    baud = static_cast<std::uint32_t>(TranslateBaud(static_cast<std::int32_t>(DCB.BaudRate)));
    parity = DCB.Parity;
    dataBits = DCB.ByteSize;
    stopBits = DCB.StopBits == StopBitsOne ? 1 : 2;
}

void TApdBaseDispatcher::WaitOutputDrained() {
    for (int polls = 0; polls < MaxDrainPolls && OutBuffUsed() > 0; ++polls) {
        std::this_thread::sleep_for(DrainPollInterval);
    }
    LineState framing;
    std::int32_t applied = 0;
    {
        LockHold data(DataLock);
        DeviceGetState(DCB);
        framing = DCB;
        applied = AppliedBaud;
    }
    // The output ring is empty, but the driver and the UART may still hold characters.
    if (const std::uint32_t ms = DeviceLineDrainMs(framing, applied); ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

std::uint32_t TApdBaseDispatcher::DeviceLineDrainMs(const LineState& framing,
                                                    std::int32_t appliedBaud) {
    return DrainSleepMilliseconds(framing, appliedBaud);
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

} // namespace apd
