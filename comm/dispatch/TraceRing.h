#pragma once
// The trace: a ring of a fixed number of (kind, byte) entries in which the newest entries
// overwrite the oldest. The dispatcher guards it with DataLock; the ring itself takes no
// lock and allocates only in Allocate.

#include <cstdint>
#include <memory>

namespace apd {

// Most entries a trace may hold.
inline constexpr std::uint32_t MaxTraceEntries = 4000000;

struct TraceEntry {
    char Kind = 0;
    std::uint8_t Byte = 0;
};

class TraceRing {
public:
    // Replaces any trace by numEntries zeroed entries. A trace of 0 entries is no trace.
    void Allocate(std::uint32_t numEntries);
    void Free();
    void Clear();
    // No trace: nothing is recorded and there is nothing to dump.
    bool Exists() const { return TraceCapacity != 0; }

    // Appends one entry, overwriting the oldest when the ring is full. Does nothing without
    // a trace.
    void Add(char kind, std::uint8_t byte);

    // Entries held, and the i-th of them counted from the oldest.
    std::uint32_t Count() const { return TraceWrapped ? TraceCapacity : TraceHead; }
    const TraceEntry& At(std::uint32_t i) const;

    std::unique_ptr<TraceEntry[]> TraceBuffer;
    std::uint32_t TraceHead = 0;     // index of the next entry to write
    std::uint32_t TraceCapacity = 0; // number of entries; 0 without a trace
    bool TraceWrapped = false;       // TraceHead has passed the end at least once
};

} // namespace apd
