// RS-485 transmit control: RTS is raised only while the dispatcher transmits.
//
// Where the driver drives RTS itself (DriverTogglesRts485), RTS takes the toggle line mode
// at the next hardware flow control change, which the port component makes right after
// switching RS-485 on. Elsewhere PutBlock raises RTS before each write and the output
// side lowers it once the UART's transmitter is empty, which needs the UART's base
// address.

#include "comm/dispatch/BaseDispatcher.h"

namespace apd {

namespace {
constexpr int NormalPriority = 3;
} // namespace

ErrorCode TApdBaseDispatcher::SetRS485Mode(bool on) {
    LockHold data(DataLock);
    RS485Mode = on;
    if (on) {
        // RTS has to fall as soon as the last byte is out: the output thread gets a step
        // above the other dispatcher threads.
        SetOutputThreadPriority(PriorityBoost + NormalPriority + 1);
        if (!DriverTogglesRts485()) {
            const std::int32_t address = DeviceEscape(EscapeGetBaseAddress);
            UartBaseAddress = address > 0 && address <= 0xFFFF ? static_cast<std::uint16_t>(address)
                                                               : std::uint16_t{0};
        }
        return ecOK;
    }
    SetOutputThreadPriority(PriorityBoost + NormalPriority);
    // RTS must not stay in the toggle mode once RS-485 is off: the line goes back to the
    // level requested for it.
    DeviceGetState(DCB);
    if (DCB.fRtsControl != RtsControlToggle) {
        return ecOK;
    }
    RtsUnderFlowControl = false;
    return ApplyLineState(DCB);
}

} // namespace apd
