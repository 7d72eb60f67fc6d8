#include "comm/dispatch/TraceRing.h"

namespace apd {

void TraceRing::Allocate(std::uint32_t numEntries) {
    Free();
    if (numEntries == 0) {
        return;
    }
    TraceBuffer = std::make_unique<TraceEntry[]>(numEntries);
    TraceCapacity = numEntries;
}

void TraceRing::Free() {
    TraceBuffer.reset();
    TraceCapacity = 0;
    Clear();
}

void TraceRing::Clear() {
    TraceHead = 0;
    TraceWrapped = false;
}

void TraceRing::Add(char kind, std::uint8_t byte) {
    if (!Exists()) {
        return;
    }
    TraceBuffer[TraceHead] = TraceEntry{kind, byte};
    if (++TraceHead == TraceCapacity) {
        TraceHead = 0;
        TraceWrapped = true;
    }
}

const TraceEntry& TraceRing::At(std::uint32_t i) const {
    if (!TraceWrapped) {
        return TraceBuffer[i];
    }
    const std::uint32_t untilEnd = TraceCapacity - TraceHead;
    return TraceBuffer[i < untilEnd ? TraceHead + i : i - untilEnd];
}

} // namespace apd
