#pragma once
// Exceptions of the language runtime that the library raises besides its own tree.

#include "comm/errors/Exception.h"

#include <string>

namespace apd {

// The runtime's error numbers of the two file failures a program names: a file it may not
// write (also a folder or a read-only medium) and a full disk.
inline constexpr int IoAccessDenied = 5;
inline constexpr int IoDiskFull = 101;

// The runtime's text of an input/output error number: "File access denied", "Disk full",
// and "I/O error <n>" for any other number.
std::string InOutErrorText(int errorNumber);

// A file or device input/output failure, with the operating system's or runtime's error
// number. Not part of the EAPDException tree.
class EInOutError : public Exception {
public:
    EInOutError(const std::string& message, int errorNumber)
        : Exception(message), errorNumber_(errorNumber) {}
    // A runtime file failure: the message is InOutErrorText of the number.
    explicit EInOutError(int errorNumber) : EInOutError(InOutErrorText(errorNumber), errorNumber) {}

    int ErrorCode() const { return errorNumber_; }

private:
    int errorNumber_;
};

} // namespace apd
