#pragma once
// Exceptions of the language runtime that the library raises besides its own tree.

#include "comm/errors/Exception.h"

#include <string>

namespace apd {

// A file or device input/output failure, with the operating system's or runtime's error
// number. Not part of the EAPDException tree.
class EInOutError : public Exception {
public:
    EInOutError(const std::string& message, int errorNumber)
        : Exception(message), errorNumber_(errorNumber) {}

    int ErrorCode() const { return errorNumber_; }

private:
    int errorNumber_;
};

} // namespace apd
