#pragma once
// EAPDException, the root of the library's exception classes.

#include "comm/errors/ErrorCodes.h"
#include "comm/errors/Exception.h"

#include <string>

namespace apd {

class EAPDException : public Exception {
public:
    // ErrorCode() is the code itself and the message is the error table's text for the
    // code's magnitude (empty when the magnitude is no message id).
    explicit EAPDException(apd::ErrorCode code);
    // ErrorCode() is 0.
    explicit EAPDException(const std::string& message);
    explicit EAPDException(const char* message) : EAPDException(std::string(message)) {}

    apd::ErrorCode ErrorCode() const { return code_; }

private:
    apd::ErrorCode code_;
};

} // namespace apd
