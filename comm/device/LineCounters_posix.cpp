#include "comm/device/LineCounters.h"

#include "comm/device/ErrnoTranslation.h"

#include <cerrno>

#if defined(__linux__)
#include <linux/serial.h>
#include <sys/ioctl.h>
#endif

namespace apd {

ErrorCode ReadLineCounters(int fd, LineCounters& counters) {
#if defined(__linux__)
    serial_icounter_struct raw{};
    if (ioctl(fd, TIOCGICOUNT, &raw) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    auto u = [](int value) { return static_cast<std::uint32_t>(value); };
    counters.cts = u(raw.cts);
    counters.dsr = u(raw.dsr);
    counters.rng = u(raw.rng);
    counters.dcd = u(raw.dcd);
    counters.frame = u(raw.frame);
    counters.overrun = u(raw.overrun);
    counters.parity = u(raw.parity);
    counters.brk = u(raw.brk);
    counters.bufOverrun = u(raw.buf_overrun);
    return ecOK;
#else
    (void)fd;
    (void)counters;
    return ecNotSupported;
#endif
}

} // namespace apd
