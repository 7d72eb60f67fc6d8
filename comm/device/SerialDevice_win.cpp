// The Windows backend of SerialDevice: the serial driver opened for overlapped I/O, with
// event and write waits that a cancel event or a new event mask ends at once.
//
// Every overlapped operation is finished (completed, or cancelled and then completed)
// before the call that started it returns, so no record or buffer is used by the driver
// after its call has left, and Close finds nothing in flight once the gate is idle.

#include "comm/device/DcbAccess_win.h"
#include "comm/device/DcbTranslation.h"
#include "comm/device/PortName.h"
#include "comm/device/SerialBackend.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <mutex>
#include <vector>

namespace apd {
namespace {

// How often a wait that the driver cannot end by itself looks at the device: input left
// unread, modem lines and errors while input sits, and the device's presence.
constexpr DWORD UnreadInputCheckMs = 50;
constexpr DWORD PresenceCheckMs = 200;
// How often the device is looked at where the driver cannot wait for events at all.
constexpr DWORD PollIntervalMs = 5;
// Bound of the wait for an operation the driver should complete at once (a read of bytes
// already queued, an aborted write or event wait) before it is cancelled.
constexpr DWORD PromptCompletionMs = 200;
// The most one Write hands to the driver; the rest is left to the next Write.
constexpr std::size_t MaxWriteChunk = 64 * 1024;

constexpr std::uint32_t EventsModemLinesMask = EventCts | EventDsr | EventRlsd | EventRing;

// Errors after which the device is gone for good (a USB adapter pulled, a driver that
// failed, a far end that vanished).
bool MeansDeviceLost(DWORD error) {
    switch (error) {
    case ERROR_ACCESS_DENIED: // what USB serial drivers report once unplugged
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_COMMAND:
    case ERROR_NOT_READY:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_FILE_NOT_FOUND:
        return true;
    default:
        return false;
    }
}

ErrorCode OpenFailure(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ecFileNotFound;
    // CreateFile of a COM port that another program holds fails with access denied:
    // serial drivers allow one open at a time.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return ecAlreadyOpen;
    default:
        return -static_cast<ErrorCode>(error);
    }
}

// "\\.\COMn" for a COM port name in any form, else the name as given.
std::string DevicePathFor(std::string_view name) {
    if (const unsigned n = ComPortNumber(name); n != 0) {
        return "\\\\.\\COM" + std::to_string(n);
    }
    return std::string(name);
}

// The name of the object that marks a device as open in this session.
std::string ClaimNameFor(const std::string& path) {
    std::string name = "Local\\apd-serial-";
    for (char c : path) {
        const auto u = static_cast<unsigned char>(c);
        name += (u == '\\' || u == '.' || u == ':') ? '_' : static_cast<char>(std::toupper(u));
    }
    return name;
}

// The COMSTAT flag bits in their documented positions.
std::uint32_t ComstatFlags(const COMSTAT& s) {
    return (s.fCtsHold ? 0x01u : 0) | (s.fDsrHold ? 0x02u : 0) | (s.fRlsdHold ? 0x04u : 0) |
           (s.fXoffHold ? 0x08u : 0) | (s.fXoffSent ? 0x10u : 0) | (s.fEof ? 0x20u : 0) |
           (s.fTxim ? 0x40u : 0);
}

// Device events for line error flags of ClearCommError.
std::uint32_t EventsForErrors(DWORD errors) {
    std::uint32_t events = 0;
    if ((errors & CE_BREAK) != 0) {
        events |= EventBreak;
    }
    if ((errors & (CE_FRAME | CE_OVERRUN | CE_RXPARITY)) != 0) {
        events |= EventErr;
    }
    return events;
}

// Device events for a change of GetCommModemStatus bits (MS_CTS_ON ...).
std::uint32_t EventsForModemChange(DWORD before, DWORD after) {
    const DWORD changed = before ^ after;
    std::uint32_t events = 0;
    if ((changed & MS_CTS_ON) != 0) {
        events |= EventCts;
    }
    if ((changed & MS_DSR_ON) != 0) {
        events |= EventDsr;
    }
    if ((changed & MS_RLSD_ON) != 0) {
        events |= EventRlsd;
    }
    if ((after & ~before & MS_RING_ON) != 0) {
        events |= EventRing;
    }
    return events;
}

// A manual-reset event handle, closed when it goes.
class EventHandle {
public:
    EventHandle() = default;
    ~EventHandle() { Reset(); }
    EventHandle(const EventHandle&) = delete;
    EventHandle& operator=(const EventHandle&) = delete;
    bool Create(bool manualReset) {
        Reset();
        handle_ = ::CreateEventA(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
        return handle_ != nullptr;
    }
    void Reset() {
        if (handle_ != nullptr) {
            ::CloseHandle(handle_);
            handle_ = nullptr;
        }
    }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_ = nullptr;
};

} // namespace

// The open device, its wait handles, the write in progress and the records the backend
// keeps beside the core's.
struct SerialBackend::Native {
    explicit Native(SerialDeviceCore& c) : core(c) {}

    // Records a failure of a call on the open device: one that means the device is gone
    // marks it lost for good and is reported as DeviceLostCode().
    ErrorCode Fail(DWORD error) {
        if (MeansDeviceLost(error)) {
            core.lost = true;
            return DeviceLostCode();
        }
        return -static_cast<ErrorCode>(error);
    }

    // ClearCommError, keeping the error flags for GetStatus. ecOK, or the failure's code (the
    // loss of the device once it is lost).
    ErrorCode ReadComStat(COMSTAT& stat, DWORD& errors) {
        errors = 0;
        if (!::ClearCommError(handle, &errors, &stat)) {
            const ErrorCode failure = Fail(::GetLastError());
            return core.lost ? DeviceLostCode() : failure;
        }
        std::lock_guard lock(core.stateMutex);
        pendingErrors |= errors & 0x1F;
        return ecOK;
    }

    // The driver mask for a requested mask: without bits it refused and the trailing edge.
    // core.stateMutex held.
    std::uint32_t DriverMask(std::uint32_t mask) const {
        return mask & EventsSupported & ~refusedEvents;
    }

    // Waits for an overlapped operation that has been asked to end; cancels it when it
    // does not end promptly. The transferred count, or 0.
    DWORD FinishOverlapped(OVERLAPPED& ov, bool& ok) {
        if (::WaitForSingleObject(ov.hEvent, PromptCompletionMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(handle, &ov);
        }
        DWORD n = 0;
        ok = ::GetOverlappedResult(handle, &ov, &n, TRUE) != FALSE;
        if (!ok) {
            n = 0;
        }
        ::ResetEvent(ov.hEvent);
        return n;
    }

    // Finishes a completed or abandoned write; writeMutex held.
    void SettleWrite(bool abandon) {
        if (!writePending) {
            return;
        }
        DWORD n = 0;
        if (abandon) {
            bool ok = false;
            FinishOverlapped(writeOverlap, ok);
        } else if (!::GetOverlappedResult(handle, &writeOverlap, &n, TRUE)) {
            Fail(::GetLastError());
        }
        ::ResetEvent(writeOverlap.hEvent);
        writePending = false;
    }

    // Makes `h`, a serial device opened for overlapped I/O, the open device: raw binary
    // transfer, reads that return at once with what the driver holds, no events asked
    // for, the wait handles and the wait's baselines. On failure the line settings and
    // time-outs are as they were and the handle is still the caller's.
    ErrorCode Start(HANDLE h);

    SerialDeviceCore& core;

    // Fixed while open (see SerialDeviceCore's gate).
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE claim = nullptr;  // the named object marking the device as open
    EventHandle readDone;    // ReadFile's overlapped event
    EventHandle writeDone;   // WriteFile's
    EventHandle waitDone;    // WaitCommEvent's
    EventHandle waitCancel;  // ends WaitEvent: a new mask, or Close (manual reset)
    EventHandle writeCancel; // ends WaitWritable (auto reset)

    // Line errors and the driver's refusals; core.stateMutex.
    std::uint32_t refusedEvents = 0; // bits the driver cannot wait for (see WaitEvent)
    std::uint32_t pendingErrors = 0; // line errors read but not yet reported by GetStatus
    // Only the waiting thread uses these.
    DWORD waitModem = 0;
    bool pollInstead = false; // the driver's event wait does not work (see WaitEvent)

    // The write in progress; writeMutex.
    std::mutex writeMutex;
    std::vector<std::uint8_t> writeBuffer;
    OVERLAPPED writeOverlap{};
    bool writePending = false;
};

SerialBackend::SerialBackend(SerialDeviceCore& core) : os_(std::make_unique<Native>(core)) {}

SerialBackend::~SerialBackend() = default;

ErrorCode SerialBackend::Native::Start(HANDLE h) {
    auto dropEvents = [&] {
        readDone.Reset();
        writeDone.Reset();
        waitDone.Reset();
        waitCancel.Reset();
        writeCancel.Reset();
    };
    if (!readDone.Create(true) || !writeDone.Create(true) || !waitDone.Create(true) ||
        !waitCancel.Create(true) || !writeCancel.Create(false)) {
        dropEvents();
        return ecOutOfMemory;
    }
    DCB original{};
    original.DCBlength = sizeof original;
    COMMTIMEOUTS originalTimeouts{};
    if (!::GetCommState(h, &original) || !::GetCommTimeouts(h, &originalTimeouts)) {
        dropEvents(); // not a serial device
        return -static_cast<ErrorCode>(::GetLastError());
    }
    auto fail = [&](DWORD error) {
        (void)::SetCommState(h, &original);
        (void)::SetCommTimeouts(h, &originalTimeouts);
        dropEvents();
        return -static_cast<ErrorCode>(error);
    };
    // Raw binary transfer: no error replacement, no abort on errors, zero bytes kept.
    DCB dcb = original;
    dcb.fBinary = TRUE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.fNull = FALSE;
    if (!::SetCommState(h, &dcb)) {
        return fail(::GetLastError());
    }
    // Reads return at once with what the driver holds; writes have no time-out.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(h, &timeouts) || !::SetCommMask(h, 0)) {
        return fail(::GetLastError());
    }
    DWORD errors = 0;
    COMSTAT stat{};
    (void)::ClearCommError(h, &errors, &stat); // errors from before the open are not ours
    DWORD modem = 0;
    (void)::GetCommModemStatus(h, &modem);
    {
        std::lock_guard lock(core.stateMutex);
        refusedEvents = 0;
        pendingErrors = 0;
        waitModem = modem;
        pollInstead = false;
    }
    {
        std::lock_guard lock(writeMutex);
        writeOverlap = OVERLAPPED{};
        writeOverlap.hEvent = writeDone.Get();
        writePending = false;
    }
    handle = h;
    return ecOK;
}

ErrorCode SerialBackend::Open(std::string_view name, std::string& path) {
    Native& d = *os_;
    std::string device = DevicePathFor(name);
    HANDLE h = ::CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return OpenFailure(::GetLastError());
    }
    auto fail = [&](ErrorCode rc) {
        ::CloseHandle(h);
        return rc;
    };
    // Windows' serial drivers refuse a second open with ERROR_ACCESS_DENIED; Wine's lets
    // it through. A named object held while the device is open refuses it in the same
    // way, between processes of this session too.
    HANDLE claim = ::CreateMutexA(nullptr, FALSE, ClaimNameFor(device).c_str());
    if (claim == nullptr) {
        return fail(ecOutOfMemory);
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(claim);
        return fail(ecAlreadyOpen);
    }
    auto failClaimed = [&](ErrorCode rc) {
        ::CloseHandle(claim);
        return fail(rc);
    };

    if (const ErrorCode rc = d.Start(h); rc != ecOK) {
        return failClaimed(rc);
    }
    d.claim = claim;
    path = std::move(device);
    return ecOK;
}

ErrorCode SerialBackend::Adopt(NativeDeviceHandle handle, std::string& /*path*/) {
    Native& d = *os_;
    HANDLE h = reinterpret_cast<HANDLE>(handle);
    DWORD flags = 0;
    if (h == nullptr || h == INVALID_HANDLE_VALUE || !::GetHandleInformation(h, &flags)) {
        return ecBadHandle;
    }
    return d.Start(h);
}

void SerialBackend::EndWaits() {
    Native& d = *os_;
    ::SetEvent(d.waitCancel.Get());
    ::SetEvent(d.writeCancel.Get());
    ::SetCommMask(d.handle, 0); // ends an event wait in progress
}

ErrorCode SerialBackend::Release() {
    Native& d = *os_;
    {
        std::lock_guard lock(d.writeMutex);
        if (d.writePending) { // a write still with the driver is abandoned
            ::PurgeComm(d.handle, PURGE_TXABORT | PURGE_TXCLEAR);
            d.SettleWrite(true);
        }
    }
    const BOOL closed = ::CloseHandle(d.handle);
    const DWORD error = ::GetLastError();
    ::CloseHandle(d.claim);
    d.claim = nullptr;
    d.readDone.Reset();
    d.writeDone.Reset();
    d.waitDone.Reset();
    d.waitCancel.Reset();
    d.writeCancel.Reset();
    d.handle = INVALID_HANDLE_VALUE;
    return closed ? ecOK : -static_cast<ErrorCode>(error);
}

ErrorCode SerialBackend::SetupQueues(std::uint32_t inSize, std::uint32_t outSize) {
    Native& d = *os_;
    if (d.core.lost) {
        return DeviceLostCode();
    }
    if (!::SetupComm(d.handle, inSize, outSize)) {
        return d.Fail(::GetLastError());
    }
    return ecOK;
}

ErrorCode SerialBackend::GetState(LineState& state) {
    Native& d = *os_;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(d.handle, &dcb)) {
        return d.Fail(::GetLastError());
    }
    state = LineStateFromDcb(FieldsOf(dcb));
    return ecOK;
}

ErrorCode SerialBackend::SetState(const LineState& state) {
    Native& d = *os_;
    DCB before{};
    before.DCBlength = sizeof before;
    if (!::GetCommState(d.handle, &before)) {
        return d.Fail(::GetLastError());
    }
    DcbFields wanted = FieldsOf(before);
    if (!DcbFromLineState(state, wanted)) {
        return -static_cast<ErrorCode>(ERROR_INVALID_PARAMETER);
    }
    DCB dcb = before;
    CopyToDcb(wanted, dcb);
    if (!::SetCommState(d.handle, &dcb)) {
        const DWORD error = ::GetLastError();
        (void)::SetCommState(d.handle, &before);
        return d.Fail(error);
    }
    // A driver may take a request and keep only part of it: what does not hold is a
    // refusal, and the line is put back as it was.
    DCB held{};
    held.DCBlength = sizeof held;
    if (!::GetCommState(d.handle, &held)) {
        return d.Fail(::GetLastError());
    }
    if (!DcbHolds(wanted, FieldsOf(held))) {
        (void)::SetCommState(d.handle, &before);
        return -static_cast<ErrorCode>(ERROR_INVALID_PARAMETER);
    }
    return ecOK;
}

ErrorCode SerialBackend::CheckEscape(int function) const {
    // The line functions carry the values of EscapeCommFunction's SETRTS ... CLRDTR.
    static_assert(EscapeSetRts == SETRTS && EscapeClearRts == CLRRTS && EscapeSetDtr == SETDTR &&
                  EscapeClearDtr == CLRDTR);
    if (function < EscapeSetRts || function > EscapeClearDtr) {
        return -static_cast<ErrorCode>(ERROR_INVALID_PARAMETER);
    }
    return ecOK;
}

ErrorCode SerialBackend::Escape(int function) {
    Native& d = *os_;
    if (!::EscapeCommFunction(d.handle, static_cast<DWORD>(function))) {
        return d.Fail(::GetLastError());
    }
    return ecOK;
}

ErrorCode SerialBackend::ModemStatus(std::uint8_t& status) {
    Native& d = *os_;
    DWORD lines = 0;
    if (!::GetCommModemStatus(d.handle, &lines)) {
        return d.Fail(::GetLastError());
    }
    // MS_CTS_ON 0x10, MS_DSR_ON 0x20, MS_RING_ON 0x40 and MS_RLSD_ON 0x80 are the UART's
    // modem-status-register layout already.
    status = static_cast<std::uint8_t>(lines & 0xF0);
    return ecOK;
}

ErrorCode SerialBackend::GetStatus(DeviceStatus& status, std::uint32_t& lineErrors) {
    Native& d = *os_;
    COMSTAT stat{};
    DWORD errors = 0;
    if (const ErrorCode rc = d.ReadComStat(stat, errors); rc != ecOK) {
        return rc;
    }
    status.Flags = ComstatFlags(stat);
    status.cbInQue = stat.cbInQue;
    status.cbOutQue = stat.cbOutQue;
    std::lock_guard lock(d.core.stateMutex);
    lineErrors = d.pendingErrors;
    d.pendingErrors = 0;
    return ecOK;
}

// The driver tells the errors and the queues in one call: the parts cost what the whole does.
ErrorCode SerialBackend::LineErrors(std::uint32_t& lineErrors) {
    DeviceStatus status;
    return GetStatus(status, lineErrors);
}

ErrorCode SerialBackend::InputWaiting(std::uint32_t& count) {
    Native& d = *os_;
    COMSTAT stat{};
    DWORD errors = 0;
    if (const ErrorCode rc = d.ReadComStat(stat, errors); rc != ecOK) {
        return rc;
    }
    count = stat.cbInQue;
    return ecOK;
}

std::int32_t SerialBackend::Read(void* buffer, std::size_t size) {
    Native& d = *os_;
    // Only what the driver holds is asked for. Windows returns at once under the read
    // time-outs set at open even from an empty queue, but Wine's driver lets such a read
    // pend until data arrives; asking for no more than is queued keeps the read from
    // waiting on either.
    COMSTAT stat{};
    DWORD errors = 0;
    if (const ErrorCode rc = d.ReadComStat(stat, errors); rc != ecOK) {
        return rc;
    }
    if (stat.cbInQue == 0) {
        return 0;
    }
    const DWORD wanted = static_cast<DWORD>(
        std::min<std::size_t>({size, stat.cbInQue, std::numeric_limits<std::int32_t>::max()}));
    OVERLAPPED ov{};
    ov.hEvent = d.readDone.Get();
    ::ResetEvent(ov.hEvent);
    DWORD got = 0;
    if (!::ReadFile(d.handle, buffer, wanted, &got, &ov)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            return d.Fail(error);
        }
        // Bytes that are queued come at once; should the driver still hold the read, it
        // is cancelled and whatever it had moved is kept.
        bool ok = false;
        got = d.FinishOverlapped(ov, ok);
        if (!ok) {
            const DWORD finish = ::GetLastError();
            if (finish != ERROR_OPERATION_ABORTED) {
                return d.Fail(finish);
            }
        }
    }
    return static_cast<std::int32_t>(got);
}

std::int32_t SerialBackend::Write(const void* buffer, std::size_t size) {
    Native& d = *os_;
    std::lock_guard lock(d.writeMutex);
    if (d.writePending) {
        if (!HasOverlappedIoCompleted(&d.writeOverlap)) {
            return 0; // refused: the driver still sends the previous bytes
        }
        d.SettleWrite(false);
        if (d.core.lost) {
            return DeviceLostCode();
        }
    }
    // The bytes are handed to the driver in a buffer of the device's own, so that the
    // caller's may change while the driver sends them; they count as taken from then on.
    const std::size_t n = std::min(size, MaxWriteChunk);
    d.writeBuffer.assign(static_cast<const std::uint8_t*>(buffer),
                         static_cast<const std::uint8_t*>(buffer) + n);
    ::ResetEvent(d.writeOverlap.hEvent);
    DWORD done = 0;
    if (::WriteFile(d.handle, d.writeBuffer.data(), static_cast<DWORD>(n), &done,
                    &d.writeOverlap)) {
        return static_cast<std::int32_t>(n);
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_PENDING) {
        d.writePending = true;
        return static_cast<std::int32_t>(n);
    }
    return d.Fail(error);
}

WriteWaitResult SerialBackend::WaitWritable(int timeoutMs, bool /*refusedBefore*/) {
    Native& d = *os_;
    // A cancel that came before this wait began ends it at once (auto-reset event).
    if (::WaitForSingleObject(d.writeCancel.Get(), 0) == WAIT_OBJECT_0) {
        return WriteWaitResult::Cancelled;
    }
    {
        std::lock_guard lock(d.writeMutex);
        if (!d.writePending) {
            return WriteWaitResult::Writable;
        }
    }
    const HANDLE handles[] = {d.writeCancel.Get(), d.writeDone.Get()};
    const DWORD wait = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    switch (::WaitForMultipleObjects(2, handles, FALSE, wait)) {
    case WAIT_OBJECT_0:
        return WriteWaitResult::Cancelled;
    case WAIT_OBJECT_0 + 1:
        return d.core.lost ? WriteWaitResult::DeviceLost : WriteWaitResult::Writable;
    case WAIT_TIMEOUT:
        return WriteWaitResult::TimedOut;
    default:
        return WriteWaitResult::Failed;
    }
}

void SerialBackend::CancelWrite() {
    Native& d = *os_;
    ::SetEvent(d.writeCancel.Get());
}

ErrorCode SerialBackend::PurgeInput() {
    Native& d = *os_;
    if (!::PurgeComm(d.handle, PURGE_RXABORT | PURGE_RXCLEAR)) {
        return d.Fail(::GetLastError());
    }
    return ecOK;
}

std::int32_t SerialBackend::OutputQueued() {
    Native& d = *os_;
    COMSTAT stat{};
    DWORD errors = 0;
    if (const ErrorCode rc = d.ReadComStat(stat, errors); rc != ecOK) {
        return rc;
    }
    // A write the driver has not completed still holds its bytes, also where the driver
    // reports no queue (Wine's cbOutQue is always 0).
    std::size_t inFlight = 0;
    {
        std::lock_guard lock(d.writeMutex);
        if (d.writePending && !HasOverlappedIoCompleted(&d.writeOverlap)) {
            inFlight = d.writeBuffer.size();
        }
    }
    const std::size_t queued = std::max<std::size_t>(stat.cbOutQue, inFlight);
    return static_cast<std::int32_t>(
        std::min<std::size_t>(queued, std::numeric_limits<std::int32_t>::max()));
}

ErrorCode SerialBackend::PurgeOutput() {
    Native& d = *os_;
    std::lock_guard lock(d.writeMutex);
    const BOOL purged = ::PurgeComm(d.handle, PURGE_TXABORT | PURGE_TXCLEAR);
    const DWORD error = ::GetLastError();
    // The aborted write completes; one the driver does not abort (Wine's PurgeComm may
    // leave it) is cancelled.
    d.SettleWrite(true);
    return purged ? ecOK : d.Fail(error);
}

ErrorCode SerialBackend::MaskChanged(std::uint32_t mask) {
    Native& d = *os_;
    std::uint32_t driverMask = 0;
    {
        std::lock_guard lock(d.core.stateMutex);
        driverMask = d.DriverMask(mask);
    }
    ::SetEvent(d.waitCancel.Get());
    // A new mask also ends the driver's wait in progress.
    if (!::SetCommMask(d.handle, driverMask)) {
        return d.Fail(::GetLastError());
    }
    return ecOK;
}

EventWaitResult SerialBackend::WaitEvent(std::uint32_t& events) {
    Native& d = *os_;
    const HANDLE h = d.handle;
    unsigned failures = 0;
    for (;;) {
        SerialDeviceCore::WaitRound round;
        if (const auto end = d.core.StartRound(round)) {
            return *end;
        }
        const std::uint32_t mask = round.mask;
        std::uint32_t driverMask = 0;
        {
            std::lock_guard lock(d.core.stateMutex);
            driverMask = d.DriverMask(mask);
        }
        const auto maskChanged = [&] { return d.core.MaskChangedSince(round.generation); };
        ::ResetEvent(d.waitCancel.Get());
        if (maskChanged() || d.core.closing) {
            continue;
        }

        // Input is reported once per change of the queue's length, or again after a Read
        // that left bytes behind. Wine reports EV_RXCHAR for as long as bytes are queued,
        // so the driver is not asked while input already reported sits unread: the queue,
        // the errors and the modem lines are looked at every 50 ms instead.
        COMSTAT stat{};
        DWORD errors = 0;
        if (d.ReadComStat(stat, errors) != ecOK) {
            if (d.core.lost) {
                return EventWaitResult::DeviceLost;
            }
            return EventWaitResult::Failed;
        }
        std::uint32_t found = EventsForErrors(errors) & mask;
        bool inputSitting = false;
        if ((mask & EventRxChar) != 0 && d.core.ReportInput(stat.cbInQue, inputSitting)) {
            found |= EventRxChar;
        }
        if (found != 0) {
            events = found;
            return EventWaitResult::Events;
        }
        if (inputSitting || driverMask == 0 || d.pollInstead) {
            const DWORD pause = inputSitting    ? UnreadInputCheckMs
                                : d.pollInstead ? PollIntervalMs
                                                : PresenceCheckMs;
            if (::WaitForSingleObject(d.waitCancel.Get(), pause) == WAIT_OBJECT_0) {
                if (d.core.closing || maskChanged()) {
                    return EventWaitResult::Cancelled;
                }
                continue;
            }
            if ((mask & EventsModemLinesMask) != 0) {
                DWORD modem = 0;
                if (::GetCommModemStatus(h, &modem)) {
                    const std::uint32_t changes = EventsForModemChange(d.waitModem, modem) & mask;
                    d.waitModem = modem;
                    if (changes != 0) {
                        events = changes;
                        return EventWaitResult::Events;
                    }
                }
            }
            DCB probe{};
            probe.DCBlength = sizeof probe;
            if (!::GetCommState(h, &probe) && MeansDeviceLost(::GetLastError())) {
                d.core.lost = true;
            }
            continue;
        }

        OVERLAPPED ov{};
        ov.hEvent = d.waitDone.Get();
        ::ResetEvent(ov.hEvent);
        DWORD reported = 0;
        bool completed = ::WaitCommEvent(h, &reported, &ov) != FALSE;
        DWORD error = completed ? ERROR_SUCCESS : ::GetLastError();
        if (!completed && error == ERROR_IO_PENDING) {
            const HANDLE handles[] = {ov.hEvent, d.waitCancel.Get()};
            for (;;) {
                const DWORD w = ::WaitForMultipleObjects(2, handles, FALSE, PresenceCheckMs);
                if (w == WAIT_OBJECT_0) {
                    break;
                }
                if (w == WAIT_OBJECT_0 + 1) {
                    // The new mask (or Close's mask of 0) ends the driver's wait; the mask
                    // is put once more in case the change came before the wait began.
                    std::uint32_t now = 0;
                    {
                        std::lock_guard lock(d.core.stateMutex);
                        now = d.core.closing ? 0 : d.DriverMask(d.core.eventMask);
                    }
                    ::SetCommMask(h, now);
                    break;
                }
                // The driver does not tell when the device goes (Wine's does not when the
                // far end of a pseudo-terminal closes): its presence is looked at.
                DCB probe{};
                probe.DCBlength = sizeof probe;
                if (!::GetCommState(h, &probe) && MeansDeviceLost(::GetLastError())) {
                    d.core.lost = true;
                    ::SetCommMask(h, 0);
                    break;
                }
            }
            bool ok = false;
            d.FinishOverlapped(ov, ok);
            completed = ok;
            error = ok ? ERROR_SUCCESS : ::GetLastError();
        }
        if (d.core.lost) {
            return EventWaitResult::DeviceLost;
        }
        // A changed mask ends the wait: Windows completes it with a mask of 0, Wine fails
        // it with ERROR_OPERATION_ABORTED (995) and a mask of 0. Either is a cancel here.
        if (d.core.closing || maskChanged()) {
            return EventWaitResult::Cancelled;
        }
        if (completed) {
            failures = 0;
            const std::uint32_t got = reported & mask;
            if (got == 0) {
                continue;
            }
            if ((got & EventRxChar) != 0) {
                // The length now queued is the one reported.
                COMSTAT now{};
                DWORD more = 0;
                if (d.ReadComStat(now, more) == ecOK) {
                    d.core.NoteInputReported(now.cbInQue);
                }
            }
            events = got;
            return EventWaitResult::Events;
        }
        if (error == ERROR_NOT_SUPPORTED && (driverMask & EventsModemLinesMask) != 0) {
            // A driver without modem lines (Wine on a pseudo-terminal) refuses any mask
            // with them: the wait goes on for data and errors alone.
            {
                std::lock_guard lock(d.core.stateMutex);
                d.refusedEvents |= EventsModemLinesMask;
                driverMask = d.DriverMask(d.core.eventMask);
            }
            ::SetCommMask(h, driverMask);
            continue;
        }
        if (error == ERROR_INVALID_PARAMETER) {
            return EventWaitResult::InvalidParameter;
        }
        if (MeansDeviceLost(error)) {
            d.core.lost = true;
            return EventWaitResult::DeviceLost;
        }
        if (error == ERROR_OPERATION_ABORTED) {
            // Nobody changed the mask, yet the driver ended the wait. Once may be a purge;
            // a driver that does it every time (Wine's on a pseudo-terminal without modem
            // lines ends each wait at once) cannot wait for events at all: the device is
            // looked at every few milliseconds instead, for as long as it is open.
            if (++failures >= 3) {
                d.pollInstead = true;
            }
            continue;
        }
        return EventWaitResult::Failed;
    }
}

// The driver's event wait cannot be split into a readiness sleep: the comm thread keeps
// to its tick while a delivery holds it.
bool SerialBackend::SleepUntilReadable(int /*timeoutMs*/, bool /*watchInput*/) {
    return false;
}

void SerialBackend::InterruptSleep() {}

} // namespace apd
