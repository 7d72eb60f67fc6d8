#include "comm/dispatch/DispatchLogRing.h"

#include <algorithm>
#include <cstring>

namespace apd {

namespace {

void EncodeHeader(const LogEntryHeader& header, std::uint8_t (&bytes)[LogHeaderSize]) {
    bytes[0] = header.Type;
    bytes[1] = header.SubType;
    bytes[2] = 0;
    bytes[3] = 0;
    std::memcpy(bytes + 4, &header.Time, 4);
    std::memcpy(bytes + 8, &header.Data, 4);
    std::memcpy(bytes + 12, &header.Length, 4);
}

LogEntryHeader DecodeHeader(const std::uint8_t (&bytes)[LogHeaderSize]) {
    LogEntryHeader header;
    header.Type = bytes[0];
    header.SubType = bytes[1];
    std::memcpy(&header.Time, bytes + 4, 4);
    std::memcpy(&header.Data, bytes + 8, 4);
    std::memcpy(&header.Length, bytes + 12, 4);
    return header;
}

} // namespace

void DispatchLogRing::Allocate(std::uint32_t size, std::uint32_t scratchSize) {
    Free();
    const std::uint32_t scratch = std::max(scratchSize, MinLogScratchSize);
    LogBuffer = std::make_unique<std::uint8_t[]>(size);
    LogScratch = std::make_unique<std::uint8_t[]>(scratch);
    LogScratchSize = scratch;
    LogCapacity = size;
    Clear();
}

void DispatchLogRing::Free() {
    LogBuffer.reset();
    LogScratch.reset();
    LogScratchSize = 0;
    LogCapacity = 0;
    Clear();
}

void DispatchLogRing::Clear() {
    LogHead = 0;
    LogTail = 0;
    LogFree = LogCapacity;
}

void DispatchLogRing::Add(LogEntryHeader header, const std::uint8_t* data) {
    if (!Exists() || LogHeaderSize >= LogCapacity) {
        return;
    }
    if (data == nullptr || header.Length > LogScratchSize ||
        header.Length >= LogCapacity - LogHeaderSize) {
        header.Length = 0;
    }
    const std::uint32_t needed = LogHeaderSize + header.Length;
    while (needed > LogFree) {
        DropOldest();
    }
    std::uint8_t bytes[LogHeaderSize];
    EncodeHeader(header, bytes);
    CopyIn(bytes, LogHeaderSize);
    if (header.Length != 0) {
        CopyIn(data, header.Length);
    }
}

bool DispatchLogRing::Take(LogEntryHeader& header) {
    if (Empty()) {
        return false;
    }
    std::uint8_t bytes[LogHeaderSize];
    CopyOut(bytes, LogHeaderSize);
    header = DecodeHeader(bytes);
    CopyOut(LogScratch.get(), header.Length);
    return true;
}

void DispatchLogRing::DropOldest() {
    std::uint8_t bytes[LogHeaderSize];
    CopyOut(bytes, LogHeaderSize);
    Skip(DecodeHeader(bytes).Length);
}

void DispatchLogRing::CopyIn(const std::uint8_t* source, std::uint32_t count) {
    const std::uint32_t first = std::min(count, LogCapacity - LogHead);
    std::memcpy(LogBuffer.get() + LogHead, source, first);
    std::memcpy(LogBuffer.get(), source + first, count - first);
    LogHead = count - first != 0 ? count - first : LogHead + first;
    if (LogHead == LogCapacity) {
        LogHead = 0;
    }
    LogFree -= count;
}

void DispatchLogRing::CopyOut(std::uint8_t* target, std::uint32_t count) {
    const std::uint32_t first = std::min(count, LogCapacity - LogTail);
    std::memcpy(target, LogBuffer.get() + LogTail, first);
    std::memcpy(target + first, LogBuffer.get(), count - first);
    Skip(count);
}

void DispatchLogRing::Skip(std::uint32_t count) {
    const std::uint32_t untilEnd = LogCapacity - LogTail;
    LogTail = count < untilEnd ? LogTail + count : count - untilEnd;
    LogFree += count;
}

} // namespace apd
