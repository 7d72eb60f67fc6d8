#pragma once
// Reading and writing a terminal device's termios fields, and discarding its queues.
// On Linux this goes through termios2 (TCGETS2/TCSETS2 with BOTHER), which carries any
// speed, not only the standard ones; elsewhere through the C library's termios calls.
// Results are 0 or the code ErrorCodeFromErrno (ErrnoTranslation.h) gives for errno.

#include "comm/device/TermiosFields.h"
#include "comm/errors/ErrorCodes.h"

namespace apd {

ErrorCode ReadTermios(int fd, TermiosFields& fields);

// Applies the fields, keeping every control character other than VSTART, VSTOP, VMIN and
// VTIME as the device has it. A success only means the driver took the request; read the
// fields back to learn what it holds.
ErrorCode WriteTermios(int fd, const TermiosFields& fields);

enum class TerminalQueue { Input, Output };

ErrorCode DiscardTerminalQueue(int fd, TerminalQueue queue);

} // namespace apd
