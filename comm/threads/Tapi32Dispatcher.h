#pragma once
// The serial dispatcher over a device that a telephony service has already opened and
// hands over as a handle (a terminal's file descriptor on POSIX, a HANDLE opened for
// overlapped I/O on Windows). DeviceOpen ignores the name and the sizes and adopts that
// handle as the device (SerialDevice::Adopt); from then on every operation is
// ThreadedDispatcher's, and DeviceClose closes the handed-over handle.

#include <atomic>
#include <cstdint>
#include <string>

#include "comm/threads/ThreadedDispatcher.h"

namespace apd {

class TApdTAPI32Dispatcher final : public ThreadedDispatcher {
public:
    TApdTAPI32Dispatcher(TApdBaseComponent* owner, std::intptr_t tapiHandle);
    ~TApdTAPI32Dispatcher() override;

    // Adopts the handed-over handle and returns it. A handle of 0 fails with
    // ecCommNotOpen ("ie_NOpen - device not open") and LastSystemError 2007, and so does
    // every open after one that succeeded: the handle is adopted once. A handle the
    // device cannot adopt gives -1 with the reason in LastSystemError (for instance 1001,
    // ecBadHandle negated, for a handle that is not open); it then stays open and the
    // telephony service's, which closes it as it closes its call.
    std::intptr_t DeviceOpen(const std::string& name, std::uint32_t inSize,
                             std::uint32_t outSize) override;

    std::intptr_t TapiHandle() const { return tapiHandle_; }

private:
    const std::intptr_t tapiHandle_;
    std::atomic<bool> handleTaken_{false};
};

} // namespace apd
