#include "comm/errors/RuntimeErrors.h"

namespace apd {

std::string InOutErrorText(int errorNumber) {
    switch (errorNumber) {
    case IoAccessDenied:
        return "File access denied";
    case IoDiskFull:
        return "Disk full";
    default:
        return "I/O error " + std::to_string(errorNumber);
    }
}

} // namespace apd
