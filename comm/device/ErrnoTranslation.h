#pragma once
// The library's codes for the operating system's error numbers (errno values), in one
// table: every failure the POSIX device layer returns goes through it.

#include "comm/errors/ErrorCodes.h"

namespace apd {

// When the error arose: while opening (or adopting) a device, or on a device already open.
// The same number can mean different things: EIO at open is a port node with no hardware
// behind it (a missing port), on an open device a device that went away.
enum class ErrnoContext { Opening, OpenDevice };

// The library's code of the same meaning as `error`:
// - ENOENT, ENOTDIR: ecFileNotFound; at open also EIO, ENXIO, ENODEV;
// - EACCES, EPERM: ecAccessDenied (permission denied);
// - at open EBUSY (held with TIOCEXCL) and EWOULDBLOCK (flock held): ecAlreadyOpen;
// - on an open device EIO, ENXIO, ENODEV: ecDeviceLost;
// - ENOMEM: ecOutOfMemory; EINVAL: ecBadArgument; EMFILE, ENFILE: ecNoHandles;
// - ENOTTY, EOPNOTSUPP: ecNotSupported (the driver has no such request);
// - any other number: SystemErrorCode(error), which keeps the system's own text.
ErrorCode ErrorCodeFromErrno(int error, ErrnoContext context = ErrnoContext::OpenDevice);

} // namespace apd
