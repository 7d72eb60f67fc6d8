#pragma once
// A serial port opened the way a telephony service opens the line it hands over: a
// terminal's descriptor on POSIX, a HANDLE opened for overlapped I/O on Windows.

#include <cstdint>
#include <string>

namespace apd::test {

// Opens the port `name` ("\\.\COMn"); -1 when it cannot be opened.
std::intptr_t OpenForHandover(const std::string& name);
// Whether `handle` may still stand for the port: on POSIX whether the descriptor is still
// a terminal, on Windows whether it still answers as a serial device.
bool StillASerialDevice(std::intptr_t handle);

} // namespace apd::test
