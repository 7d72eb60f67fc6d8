// The receive side of the dispatcher: bytes moved from the device into the receive ring by
// the dispatch thread and taken out by the application, with the read accounting of a
// notification in progress. Every operation holds InputLock for its whole duration.

#include <algorithm>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/DispatchLogCodes.h"

namespace apd {

std::uint32_t TApdBaseDispatcher::InBuffUsed() {
    LockHold input(InputLock);
    std::uint32_t used = InputRing.Count();
    if (InDataNotification) {
        used -= std::min(used, HandlerReadCount);
    }
    return used;
}

bool TApdBaseDispatcher::CharReady() {
    LockHold input(InputLock);
    if (InDataNotification) {
        return InputRing.Count() > HandlerReadCount;
    }
    return InputRing.Count() != 0;
}

ErrorCode TApdBaseDispatcher::PeekChar(std::uint8_t& c, std::uint32_t n) {
    LockHold input(InputLock);
    return n != 0 && InputRing.Peek(n - 1, c) ? ecOK : ecBufferIsEmpty;
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
        InputRing.Consume(1);
    }
    if (TracingOn) {
        AddTraceEntry(TraceReceived, c);
    }
    return ecOK;
}

std::int32_t TApdBaseDispatcher::PeekBlock(std::uint8_t* block, std::uint32_t length) {
    if (length == 0) {
        return 0;
    }
    LockHold input(InputLock);
    return InputRing.Copy(block, 0, length) ? static_cast<std::int32_t>(length) : ecGetBlockFail;
}

std::int32_t TApdBaseDispatcher::GetBlock(std::uint8_t* block, std::uint32_t length) {
    if (length == 0) {
        return 0;
    }
    LockHold input(InputLock);
    if (InDataNotification) {
        // As GetChar: the handler reads past what it read before, and the tail waits for
        // the end of the delivery.
        if (!InputRing.Copy(block, HandlerReadCount, length)) {
            return ecGetBlockFail;
        }
        HandlerReadCount += length;
    } else {
        if (!InputRing.Copy(block, 0, length)) {
            return ecGetBlockFail;
        }
        InputRing.Consume(length);
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
        // handler too, so that its later reads do not return flushed bytes. The tail moves
        // when the delivery ends.
        const std::uint32_t waiting = InputRing.Count();
        MaxHandlerReadCount = waiting;
        HandlerReadCount = waiting;
    } else {
        InputRing.Discard();
        HandlerReadCount = 0;
    }
    ResetDataTriggerState();
    // The ring is empty now, which is what the caller asked for. A device that went away
    // has nothing left to discard: its loss is recorded by the device and reported by its
    // own path (DeviceLost, the loss notification), not as a failed flush.
    return flushed == ecDeviceLost ? ecOK : flushed;
}

void TApdBaseDispatcher::StoreRead(std::uint32_t count) {
    if (count == 0) {
        return;
    }
    if (LoggingOn) {
        AddLogEntry(LogTypeDispatch, LogSubReadCom, count, InputRing.Space().data, count);
    }
    InputRing.Commit(count);
}

bool TApdBaseDispatcher::FillDispatchBuffer() {
    LockHold input(InputLock);
    if (!InputRing.Exists()) {
        return false;
    }
    if (InputRing.Full()) {
        return true;
    }
    std::uint32_t queued = 0;
    {
        LockHold output(OutputLock);
        queued = RefreshInputStatus();
    }
    if (queued == 0) {
        return false;
    }

    const ReceiveSpace space = InputRing.Space();
    const std::uint32_t first = space.contiguous;
    const std::uint32_t want = std::min(space.free, queued);
    std::uint32_t second = first < want ? want - first : 0;

    // The first read asks for the whole contiguous free stretch; the device returns what
    // it holds. A failed read adds nothing, so no stale byte of the ring is exposed.
    std::int32_t got = DeviceRead(space.data, first);
    if (got < 0) {
        DeviceReadFailed();
        got = 0;
    }
    if (got == 0 && queued == InputCountUnknown) {
        return false; // the device held nothing: as if it had said so
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

    // The first stretch ended at the end of the ring: the rest goes to its start.
    got = DeviceRead(InputRing.Space().data, second);
    if (got < 0) {
        DeviceReadFailed();
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
