// The telephony dispatcher: its device is the handle it was created with.

#include "comm/threads/Tapi32Dispatcher.h"

namespace apd {

TApdTAPI32Dispatcher::TApdTAPI32Dispatcher(TApdBaseComponent* owner, std::intptr_t tapiHandle)
    : ThreadedDispatcher(owner), tapiHandle_(tapiHandle) {}

TApdTAPI32Dispatcher::~TApdTAPI32Dispatcher() {
    ShutDownDispatcher(); // the threads stop while this object is still whole
}

std::intptr_t TApdTAPI32Dispatcher::DeviceOpen(const std::string& /*name*/,
                                               std::uint32_t /*inSize*/,
                                               std::uint32_t /*outSize*/) {
    // The handle is handed over once: after the device closed it, its number may already
    // stand for another file of this process.
    if (tapiHandle_ == 0 || handleTaken_) {
        LastSystemError = -ecCommNotOpen;
        return ecCommNotOpen;
    }
    ClearDeviceLoss();
    if (const ErrorCode rc = Device.Adopt(tapiHandle_); rc != ecOK) {
        LastSystemError = -rc;
        (void)DeviceClose(); // as after any failed open; the handle was not taken
        return -1;
    }
    handleTaken_ = true;
    return tapiHandle_;
}

} // namespace apd
