#pragma once
// A serial device as the dispatcher's device operations and worker threads use it: opened
// for exclusive use, never blocking the caller on the line, with an event wait and a
// writability wait that other threads can end at once.
//
// Threads: Read, GetStatus, the waits and Write may run on different threads at the same
// time, and together with the calls of the thread that owns the device (GetState,
// SetState, Escape, the purges, SetEventMask). Open and Close belong to the owning thread;
// Close ends the waits in progress and returns once every call in progress has left, so
// no call ever works on a descriptor that has been closed or reused.
//
// Results are 0 (or a count) on success, else a negative code: ecCommNotOpen when no
// device is open, ecNotSupported for what the driver cannot do, otherwise the library's
// code of the same meaning (on POSIX from the table of ErrnoTranslation.h; an errno value
// without one is a SystemErrorCode) or on Windows a negated Windows error code. Open
// gives ecFileNotFound (-2) for a device that does not exist, ecAlreadyOpen for one held
// by another program (or another open in this one), ecAccessDenied (-5) where the user
// may not open it, ecBadArgument for a name holding a NUL character and, on POSIX,
// ecBadId for a pseudo-terminal's master side (/dev/ptmx).
//
// Device loss: when the device goes away (a USB adapter pulled, the far end of a
// pseudo-terminal closed) the event wait reports DeviceLost, and every later call fails
// with DeviceLostCode() (ecDeviceLost on both platforms) until Close, which works as usual.

#include "comm/device/DeviceEvents.h"
#include "comm/dispatch/LineState.h"
#include "comm/errors/ErrorCodes.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace apd {

enum class EventWaitResult {
    Events,           // `events` holds at least one bit of the mask in force
    Cancelled,        // the mask was changed (SetEventMask) or the device is closing; also
                      // at once when the mask is 0
    InvalidParameter, // the mask has a bit the driver cannot report (EventRingTrailingEdge)
    DeviceLost,
    NotOpen,
    Failed, // the wait itself failed (for instance out of resources)
};

enum class WriteWaitResult {
    Writable, // a Write now takes at least one byte (or reports the loss)
    TimedOut,
    Cancelled, // CancelWrite, PurgeOutput or Close
    DeviceLost,
    NotOpen,
    Failed,
};

// The code calls fail with once the device has gone.
ErrorCode DeviceLostCode();

// A device that is already open, as the platform identifies it: a file descriptor on
// POSIX, a HANDLE on Windows.
using NativeDeviceHandle = std::intptr_t;

class SerialDevice {
public:
    SerialDevice();
    ~SerialDevice(); // closes the device
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;

    // Opens `name` (a "\\.\COMn" name, resolved by ResolvePortName, or a path) for
    // exclusive use, in raw mode with non-blocking reads. ecAlreadyOpen while open;
    // ecOutOfMemory when the wait handles cannot be made.
    ErrorCode Open(std::string_view name);
    // Takes over a device that another party has opened (a telephony service hands its
    // line over so): on POSIX a terminal's descriptor open for reading and writing, on
    // Windows a serial device's HANDLE opened with FILE_FLAG_OVERLAPPED (the driver's
    // waits would block without it). It is set up as Open sets up what it opens (on POSIX
    // the exclusive lock, raw mode and non-blocking reads; on Windows the raw transfer,
    // the read time-outs and the wait handles), every call then works as after Open, and
    // Close closes it. Path() is the terminal's name where POSIX can tell it, else empty.
    // On Windows the named claim that refuses a second Open in this session is not made,
    // since the handle does not tell its port's name; Windows' driver refuses one itself
    // (Wine's does not).
    // On failure nothing is taken: the handle stays open and the caller's, with its
    // settings as they were. ecAlreadyOpen while open; ecBadHandle for a handle that is
    // not open (or on POSIX not open for both reading and writing); ecNotSupported on
    // POSIX, or the negated error of GetCommState on Windows, for a device that is not
    // serial (ecBadId on POSIX for a pseudo-terminal's master side); ecAlreadyOpen when
    // another open holds the device; ecOutOfMemory when the wait handles cannot be made.
    ErrorCode Adopt(NativeDeviceHandle handle);
    // ecOK when a device was closed, ecCommNotOpen when none was open.
    ErrorCode Close();

    // Asks the driver for input and output queues of these sizes. Drivers treat them as
    // advice; a terminal device keeps queues of its own size and only checks that it is
    // open. ecCommNotOpen when closed, else ecOK or a negated OS error code.
    ErrorCode SetupQueues(std::uint32_t inSize, std::uint32_t outSize);

    bool IsOpen() const;
    bool IsLost() const;
    std::string Path() const; // the path opened; empty when closed

    // The line state the device holds; what termios does not carry comes from the last
    // applied record.
    ErrorCode GetState(LineState& state);
    // Applies `state` exactly or fails: ecNotSupported (nothing touched) for what a
    // terminal device cannot do, ecBadArgument for invalid values or for a request the
    // driver refused or silently did not hold (it is then put back as it was). The RTS toggle
    // mode is the driver's RS-485 mode (Rs485.h): ecNotSupported where it has none.
    ErrorCode SetState(const LineState& state);

    // EscapeSetRts, EscapeClearRts, EscapeSetDtr, EscapeClearDtr; ecBadArgument for any
    // other function; ecNotSupported where the driver has no modem lines.
    ErrorCode Escape(int function);
    // The modem lines in the UART modem-status-register layout (0x10 CTS, 0x20 DSR,
    // 0x40 RI, 0x80 DCD); ecNotSupported where the driver has no modem lines.
    ErrorCode ModemStatus(std::uint8_t& status);

    // Bytes waiting in the input queue (cbInQue; cbOutQue is the driver's count where it
    // has one) and in `lineErrors` the line error bits (LineErrorRxOver ...) that arose
    // since the previous call. Where the driver cannot tell, as on a pseudo-terminal, the
    // bits stay 0.
    ErrorCode GetStatus(DeviceStatus& status, std::uint32_t& lineErrors);
    // Parts of GetStatus for callers that need no more, each as cheap as the driver
    // allows: the line error bits since the previous look (no system call where the
    // driver cannot tell them), and the bytes waiting to be read.
    ErrorCode LineErrors(std::uint32_t& lineErrors);
    ErrorCode InputWaiting(std::uint32_t& count);

    // Never blocks: the bytes read, 0 when none are waiting, or a negative code.
    std::int32_t Read(void* buffer, std::size_t size);
    // Never blocks: the bytes the driver took now (0 when it takes none at the moment, for
    // instance under XOFF), or a negative code.
    std::int32_t Write(const void* buffer, std::size_t size);
    // Waits until Write can take bytes; timeoutMs < 0 waits without time-out. After a Write
    // that took nothing the wait first pauses 10 ms, since some drivers report room they
    // then do not give. One thread waits at a time (the output thread).
    WriteWaitResult WaitWritable(int timeoutMs);
    // Ends the WaitWritable in progress at once; when none is in progress, the next one
    // returns Cancelled at once (so a cancel between a Write and its wait is not lost).
    void CancelWrite();

    // Bytes the driver still holds for sending: the output queue where the driver counts
    // it (a pseudo-terminal always reports 0), and on Windows also a write it has not
    // completed. A negative code when closed or lost.
    std::int32_t OutputQueued();

    // Discards the input queue.
    ErrorCode PurgeInput();
    // Discards what the driver holds for output and cancels the writability wait.
    ErrorCode PurgeOutput();

    // The events the wait reports (DeviceEvents.h). Any mask is stored; ending the wait in
    // progress with Cancelled. A mask of 0 makes waits return at once.
    ErrorCode SetEventMask(std::uint32_t mask);
    std::uint32_t EventMask() const;

    // Waits for an event of the mask in force, without spinning: EventRxChar when input is
    // waiting that was not reported yet, or that is still waiting after a Read since the
    // last report (input left unread with no Read is reported again only when more
    // arrives; the queue is looked at every 50 ms then), modem-line changes (checked every
    // 50 ms where the driver has modem lines) and line errors and breaks (from the
    // driver's counters). Where the driver reports neither, as on a pseudo-terminal, an
    // idle wait costs nothing. One thread waits at a time (the comm thread).
    EventWaitResult WaitEvent(std::uint32_t& events);

    // For the thread that waits for events, while it is away from WaitEvent: sleeps up to
    // timeoutMs (< 0: without limit) until input is waiting (when watchInput), the device
    // goes, Close begins or InterruptSleep is called. Input that is already waiting ends it
    // at once, so the caller reads what is there before it sleeps again. A sleep ended by
    // InterruptSleep may also end the next WaitEvent's round early, which then looks again.
    // False, at once, when the device is closed, closing or lost, or where the platform's
    // event wait is the driver's own and cannot be taken apart so (Windows).
    bool SleepUntilReadable(int timeoutMs, bool watchInput);
    // Ends the SleepUntilReadable in progress, or the next one when none is. Any thread.
    void InterruptSleep();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace apd
