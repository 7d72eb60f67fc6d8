// The receive ring: bytes moved in from the device by the dispatch thread and taken out by
// the application. Every operation holds InputLock for its whole duration.

#include <algorithm>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/DispatchLogCodes.h"

namespace apd {

std::uint32_t TApdBaseDispatcher::InBuffUsed() {
    LockHold input(InputLock);
    std::uint32_t used = RingCount(BufferHead, BufferTail, RingIsFull);
    if (InDataNotification) {
        used -= std::min(used, HandlerReadCount);
    }
    return used;
}

bool TApdBaseDispatcher::CharReady() {
    LockHold input(InputLock);
    if (InDataNotification) {
        return RingCount(BufferHead, BufferTail, RingIsFull) > HandlerReadCount;
    }
    return BufferHead != BufferTail || RingIsFull;
}

ErrorCode TApdBaseDispatcher::PeekChar(std::uint8_t& c, std::uint32_t n) {
    LockHold input(InputLock);
    const std::uint32_t waiting = RingCount(BufferHead, BufferTail, RingIsFull);
    if (n == 0 || n > waiting || !DispatchBuffer) {
        return ecBufferIsEmpty;
    }
    c = DispatchBuffer[AdvanceRingPos(BufferTail, n - 1)];
    return ecOK;
}

ErrorCode TApdBaseDispatcher::GetChar(std::uint8_t& c) {
    LockHold input(InputLock);
    if (InDataNotification) {
        // Every handler of a notification reads the same bytes; the tail moves when all
        // of them have returned.
        ++HandlerReadCount;
        const ErrorCode peeked = PeekChar(c, HandlerReadCount);
        if (peeked != ecOK) {
            --HandlerReadCount;
            return peeked;
        }
    } else {
        const ErrorCode peeked = PeekChar(c, 1);
        if (peeked != ecOK) {
            return peeked;
        }
        BufferTail = AdvanceRingPos(BufferTail, 1);
        RingIsFull = false;
        TailMoved();
    }
    if (TracingOn) {
        AddTraceEntry(TraceReceived, c);
    }
    return ecOK;
}

bool TApdBaseDispatcher::CopyFromRing(std::uint8_t* block, std::uint32_t skip,
                                      std::uint32_t length) const {
    const std::uint32_t waiting = RingCount(BufferHead, BufferTail, RingIsFull);
    if (!DispatchBuffer || skip > waiting || length > waiting - skip) {
        return false;
    }
    const std::uint32_t from = AdvanceRingPos(BufferTail, skip);
    const std::uint32_t first = std::min(length, DispatchBufferSize - from);
    std::copy_n(DispatchBuffer.get() + from, first, block);
    std::copy_n(DispatchBuffer.get(), length - first, block + first);
    return true;
}

std::int32_t TApdBaseDispatcher::PeekBlock(std::uint8_t* block, std::uint32_t length) {
    if (length == 0) {
        return 0;
    }
    LockHold input(InputLock);
    return CopyFromRing(block, 0, length) ? static_cast<std::int32_t>(length) : ecGetBlockFail;
}

std::int32_t TApdBaseDispatcher::GetBlock(std::uint8_t* block, std::uint32_t length) {
    if (length == 0) {
        return 0;
    }
    LockHold input(InputLock);
    if (InDataNotification) {
        // As GetChar: the handler reads past what it read before, and the tail waits for
        // the end of the delivery.
        if (!CopyFromRing(block, HandlerReadCount, length)) {
            return ecGetBlockFail;
        }
        HandlerReadCount += length;
    } else {
        if (!CopyFromRing(block, 0, length)) {
            return ecGetBlockFail;
        }
        BufferTail = AdvanceRingPos(BufferTail, length % DispatchBufferSize);
        RingIsFull = false;
        TailMoved();
    }
    if (TracingOn) {
        for (std::uint32_t i = 0; i < length; ++i) {
            AddTraceEntry(TraceReceived, block[i]);
        }
    }
    return static_cast<std::int32_t>(length);
}

ErrorCode TApdBaseDispatcher::FlushInBuffer() {
    LockHold input(InputLock);
    const ErrorCode flushed = DeviceFlush(FlushInputQueue);
    if (InDataNotification) {
        // Everything now waiting counts as read by this notification, for the flushing
        // handler too, so that its later reads do not return flushed bytes. The tail and
        // RingIsFull move when the delivery ends.
        const std::uint32_t waiting = RingCount(BufferHead, BufferTail, RingIsFull);
        MaxHandlerReadCount = waiting;
        HandlerReadCount = waiting;
    } else {
        BufferTail = BufferHead;
        HandlerReadCount = 0;
        RingIsFull = false;
        TailMoved();
    }
    ResetDataTriggerState();
    // The ring is empty now, which is what the caller asked for. A device that went away
    // has nothing left to discard: its loss is recorded by the device and reported by its
    // own path (DeviceLost, the loss notification), not as a failed flush.
    return flushed == ecDeviceLost ? ecOK : flushed;
}

void TApdBaseDispatcher::TailMoved() {
    const std::uint32_t waiting = RingCount(BufferHead, BufferTail, RingIsFull);
    if (UnscannedCount > waiting) {
        // The tail passed the scan position: the bytes in between are gone and must not be
        // matched any more.
        ScannedSinceAvail =
            std::min(DispatchBufferSize, ScannedSinceAvail + (UnscannedCount - waiting));
        UnscannedCount = waiting;
        DataScanPos = BufferTail;
    }
}

void TApdBaseDispatcher::StoreRead(std::uint32_t count) {
    if (count == 0) {
        return;
    }
    if (LoggingOn) {
        AddLogEntry(LogTypeDispatch, LogSubReadCom, count, DispatchBuffer.get() + BufferHead,
                    count);
    }
    BufferHead += count;
    if (BufferHead >= DispatchBufferSize) {
        BufferHead -= DispatchBufferSize;
    }
    RingIsFull = BufferHead == BufferTail;
    UnscannedCount += count;
    BytesStored += count;
}

bool TApdBaseDispatcher::FillDispatchBuffer() {
    LockHold input(InputLock);
    if (!DispatchBuffer) {
        return false;
    }
    if (RingIsFull) {
        return true;
    }
    std::uint32_t queued = 0;
    {
        LockHold output(OutputLock);
        RefreshLineStatus();
        queued = DeviceStatus.cbInQue;
    }
    if (queued == 0) {
        return false;
    }

    const std::uint32_t head = BufferHead;
    const std::uint32_t tail = BufferTail;
    std::uint32_t free = 0;
    std::uint32_t first = 0;
    if (tail == head) {
        free = DispatchBufferSize;
        first = DispatchBufferSize - head;
    } else if (tail < head) {
        free = tail + DispatchBufferSize - head;
        first = DispatchBufferSize - head;
    } else {
        free = tail - head;
        first = free;
    }
    const std::uint32_t want = std::min(free, queued);
    std::uint32_t second = first < want ? want - first : 0;

    // The first read asks for the whole contiguous free stretch; the device returns what
    // it holds. A failed read adds nothing, so no stale byte of the ring is exposed.
    std::int32_t got = DeviceRead(DispatchBuffer.get() + head, first);
    if (got < 0) {
        DeviceReadFailed(-1);
        got = 0;
    }
    const auto firstCount = std::min(static_cast<std::uint32_t>(got), first);
    if (LoggingOn && firstCount == 0) {
        AddLogEntry(LogTypeDispatch, LogSubReadCom, 0, nullptr, 0);
    }
    StoreRead(firstCount);
    if (firstCount < first) {
        second = 0;
    }
    if (second == 0) {
        return true;
    }

    got = DeviceRead(DispatchBuffer.get() + BufferHead, second);
    if (got < 0) {
        DeviceReadFailed(-1);
        got = 0;
    }
    const auto secondCount = std::min(static_cast<std::uint32_t>(got), second);
    if (LoggingOn && secondCount == 0) {
        AddLogEntry(LogTypeDispatch, LogSubReadCom, 0, nullptr, 0);
    }
    StoreRead(secondCount);
    return true;
}

} // namespace apd
