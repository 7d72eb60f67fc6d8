// The device operations of the serial dispatcher, each on the SerialDevice.

#include "comm/threads/ThreadedDispatcher.h"

#include <algorithm>
#include <thread>

#include "comm/threads/MainThreadCall.h"
#include "comm/threads/OutputRing.h"

namespace apd {

namespace {
// DeviceOpen's result for an open device: a positive token. The descriptor itself stays
// inside SerialDevice, which alone may use it.
constexpr std::intptr_t OpenDeviceToken = 1;
} // namespace

ThreadedDispatcher::ThreadedDispatcher(TApdBaseComponent* owner) : TApdBaseDispatcher(owner) {}

ThreadedDispatcher::~ThreadedDispatcher() {
    ShutDownDispatcher();
    mainCall_.reset();
}

void ThreadedDispatcher::ShutDownDispatcher() {
    ShutDownPort();
    // A thread may still be on its way out (a deferred close released by the dispatch
    // thread); nothing may go before it has finished.
    WaitForAllThreads();
    CloseDispatcherEvents();
}

std::intptr_t ThreadedDispatcher::DeviceOpen(const std::string& name, std::uint32_t /*inSize*/,
                                             std::uint32_t /*outSize*/) {
    ClearDeviceLoss();
    const ErrorCode rc = Device.Open(name);
    if (rc == ecOK) {
        return OpenDeviceToken;
    }
    if (rc == ecOutOfMemory) {
        return ecOutOfMemory;
    }
    LastSystemError = -rc;
    return -1;
}

ErrorCode ThreadedDispatcher::DeviceClose() {
    if (DispatcherActive) {
        StopThreads = true;
        if (const auto events = EventsRef()) {
            events->StopRequested.Set();
            Device.SetEventMask(0);     // ends a device event wait in progress
            events->DispatchDone.Set(); // a comm thread waiting for the pass goes on
            events->ThreadAck.Reset();
            events->CommEventReady.Set(); // the dispatch thread sees the stop at once
        }
    }
    if (Device.Close() != ecOK) {
        return -1;
    }
    DeviceHandle = -1;
    return 0;
}

ErrorCode ThreadedDispatcher::DeviceSetupQueues(std::uint32_t inSize, std::uint32_t outSize) {
    // The sizes advise the driver (a terminal device keeps queues of its own size); a
    // missing device or a refusal fails, with the reason in LastSystemError.
    const ErrorCode rc = Device.SetupQueues(inSize, outSize);
    if (rc != ecOK) {
        LastSystemError = -rc;
    }
    return rc;
}

ErrorCode ThreadedDispatcher::DeviceGetState(LineState& state) {
    return Device.GetState(state) == ecOK ? ecOK : -1;
}

ErrorCode ThreadedDispatcher::DeviceSetState(LineState& state) {
    return Device.SetState(state);
}

ErrorCode ThreadedDispatcher::DeviceEscape(int func) {
    return Device.Escape(func);
}

ErrorCode ThreadedDispatcher::DeviceModemStatus(std::uint32_t& status) {
    std::uint8_t lines = 0;
    const ErrorCode rc = Device.ModemStatus(lines);
    status = rc == ecOK ? lines : 0;
    return rc;
}

ErrorCode ThreadedDispatcher::DeviceFlush(int queue) {
    if (queue == FlushInputQueue) {
        return Device.PurgeInput();
    }
    if (queue != FlushOutputQueue) {
        return ecBadArgument;
    }
    FlushInProgress = true;
    const auto events = EventsRef();
    if (OutputWorker != nullptr && events) {
        // The output thread answers when it is idle or abandons the write in progress;
        // or it has ended, and will not answer at all. No lock is held while waiting.
        events->FlushAck.Reset();
        events->OutputFlush.Set();
        Device.CancelWrite();
        platform::Event* const answers[] = {&events->FlushAck, &events->OutputEnded};
        platform::WaitForAny(answers, platform::InfiniteTimeout);
    }
    ErrorCode rc = ecOK;
    {
        LockHold output(OutputLock);
        OutputBufferFull = false;
        OutputHead = 0;
        OutputTail = 0;
        rc = Device.PurgeOutput();
    }
    FlushInProgress = false;
    if (OutputPending() && events) {
        events->OutputReady.Set(); // bytes another thread queued meanwhile still leave
    }
    return rc;
}

ErrorCode ThreadedDispatcher::DeviceGetStatus(apd::DeviceStatus& stat, std::uint32_t& lineErrors) {
    std::uint32_t errors = 0;
    apd::DeviceStatus fresh;
    const ErrorCode rc = Device.GetStatus(fresh, errors);
    const bool known = rc == ecOK;
    stat = known ? fresh : apd::DeviceStatus{};
    lineErrors = known ? errors : 0;
    LockHold output(OutputLock);
    stat.cbOutQue =
        OutputBuffer ? OutputRingCount(OutQueueSize, OutputHead, OutputTail, OutputBufferFull) : 0;
    return rc;
}

ErrorCode ThreadedDispatcher::DeviceGetInputStatus(std::uint32_t& waiting,
                                                   std::uint32_t& lineErrors) {
    // A record or a message: a read of all the ring has room for is as cheap as asking
    // first. While a stream flows, the count is asked for, so that a fill skips reading a
    // device that holds nothing: on a terminal that read costs more than the question,
    // and streams are read about a fifth faster this way.
    waiting = InputCountUnknown;
    if (StreamFlowing && Device.InputWaiting(waiting) != ecOK) {
        waiting = InputCountUnknown; // the read finds out
    }
    return Device.LineErrors(lineErrors);
}

ErrorCode ThreadedDispatcher::DeviceGetOutputStatus(std::uint32_t& pending,
                                                    std::uint32_t& lineErrors) {
    const ErrorCode rc = Device.LineErrors(lineErrors);
    LockHold output(OutputLock);
    pending =
        OutputBuffer ? OutputRingCount(OutQueueSize, OutputHead, OutputTail, OutputBufferFull) : 0;
    return rc;
}

std::int32_t ThreadedDispatcher::DeviceRead(std::uint8_t* buffer, std::uint32_t size) {
    const std::int32_t got = Device.Read(buffer, size);
    if (got < 0) {
        if (Device.IsLost()) {
            RecordDeviceLoss();
        }
        return 0;
    }
    return got;
}

void ThreadedDispatcher::DeviceReadFailed() {}

std::int32_t ThreadedDispatcher::DeviceWrite(const std::uint8_t* buffer, std::uint32_t size) {
    {
        LockHold output(OutputLock);
        if (!OutputBuffer || OutQueueSize == 0) {
            return ecCommNotOpen;
        }
        std::uint32_t direct = 0;
        if (OutputRingCount(OutQueueSize, OutputHead, OutputTail, false) == 0 && !FlushInProgress &&
            OutputWorker != nullptr) {
            // Nothing is queued, so the output thread has no write in progress: what the
            // driver takes at once goes straight to it (the write never waits), in order,
            // and saves the output thread's wake-up. The rest is queued as usual.
            const std::int32_t taken = Device.Write(buffer, size);
            direct = taken > 0 ? static_cast<std::uint32_t>(taken) : 0;
            if (direct == size) {
                OutputBufferFull = false;
                return static_cast<std::int32_t>(size);
            }
            if (direct != 0) {
                OutputBufferFull = false; // the rest no longer fills the ring
            }
        }
        CopyIntoOutputRing(OutputBuffer.get(), OutQueueSize, OutputHead, buffer + direct,
                           size - direct);
    }
    if (const auto events = EventsRef()) {
        events->OutputReady.Set();
    }
    return static_cast<std::int32_t>(size);
}

EventWaitResult ThreadedDispatcher::WaitForDeviceEvent(std::uint32_t& mask) {
    return Device.WaitEvent(mask);
}

bool ThreadedDispatcher::DeviceWaitEvent(std::uint32_t& mask) {
    return WaitForDeviceEvent(mask) == EventWaitResult::Events;
}

ErrorCode ThreadedDispatcher::YieldTime() {
    std::this_thread::yield();
    return 0;
}

void ThreadedDispatcher::RecordDeviceLoss() {
    DeviceLostFlag = true;
}

} // namespace apd
