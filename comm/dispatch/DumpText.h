#pragma once
// Text output shared by the trace and log dumps: the sink a dump writes to, lines that end
// in CR LF with no line end after the last one, and the rendering of data bytes.

#include <cstdint>
#include <string_view>

namespace apd {

class TextSink {
public:
    virtual ~TextSink() = default;
    virtual void Write(std::string_view text) = 0;
};

// Writes lines separated by CR LF. A line end is held back until more text follows it, so
// the last line of a dump never ends in one.
class DumpLineWriter {
public:
    explicit DumpLineWriter(TextSink& sink) : sink_(sink) {}
    void Write(std::string_view text);
    void EndLine() { ++pendingLineEnds_; }

private:
    TextSink& sink_;
    unsigned pendingLineEnds_ = 0;
};

// One data byte as a dump shows it; the width is the length of the text.
struct RenderedByte {
    char Text[5] = {};
    std::uint8_t Width = 0;
    std::string_view View() const { return {Text, Width}; }
};

// With allHex every byte is "[XX]" in uppercase hexadecimal. Otherwise the printable bytes
// from 0x20 (0x21 with inHex, so that a space is shown as [20]) to 0x7E are themselves and
// the others are "[XX]" with inHex or "[decimal]" without.
RenderedByte RenderByte(std::uint8_t b, bool inHex, bool allHex);
// The byte itself, width 1.
RenderedByte PlainByte(std::uint8_t b);

} // namespace apd
