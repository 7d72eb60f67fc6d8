#include "comm/errors/SystemMessage.h"

#include <windows.h>

namespace apd {

std::string SystemMessageText(std::uint32_t id) {
    char buffer[255];
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, id, 0 /* default language */, buffer,
                                        static_cast<DWORD>(sizeof buffer), nullptr);
    return std::string(buffer, length);
}

} // namespace apd
