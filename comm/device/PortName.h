#pragma once
// From the name the port component forms ("\\.\COMn") to a device path.
//
// The rule, for "\\.\COMn" or "COMn" (any letter case, n from 1):
//   1. the link <dir>/COMn, where <dir> is $VORSILAN_PORT_DIR when that is set and not
//      empty, else $HOME/.vorsilan/ports;
//   2. when there is no such link, the link /etc/vorsilan/ports/COMn;
//   3. when there is none either, the Linux convention /dev/ttyS<n-1>.
// A link that exists is taken even when its target has gone (a closed pseudo-terminal):
// the open then fails as a missing device instead of reaching some other port.
// Any other name is a path and is used as it is.
//
// So pointing COM7 at a USB adapter, a simulator or a test's pseudo-terminal needs a link,
// never a code change: ln -s /dev/ttyUSB0 ~/.vorsilan/ports/COM7.

#include "comm/errors/ErrorCodes.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace apd {

// n for "\\.\COMn" or "COMn"; 0 for any other name.
unsigned ComPortNumber(std::string_view name);

// What the rule looks at; the process's own is ProcessPortNameEnvironment().
struct PortNameEnvironment {
    std::optional<std::string> portDir; // $VORSILAN_PORT_DIR
    std::optional<std::string> home;    // $HOME
    std::string systemDir = "/etc/vorsilan/ports";
    std::function<bool(const std::string& path)> linkExists; // true for a dangling link too
};

// ecBadArgument for a name holding a NUL character (the system would open only the part
// before it), else ecOK. Open refuses such a name before resolving it.
ErrorCode CheckPortName(std::string_view name);

// POSIX: whether the open descriptor is a pseudo-terminal's master side, as /dev/ptmx or
// /dev/pts/ptmx open (each open makes a new pair); no serial port is one. Open and Adopt
// refuse it with ecBadId.
bool IsPseudoTerminalMaster(int fd);

std::string ResolvePortName(std::string_view name, const PortNameEnvironment& environment);
std::string ResolvePortName(std::string_view name);

PortNameEnvironment ProcessPortNameEnvironment();

// The directory of step 1 for the process's environment; empty when neither variable is
// set.
std::string UserPortDirectory();

// Points COMn at targetPath by a link in `directory` (created as needed), replacing any
// link there. 0, ecBadArgument for n 0 or no directory, or the code ErrorCodeFromErrno
// (ErrnoTranslation.h) gives for the system's error.
ErrorCode PublishPortLink(std::string_view directory, unsigned n, std::string_view targetPath);
// The same in UserPortDirectory().
ErrorCode PublishPortLink(unsigned n, std::string_view targetPath);

} // namespace apd
