#pragma once
// A dispatcher over a device that lives in memory: a test queues the bytes the device
// "receives", reads back what was written, and scripts status bits, modem lines and
// failures. No threads are started: a test drives FillDispatchBuffer and the checks itself,
// on its own thread.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "comm/dispatch/BaseDispatcher.h"

namespace apd::testing {

struct RingSnapshot {
    std::uint32_t head = 0;
    std::uint32_t tail = 0;
    bool full = false;
    std::uint32_t scanPos = 0;
    std::uint32_t unscanned = 0;
    std::uint32_t handlerReads = 0;
    std::uint32_t maxHandlerReads = 0;
    std::uint32_t availNotifyPos = 0;
    bool buffer = false; // the ring is allocated
};

struct OutputRingSnapshot {
    std::uint32_t head = 0;
    std::uint32_t tail = 0;
    bool full = false;
    std::uint32_t size = 0;
    bool buffer = false;
};

class TMemoryDispatcher : public TApdBaseDispatcher {
public:
    explicit TMemoryDispatcher(TApdBaseComponent* owner = nullptr);
    ~TMemoryDispatcher() override;

    // Opens with the analyser's line (115200 8N1), DTR and RTS raised, queues of 4096.
    ErrorCode OpenDefault(std::uint32_t outSize = 4096);

    // ---- The scripted device --------------------------------------------------------
    void QueueInput(const std::uint8_t* data, std::size_t length);
    void QueueInput(const std::string& bytes);
    std::size_t InputQueued();
    // Queues the bytes and runs one fill.
    bool Feed(const std::string& bytes);
    // At most this many bytes per DeviceRead (0: no limit).
    void LimitReadChunk(std::uint32_t bytes);
    // After `after` good reads, the next count reads return value (negative) and read
    // nothing.
    void FailReads(int count, std::int32_t value, int after = 0);
    int ReadFailures();
    // Sizes passed to the device reads so far.
    std::vector<std::uint32_t> ReadRequests();

    std::vector<std::uint8_t> Written();
    // The output side sends count queued bytes (as the output thread would).
    void DrainOutput(std::uint32_t count);
    // The next writes return this value instead of accepting the block (0: accept).
    void RefuseWrites(std::int32_t value);

    void SetLineErrors(std::uint32_t bits); // reported (and cleared) by the next status read
    void SetModemLines(std::uint32_t status);
    void RefuseSetState(std::int32_t code); // 0: accept
    void RefuseEscape(bool refuse);
    void FailOpen(std::intptr_t result, std::int32_t systemError);
    void FailSetupQueues(std::int32_t systemError);
    // The next starts fail with this code, the threads counting as stopped (ecOK: start).
    void FailStart(ErrorCode code);
    void SetDriverTogglesRts(bool toggles);
    // What DeviceEscape answers to EscapeGetBaseAddress (negative: no address).
    void SetBaseAddressAnswer(std::int32_t answer);
    // Every status read first sends this many queued bytes, as the output thread would
    // while a caller polls the output count (0: nothing is sent).
    void DrainOnStatusRead(std::uint32_t bytes);

    LineState DeviceLine();
    std::vector<int> Escapes();
    int InputFlushes();
    int OutputFlushes();
    int StartCount();
    int StopCount();
    int CloseCount();
    int SetStateCount();
    int StatusReadCount();
    // The output ring's count when the device last took a line state.
    std::uint32_t PendingAtLastSetState();
    // The levels SetOutputThreadPriority was given, in order.
    std::vector<int> OutputPriorities();

    // ---- Views of the dispatcher's state --------------------------------------------
    RingSnapshot Ring();
    OutputRingSnapshot OutputRing();
    // Moves an empty ring to start at pos (head, tail and scan position).
    void PlaceEmptyRing(std::uint32_t pos);
    std::vector<DataTrigger> DataTriggerRecords();
    std::vector<TimerTrigger> TimerTriggerRecords();
    std::vector<StatusTrigger> StatusTriggerRecords();
    std::size_t WindowHandlerCount();
    std::size_t ProcedureHandlerCount();
    std::size_t MethodHandlerCount();
    bool NotifyNeededFlag();
    bool PortHandlerActiveFlag();
    std::int32_t NextHandleIndexValue();
    std::int32_t AvailTriggerLengthValue();
    std::uint32_t ModemShadow();
    std::int32_t AppliedBaudValue();
    LineState DcbRecord();
    bool DtrLevel() const { return DtrOn; }
    bool RtsLevel() const { return RtsOn; }
    std::intptr_t DeviceHandleValue() const { return DeviceHandle; }
    void SetRS485(bool on, std::uint16_t baseAddress);
    bool RS485On() const { return RS485Mode; }
    std::uint16_t UartBase() const { return UartBaseAddress; }
    bool DtrUnderFlow() const { return DtrUnderFlowControl; }
    bool RtsUnderFlow() const { return RtsUnderFlowControl; }
    std::uint32_t OptionFlagsValue();
    void SetPriorityBoostValue(std::uint8_t boost);

    // Handler registration, which the system itself does not offer.
    using TApdBaseDispatcher::AddMethodHandler;
    using TApdBaseDispatcher::AddProcedureHandler;
    using TApdBaseDispatcher::RemoveMethodHandler;
    using TApdBaseDispatcher::RemoveProcedureHandler;

    // ---- Device operations ----------------------------------------------------------
    ErrorCode DeviceEscape(int func) override;
    ErrorCode DeviceFlush(int queue) override;
    ErrorCode DeviceGetStatus(apd::DeviceStatus& stat, std::uint32_t& lineErrors) override;
    void DeviceReadFailed() override;
    ErrorCode DeviceGetState(LineState& state) override;
    std::int32_t DeviceRead(std::uint8_t* buffer, std::uint32_t size) override;
    ErrorCode DeviceSetState(LineState& state) override;
    std::int32_t DeviceWrite(const std::uint8_t* buffer, std::uint32_t size) override;
    bool DeviceWaitEvent(std::uint32_t& mask) override;
    ErrorCode DeviceSetupQueues(std::uint32_t inSize, std::uint32_t outSize) override;
    ErrorCode StartDispatcher() override;
    void StopDispatcher() override;
    std::intptr_t DeviceOpen(const std::string& name, std::uint32_t inSize,
                             std::uint32_t outSize) override;
    ErrorCode DeviceClose() override;
    ErrorCode YieldTime() override;
    ErrorCode DeviceModemStatus(std::uint32_t& status) override;
    // No line: nothing is left to send once the output ring is empty, so line changes
    // (the open's among them) do not wait.
    std::uint32_t DeviceLineDrainMs(const LineState& framing, std::int32_t appliedBaud) override;

protected:
    bool DriverTogglesRts485() const override;
    void SetOutputThreadPriority(int level) override;

private:
    std::uint32_t OutputRingCount();

    // Guards the scripted device; a leaf lock, never held while calling the dispatcher.
    mutable std::mutex deviceLock_;
    std::vector<std::uint8_t> input_;
    std::size_t inputRead_ = 0;
    std::uint32_t readChunk_ = 0;
    int failReads_ = 0;
    int failReadsAfter_ = 0;
    std::int32_t failReadValue_ = -1;
    int readFailures_ = 0;
    std::vector<std::uint32_t> readRequests_;
    std::vector<std::uint8_t> written_;
    std::int32_t refuseWrites_ = 0;
    std::uint32_t lineErrors_ = 0;
    std::uint32_t modemLines_ = 0;
    std::int32_t refuseSetState_ = 0;
    bool refuseEscape_ = false;
    std::intptr_t openResult_ = 1;
    std::int32_t openError_ = 0;
    std::int32_t setupError_ = 0;
    ErrorCode startError_ = ecOK;
    bool driverTogglesRts_ = true;
    std::int32_t baseAddressAnswer_ = -1;
    std::uint32_t drainOnStatus_ = 0;
    int setStates_ = 0;
    int statusReads_ = 0;
    std::uint32_t pendingAtSetState_ = 0;
    std::vector<int> outputPriorities_;
    LineState line_;
    std::vector<int> escapes_;
    int inputFlushes_ = 0;
    int outputFlushes_ = 0;
    int starts_ = 0;
    int stops_ = 0;
    int closes_ = 0;
};

// Reads up to `count` bytes from the dispatcher's ring the way an application does, one
// GetChar at a time, until the ring has no more.
std::string ReadChars(TApdBaseDispatcher& dispatcher, std::size_t count);

} // namespace apd::testing
