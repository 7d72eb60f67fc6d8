// termios2 access for Linux. This file includes the kernel's <asm/termbits.h> and must
// never include <termios.h>: the two define the same names differently.
#if defined(__linux__)

#include "comm/device/TermiosAccess.h"

#include "comm/device/ErrnoTranslation.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>

namespace apd {
namespace {

struct StandardSpeed {
    std::uint32_t code;
    std::uint32_t rate;
};

// The kernel's speed codes; any other speed is set as BOTHER with the rate itself.
constexpr StandardSpeed StandardSpeeds[] = {
    {B50, 50},           {B75, 75},           {B110, 110},         {B134, 134},
    {B150, 150},         {B200, 200},         {B300, 300},         {B600, 600},
    {B1200, 1200},       {B1800, 1800},       {B2400, 2400},       {B4800, 4800},
    {B9600, 9600},       {B19200, 19200},     {B38400, 38400},     {B57600, 57600},
    {B115200, 115200},   {B230400, 230400},   {B460800, 460800},   {B500000, 500000},
    {B576000, 576000},   {B921600, 921600},   {B1000000, 1000000}, {B1152000, 1152000},
    {B1500000, 1500000}, {B2000000, 2000000}, {B2500000, 2500000}, {B3000000, 3000000},
    {B3500000, 3500000}, {B4000000, 4000000},
};

std::uint32_t SpeedOf(const termios2& t) {
    const std::uint32_t code = t.c_cflag & CBAUD;
    if (code == BOTHER) {
        return t.c_ospeed;
    }
    for (const StandardSpeed& s : StandardSpeeds) {
        if (s.code == code) {
            return s.rate;
        }
    }
    return t.c_ospeed;
}

std::uint32_t CodeFor(std::uint32_t rate) {
    for (const StandardSpeed& s : StandardSpeeds) {
        if (s.rate == rate) {
            return s.code;
        }
    }
    return BOTHER;
}

ErrorCode Get(int fd, termios2& t) {
    if (ioctl(fd, TCGETS2, &t) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    return ecOK;
}

} // namespace

ErrorCode ReadTermios(int fd, TermiosFields& fields) {
    termios2 t{};
    if (const ErrorCode rc = Get(fd, t); rc != ecOK) {
        return rc;
    }
    fields.iflag = t.c_iflag;
    fields.oflag = t.c_oflag;
    fields.cflag = t.c_cflag & ~static_cast<std::uint32_t>(CBAUD | CIBAUD);
    fields.lflag = t.c_lflag;
    fields.speed = SpeedOf(t);
    fields.vstart = t.c_cc[VSTART];
    fields.vstop = t.c_cc[VSTOP];
    fields.vmin = t.c_cc[VMIN];
    fields.vtime = t.c_cc[VTIME];
    return ecOK;
}

ErrorCode WriteTermios(int fd, const TermiosFields& fields) {
    termios2 t{};
    if (const ErrorCode rc = Get(fd, t); rc != ecOK) {
        return rc;
    }
    t.c_iflag = fields.iflag;
    t.c_oflag = fields.oflag;
    // The input speed follows the output speed (CIBAUD 0).
    t.c_cflag =
        (fields.cflag & ~static_cast<std::uint32_t>(CBAUD | CIBAUD)) | CodeFor(fields.speed);
    t.c_lflag = fields.lflag;
    t.c_ispeed = fields.speed;
    t.c_ospeed = fields.speed;
    t.c_cc[VSTART] = fields.vstart;
    t.c_cc[VSTOP] = fields.vstop;
    t.c_cc[VMIN] = fields.vmin;
    t.c_cc[VTIME] = fields.vtime;
    while (ioctl(fd, TCSETS2, &t) != 0) {
        if (errno != EINTR) {
            return ErrorCodeFromErrno(errno);
        }
    }
    return ecOK;
}

ErrorCode DiscardTerminalQueue(int fd, TerminalQueue queue) {
    const int which = queue == TerminalQueue::Input ? TCIFLUSH : TCOFLUSH;
    if (ioctl(fd, TCFLSH, which) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    return ecOK;
}

} // namespace apd

#endif
