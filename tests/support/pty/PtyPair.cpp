#include "tests/support/pty/PtyPair.h"

#include "comm/device/PortName.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace apd::test {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void Throw(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd, const char* what) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        Throw(what);
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(fd, TCSANOW, &t) != 0) {
        Throw(what);
    }
}

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

PtyPair::PtyPair() {
    far_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (far_ < 0) {
        Throw("posix_openpt");
    }
    char name[128];
    if (::grantpt(far_) != 0 || ::unlockpt(far_) != 0 ||
        ::ptsname_r(far_, name, sizeof name) != 0) {
        const int error = errno;
        ::close(far_);
        throw std::system_error(error, std::generic_category(), "pty slave");
    }
    devicePath_ = name;
    keeper_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (keeper_ < 0) {
        const int error = errno;
        ::close(far_);
        throw std::system_error(error, std::generic_category(), "open pty slave");
    }
    try {
        MakeRaw(far_, "raw far end");
        MakeRaw(keeper_, "raw device end");
    } catch (...) {
        ::close(keeper_);
        ::close(far_);
        throw;
    }
}

PtyPair::~PtyPair() {
    CloseFar();
    if (keeper_ >= 0) {
        ::close(keeper_);
    }
}

std::string PtyPair::PublishAsCom(unsigned n) {
    if (!portDir_) {
        portDir_ = std::make_unique<ScopedPortDir>();
    }
    if (const ErrorCode rc = PublishPortLink(portDir_->Path(), n, devicePath_); rc != ecOK) {
        throw std::system_error(-rc, std::generic_category(), "publish port link");
    }
    return "\\\\.\\COM" + std::to_string(n);
}

std::string PtyPair::PortDir() const {
    return portDir_ ? portDir_->Path() : std::string();
}

std::size_t PtyPair::WriteFar(const void* bytes, std::size_t size,
                              std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    std::size_t done = 0;
    while (done < size && far_ >= 0) {
        const ssize_t n = ::write(far_, p + done, size - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN) {
            break;
        }
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            break;
        }
        pollfd fd{far_, POLLOUT, 0};
        ::poll(&fd, 1, left);
    }
    return done;
}

std::size_t PtyPair::WriteFar(std::string_view bytes, std::chrono::milliseconds within) {
    return WriteFar(bytes.data(), bytes.size(), within);
}

std::vector<std::uint8_t> PtyPair::ReadFar(std::size_t count, std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    std::vector<std::uint8_t> data;
    std::uint8_t buffer[4096];
    while (data.size() < count && far_ >= 0) {
        const std::size_t want = std::min(sizeof buffer, count - data.size());
        const ssize_t n = ::read(far_, buffer, want);
        if (n > 0) {
            data.insert(data.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno != EAGAIN) {
            break;
        }
        const int left = MillisecondsLeft(deadline);
        if (left == 0) {
            break;
        }
        pollfd fd{far_, POLLIN, 0};
        ::poll(&fd, 1, left);
    }
    return data;
}

std::vector<std::uint8_t> PtyPair::ReadFarUntilQuiet(std::chrono::milliseconds quiet) {
    std::vector<std::uint8_t> data;
    std::uint8_t buffer[4096];
    while (far_ >= 0) {
        pollfd fd{far_, POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(quiet.count())) <= 0 || (fd.revents & POLLIN) == 0) {
            break;
        }
        const ssize_t n = ::read(far_, buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        data.insert(data.end(), buffer, buffer + n);
    }
    return data;
}

void PtyPair::CloseFar() {
    if (far_ >= 0) {
        ::close(far_);
        far_ = -1;
    }
}

} // namespace apd::test
