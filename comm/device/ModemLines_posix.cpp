#include "comm/device/ModemLines.h"

#include "comm/device/ErrnoTranslation.h"

#include "comm/device/DeviceEvents.h"
#include "comm/dispatch/LineState.h"

#include <sys/ioctl.h>

#include <cerrno>

namespace apd {

std::uint8_t ModemStatusFromLines(int lines) {
    std::uint8_t status = 0;
    if ((lines & TIOCM_CTS) != 0) {
        status |= 0x10;
    }
    if ((lines & TIOCM_DSR) != 0) {
        status |= 0x20;
    }
    if ((lines & TIOCM_RNG) != 0) {
        status |= 0x40;
    }
    if ((lines & TIOCM_CAR) != 0) {
        status |= 0x80;
    }
    return status;
}

std::uint32_t EventsFromLineChange(int before, int after) {
    const int changed = before ^ after;
    std::uint32_t events = 0;
    if ((changed & TIOCM_CTS) != 0) {
        events |= EventCts;
    }
    if ((changed & TIOCM_DSR) != 0) {
        events |= EventDsr;
    }
    if ((changed & TIOCM_CAR) != 0) {
        events |= EventRlsd;
    }
    if ((changed & after & TIOCM_RNG) != 0) {
        events |= EventRing;
    }
    return events;
}

bool LineRequestForEscape(int function, LineRequest& request) {
    switch (function) {
    case EscapeSetRts:
        request = {TIOCM_RTS, true};
        return true;
    case EscapeClearRts:
        request = {TIOCM_RTS, false};
        return true;
    case EscapeSetDtr:
        request = {TIOCM_DTR, true};
        return true;
    case EscapeClearDtr:
        request = {TIOCM_DTR, false};
        return true;
    default:
        return false;
    }
}

ErrorCode ReadModemLines(int fd, int& lines) {
    if (ioctl(fd, TIOCMGET, &lines) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    return ecOK;
}

ErrorCode ChangeModemLine(int fd, const LineRequest& request) {
    const int bits = request.line;
    if (ioctl(fd, request.raise ? TIOCMBIS : TIOCMBIC, &bits) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    return ecOK;
}

} // namespace apd
