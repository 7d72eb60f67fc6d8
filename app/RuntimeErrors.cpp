#include "app/RuntimeErrors.h"

namespace vorsilan::app {

std::string InOutErrorText(int errorCode) {
    switch (errorCode) {
    case IoAccessDenied:
        return "File access denied";
    case IoDiskFull:
        return "Disk full";
    default:
        return "I/O error " + std::to_string(errorCode);
    }
}

EInOutError::EInOutError(int errorCode)
    : std::runtime_error(InOutErrorText(errorCode)), errorCode_(errorCode) {}

} // namespace vorsilan::app
