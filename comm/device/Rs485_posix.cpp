// The kernel's RS-485 mode on Linux; other POSIX systems have no such call, and there a
// driver never has an RS-485 mode.

#include "comm/device/Rs485.h"

#include "comm/device/ErrnoTranslation.h"

#include <cerrno>

#if defined(__linux__)
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace apd {

#if defined(__linux__)

static_assert(Rs485Enabled == SER_RS485_ENABLED);
static_assert(Rs485RtsOnSend == SER_RS485_RTS_ON_SEND);
static_assert(Rs485RtsAfterSend == SER_RS485_RTS_AFTER_SEND);

namespace {

// What a driver without RS-485 support answers: the call is unknown to it (a
// pseudo-terminal), or its UART has no RS-485 configuration.
bool MeansNoRs485(int error) {
    return error == ENOTTY || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

ErrorCode Failure(int error) {
    return MeansNoRs485(error) ? ecNotSupported : ErrorCodeFromErrno(error);
}

int Read(int fd, serial_rs485& config) {
    return ioctl(fd, TIOCGRS485, &config) == 0 ? 0 : errno;
}

} // namespace

ErrorCode Rs485Available(int fd) {
    serial_rs485 config{};
    const int error = Read(fd, config);
    return error == 0 ? ecOK : Failure(error);
}

ErrorCode SetRs485Toggle(int fd, bool toggle) {
    serial_rs485 config{};
    if (const int error = Read(fd, config); error != 0) {
        return toggle ? Failure(error) : ecOK;
    }
    if (!toggle && (config.flags & Rs485Enabled) == 0) {
        return ecOK;
    }
    const std::uint32_t wanted = Rs485FlagsFor(config.flags, toggle);
    config.flags = wanted;
    // The kernel writes back what it made of the request.
    if (ioctl(fd, TIOCSRS485, &config) != 0) {
        return Failure(errno);
    }
    serial_rs485 held{};
    if (const int error = Read(fd, held); error != 0) {
        return Failure(error);
    }
    return Rs485FlagsHold(wanted, held.flags) ? ecOK : ecNotSupported;
}

#else

ErrorCode Rs485Available(int /*fd*/) {
    return ecNotSupported;
}

ErrorCode SetRs485Toggle(int /*fd*/, bool toggle) {
    return toggle ? ecNotSupported : ecOK;
}

#endif

} // namespace apd
