#include "comm/errors/NarrowText.h"

#include <windows.h>

#include <climits>
#include <cstring>

namespace apd {

std::string NarrowFromUtf16Le(std::span<const std::byte> utf16le) {
    // The resource bytes need not be aligned for wchar_t: convert from an aligned copy.
    std::wstring wide(utf16le.size() / sizeof(wchar_t), L'\0');
    if (wide.empty() || wide.size() > INT_MAX) {
        return {};
    }
    std::memcpy(wide.data(), utf16le.data(), wide.size() * sizeof(wchar_t));
    const int units = static_cast<int>(wide.size());
    const int bytes =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    const int written =
        WideCharToMultiByte(CP_ACP, 0, wide.data(), units, narrow.data(), bytes, nullptr, nullptr);
    narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return narrow;
}

void CutNarrowText(std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return;
    }
    std::size_t length = 0;
    // Step by characters so that a double-byte character is never split.
    while (length < text.size()) {
        const std::size_t next = length + (IsDBCSLeadByte(static_cast<BYTE>(text[length])) ? 2 : 1);
        if (next > maxBytes) {
            break;
        }
        length = next;
    }
    text.resize(length);
}

} // namespace apd
