#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "comm/dispatch/DumpFile.h"

namespace apd::dumpfile {

OpenResult OpenForWriting(const std::string& name, bool append) {
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    OpenResult result;
    int fd = -1;
    do {
        fd = ::open(name.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        result.error = SystemErrorCode(errno);
        return result;
    }
    struct stat info {};
    if (append && ::fstat(fd, &info) == 0) {
        result.hadContent = info.st_size > 0;
    }
    result.handle = fd;
    return result;
}

ErrorCode WriteAll(std::intptr_t handle, const char* data, std::size_t size) {
    const int fd = static_cast<int>(handle);
    while (size != 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return SystemErrorCode(errno);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return ecOK;
}

ErrorCode CloseFile(std::intptr_t handle) {
    // The descriptor is released even when close reports an error; it is not retried.
    return ::close(static_cast<int>(handle)) == 0 ? ecOK : SystemErrorCode(errno);
}

} // namespace apd::dumpfile
