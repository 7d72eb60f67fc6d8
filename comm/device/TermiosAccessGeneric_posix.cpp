// termios access through the C library, for POSIX systems other than Linux. Only the
// speeds the system has codes for can be set there.
#if !defined(__linux__)

#include "comm/device/TermiosAccess.h"

#include "comm/device/ErrnoTranslation.h"

#include <termios.h>

#include <cerrno>
#include <cstdint>

namespace apd {

ErrorCode ReadTermios(int fd, TermiosFields& fields) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    fields.iflag = static_cast<std::uint32_t>(t.c_iflag);
    fields.oflag = static_cast<std::uint32_t>(t.c_oflag);
    fields.cflag = static_cast<std::uint32_t>(t.c_cflag);
    fields.lflag = static_cast<std::uint32_t>(t.c_lflag);
    fields.speed = static_cast<std::uint32_t>(cfgetospeed(&t));
    fields.vstart = t.c_cc[VSTART];
    fields.vstop = t.c_cc[VSTOP];
    fields.vmin = t.c_cc[VMIN];
    fields.vtime = t.c_cc[VTIME];
    return ecOK;
}

ErrorCode WriteTermios(int fd, const TermiosFields& fields) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    t.c_iflag = fields.iflag;
    t.c_oflag = fields.oflag;
    t.c_cflag = fields.cflag;
    t.c_lflag = fields.lflag;
    t.c_cc[VSTART] = fields.vstart;
    t.c_cc[VSTOP] = fields.vstop;
    t.c_cc[VMIN] = fields.vmin;
    t.c_cc[VTIME] = fields.vtime;
    // On these systems the speed constants are the rates themselves.
    if (cfsetspeed(&t, static_cast<speed_t>(fields.speed)) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    while (tcsetattr(fd, TCSANOW, &t) != 0) {
        if (errno != EINTR) {
            return ErrorCodeFromErrno(errno);
        }
    }
    return ecOK;
}

ErrorCode DiscardTerminalQueue(int fd, TerminalQueue queue) {
    if (tcflush(fd, queue == TerminalQueue::Input ? TCIFLUSH : TCOFLUSH) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    return ecOK;
}

} // namespace apd

#endif
