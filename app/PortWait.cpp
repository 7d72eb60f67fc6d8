#include "app/PortWait.h"

#include "comm/errors/ExceptionClasses.h"
#include "comm/port/ComPort.h"
#include "comm/threads/ThreadedDispatcher.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <thread>

namespace vorsilan::app {

bool DeviceLost(apd::TApdComPort& port) {
    if (!port.Open()) {
        return false;
    }
    const auto* device = dynamic_cast<const apd::TApdWin32Dispatcher*>(port.Dispatcher());
    return device != nullptr && device->DeviceLost();
}

bool IsDeviceLoss(std::exception_ptr error) {
    try {
        std::rethrow_exception(std::move(error));
    } catch (const apd::EDeviceLost&) {
        return true;
    } catch (...) {
        return false;
    }
}

bool WaitForWaitingBytes(apd::TApdComPort& port, std::uint32_t count,
                         std::chrono::steady_clock::duration bound, PollPauses pauses) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    std::chrono::microseconds pause = pauses.first;
    for (;;) {
        if (!port.Open()) {
            return false;
        }
        if (port.InBuffUsed() >= count) {
            return true;
        }
        if (DeviceLost(port)) {
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, pauses.longest);
    }
}

std::chrono::microseconds LineTime(const apd::TApdComPort& port, std::size_t bytes) {
    const std::int64_t baud = std::max<std::int64_t>(port.Baud(), 1);
    const std::int64_t bits =
        1 + port.DataBits() + (port.Parity() == apd::pNone ? 0 : 1) + port.StopBits();
    return std::chrono::microseconds(static_cast<std::int64_t>(bytes) * bits * 1'000'000 / baud);
}

} // namespace vorsilan::app
