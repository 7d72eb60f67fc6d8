#pragma once
// The dispatch log: a byte ring of time-stamped entries, each a 16-byte header directly
// followed by its data part, both wrapping at the end of the ring. When room is needed the
// oldest whole entries are dropped. The dispatcher guards it with DataLock; the ring itself
// takes no lock and allocates only in Allocate.

#include <cstdint>
#include <memory>

#include "comm/dispatch/RingIndex.h"

namespace apd {

struct LogEntryHeader {
    std::uint8_t Type = 0;
    std::uint8_t SubType = 0;
    std::uint32_t Time = 0;   // milliseconds since the port was opened
    std::uint32_t Data = 0;   // value, meaning per entry
    std::uint32_t Length = 0; // length of the data part, 0 for none
};

// Bytes a header takes in the ring.
inline constexpr std::uint32_t LogHeaderSize = 16;
// The scratch area holds at least one full receive ring's worth, the most a device read
// brings in one entry.
inline constexpr std::uint32_t MinLogScratchSize = DispatchBufferSize;

class DispatchLogRing {
public:
    // Replaces any log by a ring of size zeroed bytes and a scratch area of
    // max(scratchSize, MinLogScratchSize) bytes.
    void Allocate(std::uint32_t size, std::uint32_t scratchSize);
    void Free();
    void Clear();
    bool Exists() const { return LogBuffer != nullptr; }
    bool Empty() const { return LogFree == LogCapacity; }

    // Stores one entry, dropping the oldest entries to make room for header and data
    // together. An entry whose data part could not be kept (it would not leave one byte of
    // the ring free, or it is larger than the scratch area) is stored without it: Length
    // 0, Data unchanged. A ring smaller than a header stores nothing.
    void Add(LogEntryHeader header, const std::uint8_t* data);

    // Removes the oldest entry: false when the log is empty. Its data part, header.Length
    // bytes, is left in Scratch().
    bool Take(LogEntryHeader& header);
    const std::uint8_t* Scratch() const { return LogScratch.get(); }

    std::unique_ptr<std::uint8_t[]> LogBuffer;
    std::unique_ptr<std::uint8_t[]> LogScratch;
    std::uint32_t LogScratchSize = 0;
    std::uint32_t LogHead = 0;     // write position
    std::uint32_t LogTail = 0;     // start of the oldest entry
    std::uint32_t LogFree = 0;     // free bytes
    std::uint32_t LogCapacity = 0; // ring size in bytes

private:
    void DropOldest();
    void CopyIn(const std::uint8_t* source, std::uint32_t count);
    void CopyOut(std::uint8_t* target, std::uint32_t count);
    void Skip(std::uint32_t count);
};

} // namespace apd
