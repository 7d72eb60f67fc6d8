// The output thread's work: what DeviceWrite queued in the output ring goes to the device,
// all pending bytes in one write per cycle.

#include "comm/threads/DispatcherThreads.h"
#include "comm/threads/OutputRing.h"
#include "comm/threads/ThreadedDispatcher.h"

namespace apd {

bool ThreadedDispatcher::OutputPending() {
    LockHold output(OutputLock);
    return OutputBuffer && (OutputBufferFull || OutputHead != OutputTail);
}

void ThreadedDispatcher::DrainOutputBuffer(DispatcherEvents& events) {
    FailurePause pause(events);
    const auto advance = [this](std::uint32_t n) {
        LockHold output(OutputLock);
        AdvanceOutputRing(OutQueueSize, OutputHead, OutputTail, OutputBufferFull, n);
    };
    while (!StopThreads && !FlushInProgress) {
        const std::uint8_t* data = nullptr;
        OutputChunk chunk;
        {
            LockHold output(OutputLock);
            if (!OutputBuffer) {
                return;
            }
            chunk = PrepareOutputChunk(OutputBuffer.get(), OutQueueSize, OutputHead, OutputTail,
                                       OutputBufferFull);
            if (chunk.count == 0) {
                return;
            }
            // The buffer is released only after this thread has finished, and a flush
            // resets the indexes only after this thread has answered it.
            data = OutputBuffer.get() + chunk.offset;
        }

        const std::int32_t written = Device.Write(data, chunk.count);
        if (written > 0) {
            advance(static_cast<std::uint32_t>(written));
            pause.Succeeded();
            continue;
        }
        if (written < 0) {
            // The device refused the bytes: they are dropped, as a failed write on a line
            // cannot be told apart from one that is gone.
            advance(chunk.count);
            pause.Failed();
            continue;
        }
        // The driver takes nothing now (its queue is full, or the far end sent XOFF): the
        // write is pending until the line drains, a flush abandons it or the port stops.
        switch (Device.WaitWritable(-1)) {
        case WriteWaitResult::Writable:
            break;
        case WriteWaitResult::Cancelled:
            if (events.OutputFlush.Wait(0) == platform::WaitResult::Signalled) {
                events.FlushAck.Set(); // the flush takes over the pending bytes
                return;
            }
            break;
        case WriteWaitResult::DeviceLost:
        case WriteWaitResult::NotOpen:
            advance(chunk.count);
            break;
        case WriteWaitResult::TimedOut:
        case WriteWaitResult::Failed:
            pause.Failed();
            break;
        }
    }
}

} // namespace apd
