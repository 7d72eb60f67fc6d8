#include "comm/device/PortName.h"

#include "comm/device/ErrnoTranslation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace apd {
namespace {

std::optional<std::string> Variable(const char* name) {
    if (const char* value = std::getenv(name)) {
        return std::string(value);
    }
    return std::nullopt;
}

ErrorCode Negated(const std::error_code& ec) {
    return ec.value() > 0 ? ErrorCodeFromErrno(ec.value(), ErrnoContext::Opening)
                          : SystemErrorCode(EIO);
}

} // namespace

bool IsPseudoTerminalMaster(int fd) {
    // Only a master has a slave to name.
    char slave[128] = {};
    return ::ptsname_r(fd, slave, sizeof slave) == 0;
}

PortNameEnvironment ProcessPortNameEnvironment() {
    PortNameEnvironment environment;
    environment.portDir = Variable("VORSILAN_PORT_DIR");
    environment.home = Variable("HOME");
    environment.linkExists = [](const std::string& path) {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0;
    };
    return environment;
}

ErrorCode PublishPortLink(std::string_view directory, unsigned n, std::string_view targetPath) {
    namespace fs = std::filesystem;
    if (n == 0 || directory.empty()) {
        return ecBadArgument;
    }
    std::error_code ec;
    const fs::path dir{std::string(directory)};
    fs::create_directories(dir, ec);
    if (ec) {
        return Negated(ec);
    }
    // A new link under a private name, then renamed over the old one, so that a reader
    // never finds COMn missing while it is being replaced.
    const std::string name = "COM" + std::to_string(n);
    const fs::path link = dir / name;
    const fs::path staging = dir / ("." + name + "." + std::to_string(::getpid()));
    fs::remove(staging, ec);
    fs::create_symlink(fs::path{std::string(targetPath)}, staging, ec);
    if (ec) {
        return Negated(ec);
    }
    fs::rename(staging, link, ec);
    if (ec) {
        std::error_code ignored;
        fs::remove(staging, ignored);
        return Negated(ec);
    }
    return ecOK;
}

} // namespace apd
