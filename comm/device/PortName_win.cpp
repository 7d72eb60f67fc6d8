// On Windows a port's name is the device's own ("\\.\COMn"): no links are looked up, and
// none can be published.

#include "comm/device/PortName.h"

#include <cstdlib>

namespace apd {

PortNameEnvironment ProcessPortNameEnvironment() {
    PortNameEnvironment environment;
    if (const char* dir = std::getenv("VORSILAN_PORT_DIR")) {
        environment.portDir = std::string(dir);
    }
    if (const char* home = std::getenv("USERPROFILE")) {
        environment.home = std::string(home);
    }
    environment.linkExists = [](const std::string&) { return false; };
    return environment;
}

ErrorCode PublishPortLink(std::string_view /*directory*/, unsigned /*n*/,
                          std::string_view /*targetPath*/) {
    return ecNotSupported;
}

} // namespace apd
