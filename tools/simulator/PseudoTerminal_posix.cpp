#include "tools/simulator/PseudoTerminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <system_error>

namespace vorsilan::sim {
namespace {

[[noreturn]] void ThrowErrno(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
}

void MakeRaw(int fd, const char* what) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        ThrowErrno(what);
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&t, B115200);
    ::cfsetospeed(&t, B115200);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        ThrowErrno(what);
    }
}

} // namespace

PseudoTerminal::PseudoTerminal() {
    master_.Reset(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!master_.Valid()) {
        ThrowErrno("posix_openpt");
    }
    char name[128];
    if (::grantpt(master_.Get()) != 0 || ::unlockpt(master_.Get()) != 0 ||
        ::ptsname_r(master_.Get(), name, sizeof name) != 0) {
        ThrowErrno("pseudo-terminal slave");
    }
    slavePath_ = name;
    keeper_.Reset(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!keeper_.Valid()) {
        ThrowErrno("open pseudo-terminal slave");
    }
    MakeRaw(master_.Get(), "raw mode of the master");
    MakeRaw(keeper_.Get(), "raw mode of the slave");
}

int PseudoTerminal::Unread() const {
    int queued = 0;
    if (!keeper_.Valid() || ::ioctl(keeper_.Get(), FIONREAD, &queued) != 0) {
        return 0;
    }
    return queued;
}

void PseudoTerminal::Close() {
    keeper_.Reset();
    master_.Reset();
}

} // namespace vorsilan::sim
