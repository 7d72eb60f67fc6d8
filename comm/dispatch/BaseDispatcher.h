#pragma once
// The communications dispatcher of one open port: the receive ring, the send path, the
// line state, the triggers and the delivery of their notifications. Everything that touches
// the operating system is an abstract operation of the device layer.
//
// Locks. DataLock guards the trigger and handler lists, the line state and the tracing and
// logging state; OutputLock the send path, the output ring and the device status record;
// InputLock the receive ring (InputRing: its storage, indexes and scan position) and the
// read accounting of a notification. All three are re-entrant. Nesting goes one way only:
// InputLock, then DataLock, then OutputLock. A thread holding DataLock never takes
// InputLock, and a thread holding OutputLock takes neither of the others; device
// operations that run under OutputLock (DeviceGetStatus, DeviceWrite, DeviceEscape) must
// therefore take no lock but OutputLock. No lock is held while a handler runs.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "comm/dispatch/DispatchLogRing.h"
#include "comm/dispatch/LineRequest.h"
#include "comm/dispatch/LineState.h"
#include "comm/dispatch/ReceiveRing.h"
#include "comm/dispatch/TraceRing.h"
#include "comm/dispatch/TriggerRecords.h"
#include "comm/dispatch/TriggerTable.h"
#include "comm/errors/ErrorCodes.h"
#include "comm/platform/Messaging.h"

namespace apd {

class TApdBaseComponent; // the port component that owns a dispatcher

using ReentrantLock = std::recursive_mutex;
using LockHold = std::lock_guard<ReentrantLock>;

// Bits of the Options argument of OpenDevicePort.
inline constexpr std::uint8_t OpenRaiseDtr = 1;
inline constexpr std::uint8_t OpenRaiseRts = 2;
inline constexpr std::uint8_t OpenDtrFlowControl = 16;
inline constexpr std::uint8_t OpenRtsFlowControl = 32;

// Queues of DeviceFlush.
inline constexpr int FlushOutputQueue = 0;
inline constexpr int FlushInputQueue = 1;

// Modes of UpdateHandlerFlags.
inline constexpr int HandlerFlagsRecompute = 0;
inline constexpr int HandlerFlagsPortActive = 1;
inline constexpr int HandlerFlagsPortInactive = 2;

// Time a window handler has to answer a notification.
inline constexpr unsigned WindowNotifyTimeoutMs = 3000;

class TApdBaseDispatcher {
public:
    explicit TApdBaseDispatcher(TApdBaseComponent* owner);
    TApdBaseDispatcher(const TApdBaseDispatcher&) = delete;
    TApdBaseDispatcher& operator=(const TApdBaseDispatcher&) = delete;
    virtual ~TApdBaseDispatcher();

    // ---- Device operations, in slot order -------------------------------------------
    // One result style for all of them:
    // - an operation that succeeds or fails returns ErrorCode: ecOK (0) or a negative code;
    // - an operation that transfers bytes returns a std::int32_t count, negative on failure;
    // - a query fills an out-parameter and returns ErrorCode; on failure the out-parameter
    //   holds the value stated for it (no line errors, no modem lines), which callers use
    //   as they are.
    // Two waits answer whether what they waited for happened (bool), DeviceReadFailed is
    // only told of a failure, and DeviceOpen returns the device's handle, which the port
    // component keeps. The negative codes a device layer gives are passed on unchanged.

    // A line function (EscapeSetRts ... EscapeClearDtr): ecOK or a negative code. For
    // EscapeGetBaseAddress the UART's base address instead, negative when there is none.
    virtual ErrorCode DeviceEscape(int func) = 0;
    // Discards a device queue (FlushOutputQueue or FlushInputQueue): ecOK or a negated
    // system error code.
    virtual ErrorCode DeviceFlush(int queue) = 0;
    // Fills stat and lineErrors with the device's line error bits. The pending-output
    // count is that of the dispatcher's own output ring. When the device cannot tell, stat
    // holds only that count and lineErrors is 0. Called with OutputLock held.
    virtual ErrorCode DeviceGetStatus(apd::DeviceStatus& stat, std::uint32_t& lineErrors) = 0;
    // What a read needs of the status: the new line error bits, and the bytes waiting, or
    // InputCountUnknown when a read of all the ring has room for is as cheap as asking
    // (a read of a device that holds nothing returns 0). The default reads the whole
    // status into DeviceStatus. Called with OutputLock held.
    virtual ErrorCode DeviceGetInputStatus(std::uint32_t& waiting, std::uint32_t& lineErrors);
    // What a write needs of the status: the bytes pending output and the new line error
    // bits. The default reads the whole status into DeviceStatus. Called with OutputLock
    // held.
    virtual ErrorCode DeviceGetOutputStatus(std::uint32_t& pending, std::uint32_t& lineErrors);
    static constexpr std::uint32_t InputCountUnknown = 0xFFFFFFFF;
    // Told after DeviceRead returned a negative count.
    virtual void DeviceReadFailed() = 0;
    // Reads the device's line state: ecOK or -1.
    virtual ErrorCode DeviceGetState(LineState& state) = 0;
    // Reads up to size bytes without waiting; the count read, negative on failure.
    virtual std::int32_t DeviceRead(std::uint8_t* buffer, std::uint32_t size) = 0;
    // Applies a line state: ecOK or a negated system error code.
    virtual ErrorCode DeviceSetState(LineState& state) = 0;
    // Queues size bytes for sending; the count accepted, 0 or negative on failure.
    virtual std::int32_t DeviceWrite(const std::uint8_t* buffer, std::uint32_t size) = 0;
    // Waits for a device event of the mask in force and reports the events in mask. The
    // device layer defines how the wait is ended; true when an event was reported.
    virtual bool DeviceWaitEvent(std::uint32_t& mask) = 0;
    // Asks the driver for queues of the given sizes: ecOK, or a negative code with
    // LastSystemError set.
    virtual ErrorCode DeviceSetupQueues(std::uint32_t inSize, std::uint32_t outSize) = 0;
    // Waits until the bytes written so far have left: the output ring and the driver's
    // queue, at most CloseDrainBoundMs of what is pending, given the line time of one
    // character. True when everything left, false when the bound ran out, the device is
    // lost or cannot tell; the close then discards the rest. Takes no lock while it waits.
    // The default does not wait and answers false.
    virtual bool DeviceDrainOutput(std::uint32_t /*characterMicros*/) { return false; }
    // How long the driver and the UART may still need, once the output ring is empty, for
    // the characters they hold, in milliseconds. The default is the time of 18 characters
    // (DrainSleepMilliseconds); a device without a line has nothing to wait for.
    virtual std::uint32_t DeviceLineDrainMs(const LineState& framing, std::int32_t appliedBaud);
    // Stops the threads when they run, then releases both buffers (each once).
    virtual void FreePortResources();
    // Starts whatever serves the open port (the thread layer's threads): ecOK, or the
    // error that kept it from starting, with nothing left running.
    virtual ErrorCode StartDispatcher() = 0;
    virtual void StopDispatcher() = 0;
    // Opens the device: a handle that is not negative, -8 when the device layer could not
    // create its own resources, any other negative value with LastSystemError set.
    virtual std::intptr_t DeviceOpen(const std::string& name, std::uint32_t inSize,
                                     std::uint32_t outSize) = 0;
    // Closes the device: ecOK or -1.
    virtual ErrorCode DeviceClose() = 0;
    virtual ErrorCode YieldTime() = 0;
    virtual void SetThreadPriorityBoost(std::uint8_t boost);
    // Mode 0 recomputes NotifyNeeded, mode 1 marks the owning component's window as
    // wanting notifications, mode 2 as not wanting them; other modes change nothing.
    virtual void UpdateHandlerFlags(int mode);

    // Fills status with the device's modem status register: CTS 0x10, DSR 0x20, RI 0x40,
    // DCD 0x80; 0 when the device cannot tell.
    virtual ErrorCode DeviceModemStatus(std::uint32_t& status) = 0;

    // ---- Port lifetime --------------------------------------------------------------
    // 0 or a negative error code; a failed open leaves the dispatcher closed.
    // The line is set as SetLineSettings sets it.
    ErrorCode OpenDevicePort(const std::string& name, const LineRequest& line, std::uint32_t inSize,
                             std::uint32_t outSize, std::uint8_t options);
    // Lets written bytes leave first (DeviceDrainOutput), then discards what is left of the
    // output, discards the input and closes the device.
    void CloseDevicePort();
    ErrorCode SetQueueSizes(std::uint32_t inSize, std::uint32_t outSize);

    // ---- Receive side ---------------------------------------------------------------
    bool CharReady();
    // The byte at 1-based position n from the oldest waiting byte; nothing is consumed.
    ErrorCode PeekChar(std::uint8_t& c, std::uint32_t n);
    ErrorCode GetChar(std::uint8_t& c);
    // The `length` oldest waiting bytes into block, taking InputLock once for the whole
    // block: length on success, 0 for a length of 0, ecGetBlockFail when fewer bytes wait
    // (nothing is copied or consumed). PeekBlock counts from the tail as PeekChar does and
    // consumes nothing; GetBlock consumes as that many GetChar calls would, read accounting
    // of a notification and trace entries included.
    std::int32_t PeekBlock(std::uint8_t* block, std::uint32_t length);
    std::int32_t GetBlock(std::uint8_t* block, std::uint32_t length);
    std::uint32_t InBuffUsed();
    ErrorCode FlushInBuffer();
    // Moves what the device holds into the ring, as far as it has room. True when data was
    // or is present.
    bool FillDispatchBuffer();

    // ---- Send side ------------------------------------------------------------------
    ErrorCode PutChar(std::uint8_t c);
    ErrorCode PutBlock(const std::uint8_t* data, std::uint32_t length);
    std::uint32_t OutBuffUsed();
    std::uint32_t OutBuffFree();
    ErrorCode FlushOutBuffer();

    // ---- Triggers and handlers ------------------------------------------------------
    // A new data trigger handle, or ecTriggerTooLong for more than 21 bytes.
    std::int32_t AddDataTrigger(const std::uint8_t* data, bool ignoreCase, std::uint32_t length);
    void SetAvailTriggerLength(std::int32_t length);
    void RemoveAllTriggers();
    void SaveTriggers(TriggerSnapshot& snapshot);
    void RestoreTriggers(const TriggerSnapshot& snapshot);
    static void FreeSavedTriggers(TriggerSnapshot& snapshot);
    void RegisterWindowHandler(platform::WindowHandle window);
    void DeregisterWindowHandler(platform::WindowHandle window);
    static constexpr std::int32_t StatusKindOf(std::int32_t handle) { return handle & 7; }

    // Checks, run by the dispatch thread; each delivers at most one notification and
    // returns true when it did and should be called again.
    bool CheckDataTriggers();
    bool CheckStatusTriggers();
    bool CheckTimerTriggers();
    void ResetStatusHits();
    void ResetDataTriggerState();
    // Delivers one notification to every handler. False when a handler closed the port or
    // an avail notification's bytes were not all read. Nothing is delivered once a stop or
    // a deferred close has begun (DeliveriesStopped), and a delivery ends at the first
    // handler after which one has; false then.
    bool NotifyHandlers(std::uint32_t msg, std::uint32_t wParam, std::uint32_t data);

    // ---- Line, modem status and flow control ----------------------------------------
    // All line changes read the device's line state, change fields and apply it through
    // ApplyLineState, under DataLock.

    // Fields absent from the request keep the current value; stop bits 0 and 1 mean one,
    // any other value two. 0 without touching the device when the line already is the one
    // asked for; otherwise pending output is let drain first (without DataLock) and the
    // result is that of the apply.
    ErrorCode SetLineSettings(LineRequest request);
    // The device's line; stop bits 1 for one stop bit, 2 for anything longer.
    void GetLineSettings(std::uint32_t& baud, std::uint16_t& parity, std::uint8_t& dataBits,
                         std::uint8_t& stopBits);
    // Waits (at most about 10 s) until the output ring is empty, then for the time the
    // last characters need to leave the UART (DeviceLineDrainMs).
    void WaitOutputDrained();
    // Sets the DTR and RTS line modes that flow control does not own from DtrOn and RtsOn,
    // applies the record, remembers its baud as applied (even when the device refused it)
    // and sets the DTR and RTS levels again (RTS not in RS-485 mode). The device's result.
    ErrorCode ApplyLineState(LineState& state);
    // 1 without touching the line when flow control drives it; otherwise the level is
    // requested (and remembered whatever the outcome) and the result is ecBadArgument when
    // the device refused, else the device's result.
    std::int32_t SetDTR(bool on);
    std::int32_t SetRTS(bool on);
    // Loads the device's modem lines into the shadow, keeping its change bits, adds the
    // ring change bit for a ring event seen since, returns the shadow's low byte and then
    // keeps only the shadow bits in mask.
    std::uint8_t ReadModemStatus(std::uint8_t mask);
    // Reads the modem lines and sets the change bit of every line that differs from the
    // shadow.
    void RefreshModemStatus();
    // Adds the device's new line error bits to LineErrorFlags and refreshes DeviceStatus.
    void RefreshLineStatus();
    // OutputLock held. As RefreshLineStatus, asking the device only what a read
    // (DeviceGetInputStatus) or a write (DeviceGetOutputStatus) needs; returns the bytes
    // waiting (or InputCountUnknown), or the bytes pending output.
    std::uint32_t RefreshInputStatus();
    std::uint32_t RefreshOutputStatus();
    // The first line error in the order overflow 1, overrun 2, parity 3, framing 4,
    // break 9, or 0; once one is found the four error bits (not the break bit) are cleared.
    std::int32_t GetLineError();
    // Whether a break was received since the last call; clears it.
    bool CheckLineBreak();
    // Hardware flow control with its thresholds (HwFlow... options; none switches it off).
    // ecBadArgument without touching the device when bufferFull < bufferResume or
    // bufferFull > InQueueSize. In RS-485 mode, where the driver drives RTS itself, RTS
    // takes the toggle mode whatever the options say.
    ErrorCode SetHWFlowControl(std::uint32_t bufferFull, std::uint32_t bufferResume,
                               std::uint32_t options);
    // Switches on software flow control in the SwFlow... directions (a direction already on
    // stays on) with the characters 17 and 19; validation as SetHWFlowControl.
    ErrorCode SetSWFlowControl(std::uint32_t bufferFull, std::uint32_t bufferResume,
                               std::uint32_t options);
    ErrorCode ClearSWFlowControl();
    ErrorCode SetFlowChars(std::uint8_t xon, std::uint8_t xoff);
    // The flow control in force, in the encodings of SetHWFlowControl and
    // SetSWFlowControl; the result of reading the device's line state.
    ErrorCode GetFlowOptions(std::uint32_t& hwOptions, std::uint32_t& swOptions, std::uint8_t& xon,
                             std::uint8_t& xoff);
    void SetOptionFlags(std::uint32_t bits);
    void ClearOptionFlags(std::uint32_t bits);
    // RS-485 transmit control on or off. On: the output thread runs one priority step above
    // the others, and where the driver does not drive RTS itself the UART base address is
    // asked for. Off: an RTS left in toggle mode returns to its requested level; the
    // result is that apply's, else 0.
    ErrorCode SetRS485Mode(bool on);

    // ---- Trace and dispatch log -----------------------------------------------------
    // All under DataLock. Dumps write CR LF lines with no line end after the last one and
    // return 0 or minus the system error code of a failed open, write or close.
    // Starts or restarts (empties) the trace: 0, or ecBadArgument for more than
    // MaxTraceEntries and nothing changes. A trace of 0 entries is no trace.
    ErrorCode InitTracing(std::uint32_t numEntries);
    ErrorCode ClearTracing();
    void AbortTracing();
    void StartTracing();
    void StopTracing();
    // Records nothing unless tracing is on.
    void AddTraceEntry(char kind, std::uint8_t byte);
    // Write the trace to a new file, or append it to a file, and discard it. An empty
    // trace is discarded without touching any file.
    ErrorCode DumpTrace(const std::string& fileName, bool inHex, bool allHex);
    ErrorCode AppendTrace(const std::string& fileName, bool inHex, bool allHex);

    // Starts or restarts (empties) a log of size bytes.
    void InitLogging(std::uint32_t size);
    void ClearLogging();
    void AbortLogging();
    void StartLogging();
    void StopLogging();
    // Records nothing unless logging is on; value is the entry's Data field.
    void AddLogEntry(std::uint8_t type, std::uint8_t subType, std::uint32_t value,
                     const std::uint8_t* data, std::uint32_t length);
    // Write the log to a new file, or append it to a file, and discard it. An empty log
    // is discarded without touching any file; when the file cannot be opened the log keeps
    // its entries and stays paused.
    ErrorCode DumpLog(const std::string& fileName, bool inHex, bool allHex);
    ErrorCode AppendLog(const std::string& fileName, bool inHex, bool allHex);

    // ---- Identity and flags the thread layer and the component read -----------------
    TApdBaseComponent* const Owner;
    std::int32_t DispatcherHandle = -1; // index in DispatcherRegistry, fixed at construction

    std::atomic<bool> StopThreads{false};
    std::atomic<bool> DispatcherActive{false};
    std::atomic<bool> ReleaseOnExit{false};
    std::atomic<bool> CloseDeferred{false};
    std::atomic<bool> Notifying{false};
    // The thread the handler being called in the delivery in progress runs on; 0 between
    // handlers. A close on that thread comes from inside the handler.
    std::atomic<platform::ThreadId> HandlerThread{0};
    std::atomic<bool> InDataNotification{false};
    std::atomic<bool> RingEventSeen{false};
    std::atomic<bool> AnyStatusHit{false};
    std::atomic<bool> TracingOn{false};
    std::atomic<bool> LoggingOn{false};
    std::atomic<std::uint32_t> CommEventMask{0};
    std::atomic<std::uint32_t> LineErrorFlags{0};
    std::atomic<bool> OutputSentFlag{false};

    // True once the threads are asked to stop or a close from inside a delivery has begun:
    // from then on no notification is delivered.
    bool DeliveriesStopped() const { return StopThreads || CloseDeferred; }

protected:
    // The first step of destruction, which the base destructor cannot take because the
    // device operations are gone by then: every concrete dispatcher's destructor calls it.
    // Frees the resources of a deferred close, or closes the port.
    void ShutDownPort();

    // Run a synchronized method handler on the main thread and wait for it. The thread
    // layer provides the main-thread call; until then the method is called directly.
    virtual void SyncNotify(std::uint32_t msg, std::uint32_t wParam, const NotifyMethod& method,
                            std::uint32_t lParam);
    // The thread SyncNotify runs a handler on.
    virtual platform::ThreadId SyncNotifyThread() const { return platform::CurrentThreadId(); }
    // Whether a close during a delivery must be left for the delivery to finish (deferred)
    // rather than wait for it. Without threads of its own a dispatcher cannot wait, so
    // every close during a delivery is deferred; the thread layer can wait unless the
    // close comes from inside a handler of that delivery.
    virtual bool CloseMustBeDeferred() const { return true; }
    // Creates the event objects of the dispatcher threads; the thread layer overrides it.
    virtual void CreateDispatcherEvents() {}
    // Called with DataLock held when a trigger is added, the triggers are restored, the
    // avail threshold is set or the handler flags change, so that the thread layer can look
    // at them at once, also while the line is idle. Takes no lock of the dispatcher.
    virtual void TriggersChanged() {}
    // True when the driver itself drives RTS around each transmission in RS-485 mode (the
    // RTS toggle line mode). When false, PutBlock raises RTS before each write and needs
    // UartBaseAddress.
    virtual bool DriverTogglesRts485() const { return true; }
    // Gives the output thread, where it exists, a priority level (3 normal, PriorityBoost
    // included). The thread layer overrides it.
    virtual void SetOutputThreadPriority(int /*level*/) {}

    // Procedure and method handlers: the component registers none, so these are for the
    // device layer and test doubles. Removal during a delivery only marks the record.
    void AddProcedureHandler(NotifyProcedure proc);
    void RemoveProcedureHandler(NotifyProcedure proc);
    void AddMethodHandler(const NotifyMethod& method, bool synchronized);
    void RemoveMethodHandler(const NotifyMethod& method);

    // The positive system error code of the last failed DeviceOpen or DeviceSetupQueues,
    // set by the device layer.
    std::int32_t LastSystemError = 0;

    std::intptr_t DeviceHandle = -1;

    ReentrantLock DataLock;
    ReentrantLock OutputLock;
    ReentrantLock InputLock;

    std::uint32_t InQueueSize = 0;  // DataLock
    std::uint32_t OutQueueSize = 0; // OutputLock

    // Receive ring, with the read accounting of the notification in progress: InputLock.
    ReceiveRing InputRing;
    std::uint32_t HandlerReadCount = 0;
    std::uint32_t MaxHandlerReadCount = 0;

    // Output ring, filled by DeviceWrite and drained by the output side: OutputLock.
    std::unique_ptr<std::uint8_t[]> OutputBuffer;
    std::uint32_t OutputHead = 0;
    std::uint32_t OutputTail = 0;
    bool OutputBufferFull = false;
    apd::DeviceStatus DeviceStatus; // OutputLock

    // Line state: DataLock.
    LineState DCB;
    std::int32_t AppliedBaud = 115200;
    std::atomic<bool> DtrOn{false};
    std::atomic<bool> DtrUnderFlowControl{false};
    std::atomic<bool> RtsOn{false};
    std::atomic<bool> RtsUnderFlowControl{false};
    std::atomic<bool> RS485Mode{false};
    std::atomic<std::uint16_t> UartBaseAddress{0};
    std::uint32_t OptionFlags = 0;
    std::uint32_t ModemStatusShadow = 0;
    std::uint32_t LogStartTime = 0;
    std::uint8_t PriorityBoost = 0;

    // Trace and dispatch log: DataLock.
    TraceRing Trace;
    DispatchLogRing Log;

    // Triggers and handlers: DataLock.
    std::vector<WindowHandler> WindowHandlers;
    std::vector<ProcedureHandler> ProcedureHandlers;
    std::vector<MethodHandler> MethodHandlers;
    TriggerTable Triggers;
    bool NotifyNeeded = false;
    bool PortHandlerActive = false;
    bool HandlersDeleted = false;

private:
    // InputLock held: stores bytes just read into the ring at the head.
    void StoreRead(std::uint32_t count);
    // InputLock held: bytes from the tail through pos - back, less the bytes already read
    // in the current notification.
    std::int64_t CountThrough(std::uint32_t pos, std::uint32_t back) const;
    // OutputLock held: refreshes DeviceStatus and returns the device's line error bits.
    std::uint32_t ReadDeviceStatus();
    void ReleaseBuffers();
    void SweepDeletedHandlers();
    bool WindowHandlersWanted() const;
    // Per-handler read accounting of a notification.
    void BeginHandlerReads();
    void EndHandlerReads();
    // The common part of the dump and append forms.
    ErrorCode WriteTrace(const std::string& fileName, bool append, bool inHex, bool allHex);
    ErrorCode WriteLog(const std::string& fileName, bool append, bool inHex, bool allHex);
};

} // namespace apd
