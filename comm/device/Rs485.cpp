#include "comm/device/Rs485.h"

namespace apd {

namespace {
constexpr std::uint32_t RtsBehaviour = Rs485Enabled | Rs485RtsOnSend | Rs485RtsAfterSend;
} // namespace

std::uint32_t Rs485FlagsFor(std::uint32_t current, bool toggle) {
    if (!toggle) {
        return current & ~Rs485Enabled;
    }
    return (current | Rs485Enabled | Rs485RtsOnSend) & ~Rs485RtsAfterSend;
}

bool Rs485FlagsHold(std::uint32_t wanted, std::uint32_t actual) {
    return (wanted & RtsBehaviour) == (actual & RtsBehaviour);
}

} // namespace apd
