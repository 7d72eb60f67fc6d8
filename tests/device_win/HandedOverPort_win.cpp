#include "tests/threads/HandedOverPort.h"

#include <windows.h>

namespace apd::test {

std::intptr_t OpenForHandover(const std::string& name) {
    HANDLE h = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(h);
}

// Asks for the serial state rather than whether the handle is valid: Wine hands a freed
// handle number to the next handle made (the threads' events, the far end's sockets).
bool StillASerialDevice(std::intptr_t handle) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return ::GetCommState(reinterpret_cast<HANDLE>(handle), &dcb) != 0;
}

} // namespace apd::test
