#include <windows.h>

#include "comm/dispatch/OsVersion.h"

namespace apd {

std::string OsVersionText() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996)
#elif defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    const BOOL known = GetVersionExA(&info);
#if defined(__GNUC__) && !defined(_MSC_VER)
#pragma GCC diagnostic pop
#endif
    if (!known) {
        return "Unknown";
    }
    std::string text;
    switch (info.dwPlatformId) {
    case 0:
        text = "Win32s on Windows ";
        break;
    case 1:
        text = "Win32 on Windows ";
        break;
    case 2:
        text = "Windows NT ";
        break;
    default:
        text = "Unknown";
        break;
    }
    text += std::to_string(info.dwMajorVersion);
    text += '.';
    text += std::to_string(info.dwMinorVersion);
    text += ' ';
    text += info.szCSDVersion;
    return text;
}

} // namespace apd
