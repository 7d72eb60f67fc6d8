#include "comm/device/ErrnoTranslation.h"

#include <cerrno>
#include <iterator>

namespace apd {
namespace {

struct Translation {
    int error;
    ErrorCode opening;    // while opening or adopting a device
    ErrorCode openDevice; // on a device already open; 0: the system's own code
};

constexpr Translation translations[] = {
    {ENOENT, ecFileNotFound, ecFileNotFound},
    {ENOTDIR, ecFileNotFound, ecFileNotFound},
    // A port node without hardware behind it at open; gone from under an open device.
    {EIO, ecFileNotFound, ecDeviceLost},
    {ENXIO, ecFileNotFound, ecDeviceLost},
    {ENODEV, ecFileNotFound, ecDeviceLost},
    {EACCES, ecAccessDenied, ecAccessDenied},
    {EPERM, ecAccessDenied, ecAccessDenied},
    // Another holds the port: TIOCEXCL gives EBUSY, a held flock EWOULDBLOCK.
    {EBUSY, ecAlreadyOpen, 0},
    {EWOULDBLOCK, ecAlreadyOpen, 0},
    {ENOMEM, ecOutOfMemory, ecOutOfMemory},
    {EINVAL, ecBadArgument, ecBadArgument},
    {EMFILE, ecNoHandles, ecNoHandles},
    {ENFILE, ecNoHandles, ecNoHandles},
    {ENOTTY, ecNotSupported, ecNotSupported},
    {EOPNOTSUPP, ecNotSupported, ecNotSupported},
};

} // namespace

ErrorCode ErrorCodeFromErrno(int error, ErrnoContext context) {
    for (const Translation& t : translations) {
        if (t.error == error) {
            const ErrorCode code = context == ErrnoContext::Opening ? t.opening : t.openDevice;
            if (code != 0) {
                return code;
            }
            break;
        }
    }
    return SystemErrorCode(error);
}

} // namespace apd
