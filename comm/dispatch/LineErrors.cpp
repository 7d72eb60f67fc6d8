// Line errors: the device's error bits accumulate in LineErrorFlags until they are asked
// for.

#include "comm/dispatch/BaseDispatcher.h"

namespace apd {

namespace {
constexpr std::uint32_t DeviceErrorBits = 0x1F;
constexpr std::uint32_t ErrorBitsBesideBreak =
    LineErrorRxOver | LineErrorOverrun | LineErrorParity | LineErrorFrame;
} // namespace

std::uint32_t TApdBaseDispatcher::ReadDeviceStatus() {
    std::uint32_t errors = 0;
    DeviceGetStatus(DeviceStatus, errors); // no errors when the device cannot tell
    return errors;
}

ErrorCode TApdBaseDispatcher::DeviceGetInputStatus(std::uint32_t& waiting,
                                                   std::uint32_t& lineErrors) {
    const ErrorCode rc = DeviceGetStatus(DeviceStatus, lineErrors);
    waiting = DeviceStatus.cbInQue;
    return rc;
}

ErrorCode TApdBaseDispatcher::DeviceGetOutputStatus(std::uint32_t& pending,
                                                    std::uint32_t& lineErrors) {
    const ErrorCode rc = DeviceGetStatus(DeviceStatus, lineErrors);
    pending = DeviceStatus.cbOutQue;
    return rc;
}

void TApdBaseDispatcher::RefreshLineStatus() {
    // DeviceStatus belongs to OutputLock; LineErrorFlags is atomic.
    LockHold output(OutputLock);
    LineErrorFlags |= ReadDeviceStatus() & DeviceErrorBits;
}

std::uint32_t TApdBaseDispatcher::RefreshInputStatus() {
    std::uint32_t waiting = 0;
    std::uint32_t errors = 0;
    DeviceGetInputStatus(waiting, errors); // no errors when the device cannot tell
    LineErrorFlags |= errors & DeviceErrorBits;
    return waiting;
}

std::uint32_t TApdBaseDispatcher::RefreshOutputStatus() {
    std::uint32_t pending = 0;
    std::uint32_t errors = 0;
    DeviceGetOutputStatus(pending, errors);
    LineErrorFlags |= errors & DeviceErrorBits;
    return pending;
}

std::int32_t TApdBaseDispatcher::GetLineError() {
    LockHold data(DataLock);
    // One atomic step: clearing bits that are not set changes nothing, so the bits can be
    // cleared first and the code taken from what was there. An error that arrives from the
    // dispatch thread meanwhile is either reported now or stays for the next call.
    const std::uint32_t flags = LineErrorFlags.fetch_and(~ErrorBitsBesideBreak);
    if (flags & LineErrorRxOver) {
        return 1;
    }
    if (flags & LineErrorOverrun) {
        return 2;
    }
    if (flags & LineErrorParity) {
        return 3;
    }
    if (flags & LineErrorFrame) {
        return 4;
    }
    if (flags & LineErrorBreak) {
        return 9;
    }
    return 0;
}

bool TApdBaseDispatcher::CheckLineBreak() {
    LockHold data(DataLock);
    return (LineErrorFlags.fetch_and(~LineErrorBreak) & LineErrorBreak) != 0;
}

} // namespace apd
