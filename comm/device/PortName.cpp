#include "comm/device/PortName.h"

#include <cctype>

namespace apd {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) {
            return false;
        }
    }
    return true;
}

std::string UserDirectoryFrom(const PortNameEnvironment& environment) {
    if (environment.portDir && !environment.portDir->empty()) {
        return *environment.portDir;
    }
    if (environment.home && !environment.home->empty()) {
        return *environment.home + "/.vorsilan/ports";
    }
    return {};
}

} // namespace

ErrorCode CheckPortName(std::string_view name) {
    return name.find('\0') == std::string_view::npos ? ecOK : ecBadArgument;
}

unsigned ComPortNumber(std::string_view name) {
    if (StartsWithNoCase(name, "\\\\.\\")) {
        name.remove_prefix(4);
    }
    if (!StartsWithNoCase(name, "COM")) {
        return 0;
    }
    name.remove_prefix(3);
    if (name.empty() || name.size() > 5) {
        return 0;
    }
    unsigned n = 0;
    for (char c : name) {
        if (c < '0' || c > '9') {
            return 0;
        }
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n;
}

std::string ResolvePortName(std::string_view name, const PortNameEnvironment& environment) {
    const unsigned n = ComPortNumber(name);
    if (n == 0) {
        return std::string(name);
    }
    const std::string link = "COM" + std::to_string(n);
    auto exists = [&](const std::string& path) {
        return environment.linkExists && environment.linkExists(path);
    };
    if (const std::string dir = UserDirectoryFrom(environment); !dir.empty()) {
        if (std::string path = dir + "/" + link; exists(path)) {
            return path;
        }
    }
    if (!environment.systemDir.empty()) {
        if (std::string path = environment.systemDir + "/" + link; exists(path)) {
            return path;
        }
    }
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::string ResolvePortName(std::string_view name) {
    return ResolvePortName(name, ProcessPortNameEnvironment());
}

std::string UserPortDirectory() {
    return UserDirectoryFrom(ProcessPortNameEnvironment());
}

ErrorCode PublishPortLink(unsigned n, std::string_view targetPath) {
    return PublishPortLink(UserPortDirectory(), n, targetPath);
}

} // namespace apd
