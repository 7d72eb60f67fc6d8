#include "comm/errors/NarrowText.h"

#include "comm/errors/Utf8Text.h"

namespace apd {

std::string NarrowFromUtf16Le(std::span<const std::byte> utf16le) {
    return Utf8FromUtf16Le(utf16le);
}

void CutNarrowText(std::string& text, std::size_t maxBytes) {
    CutUtf8Text(text, maxBytes);
}

} // namespace apd
