#include "tests/support/memory_device/MemoryDispatcher.h"

#include <algorithm>
#include <cstring>

namespace apd::testing {

using DeviceHold = std::lock_guard<std::mutex>;

TMemoryDispatcher::TMemoryDispatcher(TApdBaseComponent* owner) : TApdBaseDispatcher(owner) {
    line_.BaudRate = 9600;
    readRequests_.reserve(64);
}

TMemoryDispatcher::~TMemoryDispatcher() {
    ShutDownPort();
}

ErrorCode TMemoryDispatcher::OpenDefault(std::uint32_t outSize) {
    return OpenDevicePort("memory", {115200, ParityNone, 8, 1}, 4096, outSize,
                          OpenRaiseDtr | OpenRaiseRts);
}

// ---- Script -------------------------------------------------------------------------

void TMemoryDispatcher::QueueInput(const std::uint8_t* data, std::size_t length) {
    DeviceHold hold(deviceLock_);
    if (inputRead_ == input_.size()) {
        input_.clear();
        inputRead_ = 0;
    }
    input_.insert(input_.end(), data, data + length);
}

void TMemoryDispatcher::QueueInput(const std::string& bytes) {
    QueueInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::size_t TMemoryDispatcher::InputQueued() {
    DeviceHold hold(deviceLock_);
    return input_.size() - inputRead_;
}

bool TMemoryDispatcher::Feed(const std::string& bytes) {
    QueueInput(bytes);
    return FillDispatchBuffer();
}

void TMemoryDispatcher::LimitReadChunk(std::uint32_t bytes) {
    DeviceHold hold(deviceLock_);
    readChunk_ = bytes;
}

void TMemoryDispatcher::FailReads(int count, std::int32_t value, int after) {
    DeviceHold hold(deviceLock_);
    failReads_ = count;
    failReadsAfter_ = after;
    failReadValue_ = value;
}

int TMemoryDispatcher::ReadFailures() {
    DeviceHold hold(deviceLock_);
    return readFailures_;
}

std::vector<std::uint32_t> TMemoryDispatcher::ReadRequests() {
    DeviceHold hold(deviceLock_);
    return readRequests_;
}

std::vector<std::uint8_t> TMemoryDispatcher::Written() {
    DeviceHold hold(deviceLock_);
    return written_;
}

void TMemoryDispatcher::DrainOutput(std::uint32_t count) {
    LockHold output(OutputLock);
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!OutputBufferFull && OutputHead == OutputTail) {
            break;
        }
        OutputTail = OutputTail + 1 == OutQueueSize ? 0 : OutputTail + 1;
        OutputBufferFull = false;
    }
}

void TMemoryDispatcher::RefuseWrites(std::int32_t value) {
    DeviceHold hold(deviceLock_);
    refuseWrites_ = value;
}

void TMemoryDispatcher::SetLineErrors(std::uint32_t bits) {
    DeviceHold hold(deviceLock_);
    lineErrors_ = bits;
}

void TMemoryDispatcher::SetModemLines(std::uint32_t status) {
    DeviceHold hold(deviceLock_);
    modemLines_ = status;
}

void TMemoryDispatcher::RefuseSetState(std::int32_t code) {
    DeviceHold hold(deviceLock_);
    refuseSetState_ = code;
}

void TMemoryDispatcher::RefuseEscape(bool refuse) {
    DeviceHold hold(deviceLock_);
    refuseEscape_ = refuse;
}

void TMemoryDispatcher::FailOpen(std::intptr_t result, std::int32_t systemError) {
    DeviceHold hold(deviceLock_);
    openResult_ = result;
    openError_ = systemError;
}

void TMemoryDispatcher::FailSetupQueues(std::int32_t systemError) {
    DeviceHold hold(deviceLock_);
    setupError_ = systemError;
}

void TMemoryDispatcher::FailStart(ErrorCode code) {
    DeviceHold hold(deviceLock_);
    startError_ = code;
}

void TMemoryDispatcher::SetDriverTogglesRts(bool toggles) {
    DeviceHold hold(deviceLock_);
    driverTogglesRts_ = toggles;
}

void TMemoryDispatcher::SetBaseAddressAnswer(std::int32_t answer) {
    DeviceHold hold(deviceLock_);
    baseAddressAnswer_ = answer;
}

void TMemoryDispatcher::DrainOnStatusRead(std::uint32_t bytes) {
    DeviceHold hold(deviceLock_);
    drainOnStatus_ = bytes;
}

int TMemoryDispatcher::SetStateCount() {
    DeviceHold hold(deviceLock_);
    return setStates_;
}

int TMemoryDispatcher::StatusReadCount() {
    DeviceHold hold(deviceLock_);
    return statusReads_;
}

std::uint32_t TMemoryDispatcher::PendingAtLastSetState() {
    DeviceHold hold(deviceLock_);
    return pendingAtSetState_;
}

std::vector<int> TMemoryDispatcher::OutputPriorities() {
    DeviceHold hold(deviceLock_);
    return outputPriorities_;
}

LineState TMemoryDispatcher::DeviceLine() {
    DeviceHold hold(deviceLock_);
    return line_;
}

std::vector<int> TMemoryDispatcher::Escapes() {
    DeviceHold hold(deviceLock_);
    return escapes_;
}

int TMemoryDispatcher::InputFlushes() {
    DeviceHold hold(deviceLock_);
    return inputFlushes_;
}

int TMemoryDispatcher::OutputFlushes() {
    DeviceHold hold(deviceLock_);
    return outputFlushes_;
}

int TMemoryDispatcher::StartCount() {
    DeviceHold hold(deviceLock_);
    return starts_;
}

int TMemoryDispatcher::StopCount() {
    DeviceHold hold(deviceLock_);
    return stops_;
}

int TMemoryDispatcher::CloseCount() {
    DeviceHold hold(deviceLock_);
    return closes_;
}

// ---- Views --------------------------------------------------------------------------

RingSnapshot TMemoryDispatcher::Ring() {
    LockHold input(InputLock);
    return RingSnapshot{InputRing.HeadPos(), InputRing.TailPos(),   InputRing.Full(),
                        InputRing.ScanPos(), InputRing.Unscanned(), HandlerReadCount,
                        MaxHandlerReadCount, InputRing.AvailPos(),  InputRing.Exists()};
}

OutputRingSnapshot TMemoryDispatcher::OutputRing() {
    LockHold output(OutputLock);
    return OutputRingSnapshot{OutputHead, OutputTail, OutputBufferFull, OutQueueSize,
                              OutputBuffer != nullptr};
}

void TMemoryDispatcher::PlaceEmptyRing(std::uint32_t pos) {
    LockHold input(InputLock);
    InputRing.PlaceEmpty(pos);
}

std::vector<DataTrigger> TMemoryDispatcher::DataTriggerRecords() {
    LockHold data(DataLock);
    return Triggers.DataRecords();
}

std::vector<TimerTrigger> TMemoryDispatcher::TimerTriggerRecords() {
    LockHold data(DataLock);
    return Triggers.TimerRecords();
}

std::vector<StatusTrigger> TMemoryDispatcher::StatusTriggerRecords() {
    LockHold data(DataLock);
    return Triggers.StatusRecords();
}

std::size_t TMemoryDispatcher::WindowHandlerCount() {
    LockHold data(DataLock);
    return WindowHandlers.size();
}

std::size_t TMemoryDispatcher::ProcedureHandlerCount() {
    LockHold data(DataLock);
    return ProcedureHandlers.size();
}

std::size_t TMemoryDispatcher::MethodHandlerCount() {
    LockHold data(DataLock);
    return MethodHandlers.size();
}

bool TMemoryDispatcher::NotifyNeededFlag() {
    LockHold data(DataLock);
    return NotifyNeeded;
}

bool TMemoryDispatcher::PortHandlerActiveFlag() {
    LockHold data(DataLock);
    return PortHandlerActive;
}

std::int32_t TMemoryDispatcher::NextHandleIndexValue() {
    LockHold data(DataLock);
    return Triggers.NextIndex();
}

std::int32_t TMemoryDispatcher::AvailTriggerLengthValue() {
    LockHold data(DataLock);
    return Triggers.AvailLength();
}

std::uint32_t TMemoryDispatcher::ModemShadow() {
    LockHold data(DataLock);
    return ModemStatusShadow;
}

std::int32_t TMemoryDispatcher::AppliedBaudValue() {
    LockHold data(DataLock);
    return AppliedBaud;
}

LineState TMemoryDispatcher::DcbRecord() {
    LockHold data(DataLock);
    return DCB;
}

void TMemoryDispatcher::SetRS485(bool on, std::uint16_t baseAddress) {
    RS485Mode = on;
    UartBaseAddress = baseAddress;
}

std::uint32_t TMemoryDispatcher::OptionFlagsValue() {
    LockHold data(DataLock);
    return OptionFlags;
}

void TMemoryDispatcher::SetPriorityBoostValue(std::uint8_t boost) {
    LockHold data(DataLock);
    PriorityBoost = boost;
}

// ---- Device operations --------------------------------------------------------------

ErrorCode TMemoryDispatcher::DeviceEscape(int func) {
    DeviceHold hold(deviceLock_);
    escapes_.push_back(func);
    if (func == EscapeGetBaseAddress) {
        return baseAddressAnswer_;
    }
    return refuseEscape_ ? -1 : 0;
}

ErrorCode TMemoryDispatcher::DeviceFlush(int queue) {
    if (queue == FlushInputQueue) {
        DeviceHold hold(deviceLock_);
        input_.clear();
        inputRead_ = 0;
        ++inputFlushes_;
        return 0;
    }
    {
        LockHold output(OutputLock);
        OutputBufferFull = false;
        OutputHead = 0;
        OutputTail = 0;
    }
    DeviceHold hold(deviceLock_);
    ++outputFlushes_;
    return 0;
}

ErrorCode TMemoryDispatcher::DeviceGetStatus(apd::DeviceStatus& stat, std::uint32_t& lineErrors) {
    std::uint32_t drain = 0;
    {
        DeviceHold hold(deviceLock_);
        drain = drainOnStatus_;
        ++statusReads_;
    }
    if (drain != 0) {
        DrainOutput(drain);
    }
    {
        DeviceHold hold(deviceLock_);
        lineErrors = lineErrors_;
        lineErrors_ = 0;
        stat.Flags = 0;
        stat.cbInQue = static_cast<std::uint32_t>(input_.size() - inputRead_);
    }
    stat.cbOutQue = OutputRingCount();
    return ecOK;
}

void TMemoryDispatcher::DeviceReadFailed() {
    DeviceHold hold(deviceLock_);
    ++readFailures_;
}

ErrorCode TMemoryDispatcher::DeviceGetState(LineState& state) {
    DeviceHold hold(deviceLock_);
    state = line_;
    return 0;
}

std::int32_t TMemoryDispatcher::DeviceRead(std::uint8_t* buffer, std::uint32_t size) {
    DeviceHold hold(deviceLock_);
    if (readRequests_.size() < readRequests_.capacity()) {
        readRequests_.push_back(size);
    }
    if (failReads_ > 0) {
        if (failReadsAfter_ > 0) {
            --failReadsAfter_;
        } else {
            --failReads_;
            return failReadValue_;
        }
    }
    std::size_t count = std::min<std::size_t>(size, input_.size() - inputRead_);
    if (readChunk_ != 0) {
        count = std::min<std::size_t>(count, readChunk_);
    }
    if (count != 0) {
        std::memcpy(buffer, input_.data() + inputRead_, count);
    }
    inputRead_ += count;
    return static_cast<std::int32_t>(count);
}

ErrorCode TMemoryDispatcher::DeviceSetState(LineState& state) {
    const std::uint32_t pending = OutputRingCount();
    DeviceHold hold(deviceLock_);
    ++setStates_;
    pendingAtSetState_ = pending;
    if (refuseSetState_ != 0) {
        return refuseSetState_;
    }
    line_ = state;
    return 0;
}

std::int32_t TMemoryDispatcher::DeviceWrite(const std::uint8_t* buffer, std::uint32_t size) {
    {
        DeviceHold hold(deviceLock_);
        if (refuseWrites_ != 0) {
            return refuseWrites_;
        }
        written_.insert(written_.end(), buffer, buffer + size);
    }
    LockHold output(OutputLock);
    for (std::uint32_t i = 0; i < size && OutQueueSize != 0; ++i) {
        OutputBuffer[OutputHead] = buffer[i];
        OutputHead = OutputHead + 1 == OutQueueSize ? 0 : OutputHead + 1;
    }
    return static_cast<std::int32_t>(size);
}

bool TMemoryDispatcher::DeviceWaitEvent(std::uint32_t& mask) {
    mask = 0;
    return false;
}

ErrorCode TMemoryDispatcher::DeviceSetupQueues(std::uint32_t, std::uint32_t) {
    DeviceHold hold(deviceLock_);
    if (setupError_ != 0) {
        LastSystemError = setupError_;
        return setupError_ > 0 ? -setupError_ : ecInternal;
    }
    return ecOK;
}

ErrorCode TMemoryDispatcher::StartDispatcher() {
    DeviceHold hold(deviceLock_);
    ++starts_;
    if (startError_ != ecOK) {
        return startError_;
    }
    DispatcherActive = true;
    StopThreads = false;
    return ecOK;
}

void TMemoryDispatcher::StopDispatcher() {
    StopThreads = true;
    DispatcherActive = false;
    DeviceHold hold(deviceLock_);
    ++stops_;
}

std::intptr_t TMemoryDispatcher::DeviceOpen(const std::string&, std::uint32_t, std::uint32_t) {
    DeviceHold hold(deviceLock_);
    if (openResult_ < 0) {
        LastSystemError = openError_;
    }
    return openResult_;
}

ErrorCode TMemoryDispatcher::DeviceClose() {
    DeviceHold hold(deviceLock_);
    ++closes_;
    if (DeviceHandle < 0) {
        return -1;
    }
    DeviceHandle = -1;
    return 0;
}

ErrorCode TMemoryDispatcher::YieldTime() {
    return ecOK;
}

ErrorCode TMemoryDispatcher::DeviceModemStatus(std::uint32_t& status) {
    DeviceHold hold(deviceLock_);
    status = modemLines_;
    return ecOK;
}

std::uint32_t TMemoryDispatcher::DeviceLineDrainMs(const LineState&, std::int32_t) {
    return 0;
}

bool TMemoryDispatcher::DriverTogglesRts485() const {
    DeviceHold hold(deviceLock_);
    return driverTogglesRts_;
}

void TMemoryDispatcher::SetOutputThreadPriority(int level) {
    DeviceHold hold(deviceLock_);
    outputPriorities_.push_back(level);
}

std::uint32_t TMemoryDispatcher::OutputRingCount() {
    LockHold output(OutputLock);
    if (OutputBufferFull) {
        return OutQueueSize;
    }
    if (OutputHead >= OutputTail) {
        return OutputHead - OutputTail;
    }
    return OutQueueSize - OutputTail + OutputHead;
}

std::string ReadChars(TApdBaseDispatcher& dispatcher, std::size_t count) {
    std::string text;
    std::uint8_t c = 0;
    while (text.size() < count && dispatcher.GetChar(c) == ecOK) {
        text.push_back(static_cast<char>(c));
    }
    return text;
}

} // namespace apd::testing
