#pragma once
// Bounded waits of the GUI thread for bytes from the port. While it waits the window is
// repainted and timers run; user input waits until the wait is over.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <exception>

namespace apd {
class TApdComPort;
}

namespace vorsilan::app {

// Looks at the buffer this far apart at first and grows to the longest pause, so that a
// prompt byte is taken at once and a silent line costs next to no CPU.
struct PollPauses {
    std::chrono::microseconds first{50};
    std::chrono::microseconds longest{2000};
};

// True when the port is open and its device has gone away (unplugged, the far end closed):
// nothing more will arrive until the port is reopened.
bool DeviceLost(apd::TApdComPort& port);

// True for the library's report of a device that went away.
bool IsDeviceLoss(std::exception_ptr error);

// Waits until `count` received bytes wait unread. False when the bound passed first, the
// port is not open or its device has gone away (what the device delivered before counts).
bool WaitForWaitingBytes(apd::TApdComPort& port, std::uint32_t count,
                         std::chrono::steady_clock::duration bound, PollPauses pauses);

// The time `bytes` characters take on the port's line at its speed and framing (start
// bit, data bits, parity, stop bits).
std::chrono::microseconds LineTime(const apd::TApdComPort& port, std::size_t bytes);

} // namespace vorsilan::app
