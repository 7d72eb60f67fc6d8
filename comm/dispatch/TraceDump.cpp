#include "comm/dispatch/TraceDump.h"

#include <string>

#include "comm/dispatch/DispatchLogCodes.h"

namespace apd {

namespace {

void WriteBlockHeader(char kind, DumpLineWriter& out) {
    if (kind == TraceReceived) {
        out.Write("Receive: ");
    } else if (kind == TraceTransmitted) {
        out.Write("Transmit: ");
    } else {
        out.Write("Special-");
        out.Write(std::string_view(&kind, 1));
        out.Write(": ");
    }
    out.EndLine();
}

} // namespace

void WriteTraceText(const TraceRing& trace, bool inHex, bool allHex, DumpLineWriter& out) {
    const std::uint32_t count = trace.Count();
    unsigned column = 0;
    char previousKind = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const TraceEntry& entry = trace.At(i);
        if (i == 0 || entry.Kind != previousKind) {
            previousKind = entry.Kind;
            if (i != 0) {
                out.EndLine();
                out.EndLine();
                column = 0;
            }
            WriteBlockHeader(entry.Kind, out);
        }
        const RenderedByte item = RenderByte(entry.Byte, inHex, allHex);
        column += item.Width;
        if (column > TraceLineWidth) {
            out.EndLine();
            column = item.Width;
        }
        out.Write(item.View());
    }
}

} // namespace apd
