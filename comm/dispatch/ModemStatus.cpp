// The modem status shadow: the line states of the device and the change bits that
// accumulate until a caller masks them away.

#include "comm/dispatch/BaseDispatcher.h"

namespace apd {

namespace {
constexpr std::uint32_t LineStateBits = 0xF0;
constexpr std::uint32_t ChangeBits = 0x0F;
constexpr std::uint32_t RingChangeBit = 0x04;
} // namespace

std::uint8_t TApdBaseDispatcher::ReadModemStatus(std::uint8_t mask) {
    LockHold data(DataLock);
    std::uint32_t device = 0;
    DeviceModemStatus(device); // 0 when the device cannot tell
    ModemStatusShadow = (device & 0xFF) | (ModemStatusShadow & ChangeBits);
    if (RingEventSeen.exchange(false)) {
        ModemStatusShadow |= RingChangeBit;
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
    // A line's change bit sits four places below its state bit; a change of RI therefore
    // sets the ring bit.
    ModemStatusShadow |= ((now ^ old) & LineStateBits) >> 4;
}

} // namespace apd
