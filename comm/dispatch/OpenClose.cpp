// Opening and closing the port.

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/LineArithmetic.h"
#include "comm/errors/MillisecondClock.h"

namespace apd {

ErrorCode TApdBaseDispatcher::OpenDevicePort(const std::string& name, const LineRequest& line,
                                             std::uint32_t inSize, std::uint32_t outSize,
                                             std::uint8_t options) {
    RingEventSeen = false;
    Notifying = false;
    {
        LockHold data(DataLock);
        HandlersDeleted = false;
    }
    ReleaseBuffers();
    CreateDispatcherEvents();

    LastSystemError = 0;
    DeviceHandle = DeviceOpen(name, inSize, outSize);
    if (DeviceHandle < 0) {
        ErrorCode failure = ecOutOfMemory;
        if (DeviceHandle != ecOutOfMemory) {
            failure = LastSystemError > 0 ? -LastSystemError : ecInternal;
        }
        CloseDevicePort();
        return failure;
    }

    if (const ErrorCode queues = SetQueueSizes(inSize, outSize); queues != ecOK) {
        CloseDevicePort();
        return queues;
    }

    {
        LockHold input(InputLock);
        InputRing.Allocate();
        HandlerReadCount = 0;
        MaxHandlerReadCount = 0;
    }
    {
        LockHold output(OutputLock);
        OutputBuffer = std::make_unique<std::uint8_t[]>(outSize);
        OutputHead = 0;
        OutputTail = 0;
        OutputBufferFull = false;
        OutQueueSize = outSize;
    }
    {
        LockHold data(DataLock);
        InQueueSize = inSize;
    }
    LineErrorFlags = 0;
    OutputSentFlag = false;
    CloseDeferred = false;
    RS485Mode = false;
    UartBaseAddress = 0;

    {
        LockHold data(DataLock);
        DeviceGetState(DCB);
    }

    if (options & OpenDtrFlowControl) {
        DtrUnderFlowControl = true;
    } else {
        DtrUnderFlowControl = false;
        SetDTR((options & OpenRaiseDtr) != 0);
    }
    if (options & OpenRtsFlowControl) {
        RtsUnderFlowControl = true;
    } else {
        RtsUnderFlowControl = false;
        SetRTS((options & OpenRaiseRts) != 0);
    }

    {
        LockHold input(InputLock);
        RemoveAllTriggers();
        ResetStatusHits();
        InDataNotification = false;
    }

    {
        LockHold data(DataLock);
        ModemStatusShadow = 0;
        ReadModemStatus(0xF0);
        AppliedBaud = 115200;
    }

    if (const ErrorCode applied = SetLineSettings(line); applied != ecOK) {
        CloseDevicePort();
        return applied;
    }
    RefreshLineStatus();

    {
        // Every open starts with no trace and no log.
        LockHold data(DataLock);
        AbortTracing();
        AbortLogging();
        LogStartTime = MillisecondClock();
    }

    if (const ErrorCode started = StartDispatcher(); started != ecOK) {
        // A port whose threads could not all start would never receive: the threads that
        // did start are stopped, the device is closed and everything is freed.
        CloseDevicePort();
        return started;
    }
    return ecOK;
}

void TApdBaseDispatcher::CloseDevicePort() {
    if (DeviceHandle >= 0) {
        // What the application wrote leaves before the close, within a bound of its line
        // time. Only what did not leave is discarded: discarding an empty output queue
        // does nothing on a UART, but on a pseudo-terminal it takes back bytes the far
        // end has not read yet.
        LineState framing;
        std::int32_t applied = 0;
        {
            LockHold data(DataLock);
            framing = DCB;
            applied = AppliedBaud;
        }
        if (!DeviceDrainOutput(CharacterMicroseconds(framing, applied))) {
            FlushOutBuffer();
        }
        FlushInBuffer();
        DeviceClose();
    }
    if (Notifying && CloseMustBeDeferred()) {
        // A handler closed the port: the delivery stops at its next close check, and the
        // resources are released when the dispatch thread ends or the dispatcher goes.
        CloseDeferred = true;
        return;
    }
    FreePortResources();
}

} // namespace apd
