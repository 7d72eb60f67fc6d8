#include "comm/device/Tapi32Dispatcher.h"

namespace apd {

TApdTAPI32Dispatcher::TApdTAPI32Dispatcher(TApdBaseComponent* owner, std::intptr_t tapiHandle)
    : TApdWin32Dispatcher(owner), tapiHandle_(tapiHandle) {}

TApdTAPI32Dispatcher::~TApdTAPI32Dispatcher() {
    ShutDownDispatcher(); // the threads stop while this object is still whole
}

std::intptr_t TApdTAPI32Dispatcher::DeviceOpen(const std::string& /*name*/,
                                               std::uint32_t /*inSize*/,
                                               std::uint32_t /*outSize*/) {
    if (tapiHandle_ == 0) {
        LastSystemError = -ecCommNotOpen;
        return ecCommNotOpen;
    }
    return tapiHandle_;
}

} // namespace apd
