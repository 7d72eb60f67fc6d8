#pragma once
// Modem control and status lines as the POSIX modem ioctls (TIOCMGET, TIOCMBIS, TIOCMBIC)
// see them, mapped to the dispatcher's conventions.

#include "comm/errors/ErrorCodes.h"

#include <cstdint>

namespace apd {

// The UART modem-status-register layout of the line states: 0x10 CTS, 0x20 DSR, 0x40 RI,
// 0x80 DCD. The change bits (low nibble) are the dispatcher's to keep.
std::uint8_t ModemStatusFromLines(int lines);

// The device events a change of the line states from `before` to `after` means: CTS, DSR
// and DCD on any change, the ring event when RI comes on.
std::uint32_t EventsFromLineChange(int before, int after);

// The line-control request an escape function asks for (EscapeSetRts ... EscapeClearDtr).
struct LineRequest {
    int line = 0; // TIOCM_RTS or TIOCM_DTR
    bool raise = false;
};

// False for a function that is not one of the four line functions.
bool LineRequestForEscape(int function, LineRequest& request);

// The ioctl calls on a device; results 0 or ErrorCodeFromErrno of errno (ecNotSupported
// where the driver has no modem lines, as on a pseudo-terminal).
ErrorCode ReadModemLines(int fd, int& lines);
ErrorCode ChangeModemLine(int fd, const LineRequest& request);

} // namespace apd
