#include "comm/dispatch/DumpText.h"

namespace apd {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

RenderedByte Bracketed(std::uint8_t b, bool hex) {
    RenderedByte out;
    char* p = out.Text;
    *p++ = '[';
    if (hex) {
        *p++ = HexDigits[b >> 4];
        *p++ = HexDigits[b & 15];
    } else {
        if (b >= 100) {
            *p++ = static_cast<char>('0' + b / 100);
        }
        if (b >= 10) {
            *p++ = static_cast<char>('0' + b / 10 % 10);
        }
        *p++ = static_cast<char>('0' + b % 10);
    }
    *p++ = ']';
    out.Width = static_cast<std::uint8_t>(p - out.Text);
    return out;
}

} // namespace

void DumpLineWriter::Write(std::string_view text) {
    if (text.empty()) {
        return;
    }
    for (; pendingLineEnds_ != 0; --pendingLineEnds_) {
        sink_.Write("\r\n");
    }
    sink_.Write(text);
}

RenderedByte RenderByte(std::uint8_t b, bool inHex, bool allHex) {
    if (allHex) {
        return Bracketed(b, true);
    }
    const std::uint8_t lowest = inHex ? 0x21 : 0x20;
    if (b >= lowest && b <= 0x7E) {
        return PlainByte(b);
    }
    return Bracketed(b, inHex);
}

RenderedByte PlainByte(std::uint8_t b) {
    RenderedByte out;
    out.Text[0] = static_cast<char>(b);
    out.Width = 1;
    return out;
}

} // namespace apd
