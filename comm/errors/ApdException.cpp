#include "comm/errors/ApdException.h"

#include "comm/errors/ErrorMessageText.h"

#include <cstdint>
#include <limits>

namespace apd {

namespace {

std::string MessageForCode(apd::ErrorCode code) {
    // Message ids are 16-bit; a code whose magnitude does not fit names no message (rather
    // than the message of whatever id its low bits happen to give).
    if (code < std::numeric_limits<std::int16_t>::min() ||
        code > std::numeric_limits<std::int16_t>::max()) {
        return {};
    }
    return ErrorMessageText(static_cast<std::int16_t>(code));
}

} // namespace

EAPDException::EAPDException(apd::ErrorCode code) : Exception(MessageForCode(code)), code_(code) {}

EAPDException::EAPDException(const std::string& message) : Exception(message), code_(ecOK) {}

} // namespace apd
