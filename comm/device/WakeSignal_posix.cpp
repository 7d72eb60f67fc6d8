#include "comm/device/WakeSignal.h"

#include "comm/device/ErrnoTranslation.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#if defined(__linux__)
#include <sys/eventfd.h>
#endif

namespace apd {

ErrorCode WakeSignal::Create() {
    Destroy();
#if defined(__linux__)
    const int fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (fd < 0) {
        return ErrorCodeFromErrno(errno);
    }
    read_.Reset(fd);
#else
    int fds[2];
    if (pipe(fds) != 0) {
        return ErrorCodeFromErrno(errno);
    }
    read_.Reset(fds[0]);
    write_.Reset(fds[1]);
    for (int fd : fds) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
#endif
    return ecOK;
}

void WakeSignal::Destroy() {
    read_.Reset();
    write_.Reset();
}

void WakeSignal::Signal() {
    const int fd = write_.Valid() ? write_.Get() : read_.Get();
    if (fd < 0) {
        return;
    }
    const std::uint64_t one = 1;
    // A full counter or pipe is already signalled; nothing is lost by a failed write.
    while (::write(fd, &one, write_.Valid() ? 1 : sizeof one) < 0 && errno == EINTR) {
    }
}

bool WakeSignal::Drain() {
    if (!read_.Valid()) {
        return false;
    }
    bool signalled = false;
    std::uint64_t buffer[8];
    for (;;) {
        const ssize_t n = ::read(read_.Get(), buffer, sizeof buffer);
        if (n > 0) {
            signalled = true;
            if (!write_.Valid()) {
                return true; // an eventfd read takes the whole counter
            }
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return signalled;
    }
}

} // namespace apd
