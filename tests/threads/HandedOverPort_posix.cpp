#include "tests/threads/HandedOverPort.h"

#include <fcntl.h>

#include <cerrno>

#include "comm/device/PortName.h"

namespace apd::test {

std::intptr_t OpenForHandover(const std::string& name) {
    return ::open(ResolvePortName(name).c_str(), O_RDWR | O_NOCTTY);
}

bool StillASerialDevice(std::intptr_t handle) {
    // Any open file counts: a closed descriptor is what is asked for.
    return ::fcntl(static_cast<int>(handle), F_GETFD) != -1 || errno != EBADF;
}

} // namespace apd::test
