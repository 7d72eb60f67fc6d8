#include "comm/errors/Utf8Text.h"

#include <cstdint>

namespace apd {

namespace {

constexpr char32_t replacementCharacter = 0xFFFD;

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t c) {
    const auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
    if (c < 0x80) {
        put(c);
    } else if (c < 0x800) {
        put(0xC0 | (c >> 6));
        put(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        put(0xE0 | (c >> 12));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    } else {
        put(0xF0 | (c >> 18));
        put(0x80 | ((c >> 12) & 0x3F));
        put(0x80 | ((c >> 6) & 0x3F));
        put(0x80 | (c & 0x3F));
    }
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

std::string Utf8FromUtf16Le(std::span<const std::byte> utf16le) {
    const std::size_t units = utf16le.size() / 2;
    const auto unitAt = [&utf16le](std::size_t i) {
        return static_cast<char32_t>(std::to_integer<unsigned>(utf16le[2 * i]) |
                                     std::to_integer<unsigned>(utf16le[2 * i + 1]) << 8);
    };
    std::string out;
    out.reserve(units);
    for (std::size_t i = 0; i < units; ++i) {
        const char32_t unit = unitAt(i);
        if (IsHighSurrogate(unit) && i + 1 < units && IsLowSurrogate(unitAt(i + 1))) {
            AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            AppendUtf8(out, replacementCharacter);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}

void CutUtf8Text(std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return;
    }
    std::size_t length = maxBytes;
    // Back off to the start of the character that straddles the limit.
    while (length > 0 && IsContinuationByte(text[length])) {
        --length;
    }
    text.resize(length);
}

} // namespace apd
