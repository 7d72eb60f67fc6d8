#pragma once
// The text of a trace dump: the entries from the oldest to the newest in blocks of one
// kind, each block a header line ("Receive: ", "Transmit: " or "Special-<kind>: ") and
// data lines of at most 78 characters, blocks separated by an empty line.

#include "comm/dispatch/DumpText.h"
#include "comm/dispatch/TraceRing.h"

namespace apd {

inline constexpr unsigned TraceLineWidth = 78;

void WriteTraceText(const TraceRing& trace, bool inHex, bool allHex, DumpLineWriter& out);

} // namespace apd
