#include "tests/threads/HandedOverPort.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "comm/device/PortName.h"

namespace apd::test {

std::intptr_t OpenForHandover(const std::string& name) {
    return ::open(ResolvePortName(name).c_str(), O_RDWR | O_NOCTTY);
}

bool StillASerialDevice(std::intptr_t handle) {
    // Still a terminal under that number. A closed descriptor's number may since have gone
    // to another file of the process (a sanitizer's runtime, another thread): that is not
    // the port.
    if (::isatty(static_cast<int>(handle)) == 1) {
        return true;
    }
    return errno != EBADF && errno != ENOTTY; // any other failure cannot tell
}

} // namespace apd::test
