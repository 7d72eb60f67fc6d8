#pragma once
// The runtime's input/output error, raised when a file operation fails: its text is the one
// the application's error report shows ("File access denied", "Disk full", "I/O error %d").

#include <stdexcept>
#include <string>

namespace vorsilan::app {

inline constexpr int IoAccessDenied = 5;
inline constexpr int IoDiskFull = 101;

class EInOutError : public std::runtime_error {
public:
    explicit EInOutError(int errorCode);
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

// The message of an input/output error code.
std::string InOutErrorText(int errorCode);

} // namespace vorsilan::app
