#pragma once
// Strict conversion of text to a 32-bit integer, as the runtime's integer conversion does
// for the program's input fields.

#include "comm/errors/Exception.h"

#include <cstdint>
#include <string_view>

namespace apd {

// Text that is not a valid integer: "'<text>' is not a valid integer value".
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// The value of text: an optional '+' or '-' followed by one or more decimal digits and
// nothing else (no spaces), within the 32-bit signed range. Anything else raises
// EConvertError.
std::int32_t StrToInt(std::string_view text);

} // namespace apd
