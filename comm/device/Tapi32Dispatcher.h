#pragma once
// The serial dispatcher over a device that a telephony service has already opened and
// hands over as a handle. Without such a service on this platform only the open contract
// is kept: the handed-over handle is returned as the device handle, and a handle of 0
// fails with ecCommNotOpen ("ie_NOpen - device not open"). A handle cannot yet be
// adopted as the device itself, so the later operations of such an open fail as on a
// device that is not open. Everything else is TApdWin32Dispatcher's.

#include <cstdint>
#include <string>

#include "comm/device/Win32Dispatcher.h"

namespace apd {

class TApdTAPI32Dispatcher final : public TApdWin32Dispatcher {
public:
    TApdTAPI32Dispatcher(TApdBaseComponent* owner, std::intptr_t tapiHandle);
    ~TApdTAPI32Dispatcher() override;

    // Ignores the name and the sizes.
    std::intptr_t DeviceOpen(const std::string& name, std::uint32_t inSize,
                             std::uint32_t outSize) override;

    std::intptr_t TapiHandle() const { return tapiHandle_; }

private:
    const std::intptr_t tapiHandle_;
};

} // namespace apd
