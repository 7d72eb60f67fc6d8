// The send path: blocks handed to the device layer's output ring.

#include <algorithm>
#include <cstdlib>

#include "comm/dispatch/BaseDispatcher.h"
#include "comm/dispatch/DispatchLogCodes.h"

namespace apd {

ErrorCode TApdBaseDispatcher::PutChar(std::uint8_t c) {
    return PutBlock(&c, 1);
}

ErrorCode TApdBaseDispatcher::PutBlock(const std::uint8_t* data, std::uint32_t length) {
    if (length == 0) {
        return ecOK;
    }
    ErrorCode result = ecOK;
    std::uint32_t written = 0;
    {
        LockHold output(OutputLock);
        // Unlike RefreshLineStatus, the device's current bits replace the accumulated ones.
        std::uint32_t pending = 0;
        std::uint32_t errors = 0;
        DeviceGetOutputStatus(pending, errors);
        LineErrorFlags = errors;
        pending = std::min(pending, OutQueueSize);
        const std::uint32_t free = OutQueueSize - pending;
        if (length > free) {
            return ecOutputBufferTooSmall;
        }
        if (RS485Mode && !DriverTogglesRts485()) {
            if (UartBaseAddress == 0) {
                return ecBaseAddressNotSet;
            }
            SetRTS(true);
        }
        if (length == free) {
            OutputBufferFull = true;
        }
        std::int32_t accepted = DeviceWrite(data, length);
        if (accepted <= 0) {
            accepted = accepted == 0 ? 0 : -accepted;
            result = ecPutBlockFail;
            std::uint32_t unused = 0;
            DeviceGetOutputStatus(unused, errors);
            LineErrorFlags = errors;
        }
        written = std::min(static_cast<std::uint32_t>(accepted), length);
        OutputSentFlag = true;
    }
    if (LoggingOn || TracingOn) {
        LockHold dataHold(DataLock);
        if (LoggingOn) {
            AddLogEntry(LogTypeDispatch, LogSubWriteCom, written, written ? data : nullptr,
                        written);
        }
        if (TracingOn) {
            for (std::uint32_t i = 0; i < written; ++i) {
                AddTraceEntry(TraceTransmitted, data[i]);
            }
        }
    }
    return result;
}

std::uint32_t TApdBaseDispatcher::OutBuffUsed() {
    LockHold output(OutputLock);
    return RefreshOutputStatus();
}

std::uint32_t TApdBaseDispatcher::OutBuffFree() {
    LockHold output(OutputLock);
    return OutQueueSize - std::min(RefreshOutputStatus(), OutQueueSize);
}

ErrorCode TApdBaseDispatcher::FlushOutBuffer() {
    return DeviceFlush(FlushOutputQueue);
}

ErrorCode TApdBaseDispatcher::SetQueueSizes(std::uint32_t inSize, std::uint32_t outSize) {
    if (DeviceSetupQueues(inSize, outSize) == ecOK) {
        return ecOK;
    }
    return LastSystemError > 0 ? -LastSystemError : ecInternal;
}

} // namespace apd
