// The close's wait for written bytes to leave: the output ring, which the output thread
// empties, and then the driver's own queue.

#include <chrono>
#include <thread>

#include "comm/dispatch/LineArithmetic.h"
#include "comm/threads/OutputRing.h"
#include "comm/threads/ThreadedDispatcher.h"

namespace apd {

namespace {
// How often the queues are looked at while the bytes leave; the wait is short and rare
// (once per close), and the driver's queue gives no notice of becoming empty.
constexpr auto DrainPollInterval = std::chrono::milliseconds(1);
} // namespace

std::int64_t ThreadedDispatcher::QueuedForOutput() {
    std::int64_t ring = 0;
    {
        LockHold output(OutputLock);
        if (OutputBuffer) {
            ring = OutputRingCount(OutQueueSize, OutputHead, OutputTail, OutputBufferFull);
        }
    }
    if (ring != 0 && OutputWorker == nullptr) {
        return -1; // no output thread sends the ring any more
    }
    const std::int32_t driver = Device.OutputQueued();
    if (driver < 0) {
        return -1;
    }
    return ring + driver;
}

bool ThreadedDispatcher::DeviceDrainOutput(std::uint32_t characterMicros) {
    if (DeviceLostFlag || Device.IsLost()) {
        return false;
    }
    std::int64_t pending = QueuedForOutput();
    if (pending <= 0) {
        return pending == 0;
    }
    // The bound follows from what is pending now; a line held by flow control ends it.
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(CloseDrainBoundMs(
                              static_cast<std::uint64_t>(pending), characterMicros));
    for (;;) {
        std::this_thread::sleep_for(DrainPollInterval);
        pending = QueuedForOutput();
        if (pending <= 0) {
            return pending == 0;
        }
        if (std::chrono::steady_clock::now() >= deadline || DeviceLostFlag) {
            return false;
        }
    }
}

} // namespace apd
