// The Windows backend of SerialDevice: the serial driver opened for overlapped I/O, with
// event and write waits that a cancel event or a new event mask ends at once.
//
// Every overlapped operation is finished (completed, or cancelled and then completed)
// before the call that started it returns, so no record or buffer is used by the driver
// after its call has left, and Close finds nothing in flight once the gate is idle.

#include "comm/device/SerialDevice.h"

#include "comm/device/DcbAccess_win.h"
#include "comm/device/DcbTranslation.h"
#include "comm/device/PortName.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
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

ErrorCode DeviceLostCode() {
    return ecDeviceLost;
}

struct SerialDevice::Impl {
    // The gate: which handle is open, and how many calls are using it.
    mutable std::mutex gateMutex;
    std::condition_variable gateIdle;
    HANDLE handle = INVALID_HANDLE_VALUE;
    HANDLE claim = nullptr; // the named object marking the device as open
    int inFlight = 0;
    std::string path;
    std::atomic<bool> closing{false};
    std::atomic<bool> lost{false};
    std::atomic<bool> writeRefused{false};

    // Fixed while open.
    EventHandle readDone;    // ReadFile's overlapped event
    EventHandle writeDone;   // WriteFile's
    EventHandle waitDone;    // WaitCommEvent's
    EventHandle waitCancel;  // ends WaitEvent: a new mask, or Close (manual reset)
    EventHandle writeCancel; // ends WaitWritable (auto reset)

    // Event mask, line errors and the wait's record; stateMutex.
    std::mutex stateMutex;
    std::uint32_t eventMask = 0;
    std::uint64_t maskGeneration = 0;
    std::uint32_t refusedEvents = 0; // bits the driver cannot wait for (see WaitEvent)
    std::uint32_t pendingErrors = 0; // line errors read but not yet reported by GetStatus
    std::atomic<std::uint64_t> inputTaken{0};
    // Only the waiting thread uses these.
    std::uint32_t reportedInput = 0;
    std::uint64_t reportedTaken = 0;
    DWORD waitModem = 0;
    bool pollInstead = false; // the driver's event wait does not work (see WaitEvent)

    // The write in progress; writeMutex.
    std::mutex writeMutex;
    std::vector<std::uint8_t> writeBuffer;
    OVERLAPPED writeOverlap{};
    bool writePending = false;

    // Records a failure of a call on the open device: one that means the device is gone
    // marks it lost for good and is reported as DeviceLostCode().
    ErrorCode Fail(DWORD error) {
        if (MeansDeviceLost(error)) {
            lost = true;
            return DeviceLostCode();
        }
        return -static_cast<ErrorCode>(error);
    }

    // ClearCommError, keeping the error flags for GetStatus. ecOK, or the failure's code (the
    // loss of the device once it is lost).
    ErrorCode ReadComStat(HANDLE h, COMSTAT& stat, DWORD& errors) {
        errors = 0;
        if (!::ClearCommError(h, &errors, &stat)) {
            const ErrorCode failure = Fail(::GetLastError());
            return lost ? DeviceLostCode() : failure;
        }
        std::lock_guard lock(stateMutex);
        pendingErrors |= errors & 0x1F;
        return ecOK;
    }

    // The driver mask for a requested mask: without bits it refused and the trailing edge.
    std::uint32_t DriverMask(std::uint32_t mask) const {
        return mask & EventsSupported & ~refusedEvents;
    }

    // Waits for an overlapped operation that has been asked to end; cancels it when it
    // does not end promptly. The transferred count, or 0.
    DWORD FinishOverlapped(HANDLE h, OVERLAPPED& ov, bool& ok) {
        if (::WaitForSingleObject(ov.hEvent, PromptCompletionMs) != WAIT_OBJECT_0) {
            ::CancelIoEx(h, &ov);
        }
        DWORD n = 0;
        ok = ::GetOverlappedResult(h, &ov, &n, TRUE) != FALSE;
        if (!ok) {
            n = 0;
        }
        ::ResetEvent(ov.hEvent);
        return n;
    }

    // Finishes a completed or abandoned write; writeMutex held.
    void SettleWrite(HANDLE h, bool abandon) {
        if (!writePending) {
            return;
        }
        DWORD n = 0;
        if (abandon) {
            bool ok = false;
            FinishOverlapped(h, writeOverlap, ok);
        } else if (!::GetOverlappedResult(h, &writeOverlap, &n, TRUE)) {
            Fail(::GetLastError());
        }
        ::ResetEvent(writeOverlap.hEvent);
        writePending = false;
    }

    ErrorCode Start(HANDLE h, std::string devicePath);

    class Call;
};

class SerialDevice::Impl::Call {
public:
    explicit Call(SerialDevice::Impl& impl) : impl_(impl) {
        std::lock_guard lock(impl_.gateMutex);
        if (impl_.handle != INVALID_HANDLE_VALUE && !impl_.closing) {
            handle_ = impl_.handle;
            ++impl_.inFlight;
        }
    }
    ~Call() {
        if (handle_ != INVALID_HANDLE_VALUE) {
            std::lock_guard lock(impl_.gateMutex);
            if (--impl_.inFlight == 0) {
                impl_.gateIdle.notify_all();
            }
        }
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return handle_; }
    ErrorCode Usable() const {
        if (!Open()) {
            return ecCommNotOpen;
        }
        return impl_.lost ? DeviceLostCode() : ecOK;
    }

private:
    SerialDevice::Impl& impl_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

SerialDevice::SerialDevice() : impl_(std::make_unique<Impl>()) {}

SerialDevice::~SerialDevice() {
    Close();
}

// Makes `h`, a serial device opened for overlapped I/O, the open device: raw binary
// transfer, reads that return at once with what the driver holds, no events asked for,
// the wait handles and the wait's baselines. On failure the line settings and time-outs
// are as they were and the handle is still the caller's. gateMutex held, nothing open.
ErrorCode SerialDevice::Impl::Start(HANDLE h, std::string devicePath) {
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
        std::lock_guard lock(stateMutex);
        eventMask = 0;
        ++maskGeneration;
        refusedEvents = 0;
        pendingErrors = 0;
        reportedInput = 0;
        reportedTaken = inputTaken;
        waitModem = modem;
        pollInstead = false;
    }
    {
        std::lock_guard lock(writeMutex);
        writeOverlap = OVERLAPPED{};
        writeOverlap.hEvent = writeDone.Get();
        writePending = false;
    }
    lost = false;
    closing = false;
    writeRefused = false;
    path = std::move(devicePath);
    handle = h;
    return ecOK;
}

ErrorCode SerialDevice::Open(std::string_view name) {
    Impl& d = *impl_;
    std::lock_guard gate(d.gateMutex);
    if (d.handle != INVALID_HANDLE_VALUE) {
        return ecAlreadyOpen;
    }
    if (const ErrorCode rc = CheckPortName(name); rc != ecOK) {
        return rc;
    }
    std::string path = DevicePathFor(name);
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
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
    HANDLE claim = ::CreateMutexA(nullptr, FALSE, ClaimNameFor(path).c_str());
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

    if (const ErrorCode rc = d.Start(h, std::move(path)); rc != ecOK) {
        return failClaimed(rc);
    }
    d.claim = claim;
    return ecOK;
}

ErrorCode SerialDevice::Adopt(NativeDeviceHandle handle) {
    Impl& d = *impl_;
    std::lock_guard gate(d.gateMutex);
    if (d.handle != INVALID_HANDLE_VALUE) {
        return ecAlreadyOpen;
    }
    HANDLE h = reinterpret_cast<HANDLE>(handle);
    DWORD flags = 0;
    if (h == nullptr || h == INVALID_HANDLE_VALUE || !::GetHandleInformation(h, &flags)) {
        return ecBadHandle;
    }
    return d.Start(h, std::string());
}

ErrorCode SerialDevice::Close() {
    Impl& d = *impl_;
    std::unique_lock gate(d.gateMutex);
    if (d.handle == INVALID_HANDLE_VALUE) {
        return ecCommNotOpen;
    }
    if (d.closing) {
        d.gateIdle.wait(gate, [&] { return d.handle == INVALID_HANDLE_VALUE; });
        return ecCommNotOpen;
    }
    d.closing = true;
    ::SetEvent(d.waitCancel.Get());
    ::SetEvent(d.writeCancel.Get());
    ::SetCommMask(d.handle, 0); // ends an event wait in progress
    d.gateIdle.wait(gate, [&] { return d.inFlight == 0; });
    {
        std::lock_guard lock(d.writeMutex);
        if (d.writePending) { // a write still with the driver is abandoned
            ::PurgeComm(d.handle, PURGE_TXABORT | PURGE_TXCLEAR);
            d.SettleWrite(d.handle, true);
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
    d.path.clear();
    d.closing = false;
    d.lost = false;
    d.gateIdle.notify_all();
    return closed ? ecOK : -static_cast<ErrorCode>(error);
}

ErrorCode SerialDevice::SetupQueues(std::uint32_t inSize, std::uint32_t outSize) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (!::SetupComm(call.Handle(), inSize, outSize)) {
        return d.Fail(::GetLastError());
    }
    return ecOK;
}

bool SerialDevice::IsOpen() const {
    std::lock_guard gate(impl_->gateMutex);
    return impl_->handle != INVALID_HANDLE_VALUE && !impl_->closing;
}

bool SerialDevice::IsLost() const {
    return impl_->lost;
}

std::string SerialDevice::Path() const {
    std::lock_guard gate(impl_->gateMutex);
    return impl_->path;
}

ErrorCode SerialDevice::GetState(LineState& state) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(call.Handle(), &dcb)) {
        return d.Fail(::GetLastError());
    }
    state = LineStateFromDcb(FieldsOf(dcb));
    return ecOK;
}

ErrorCode SerialDevice::SetState(const LineState& state) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    DCB before{};
    before.DCBlength = sizeof before;
    if (!::GetCommState(call.Handle(), &before)) {
        return d.Fail(::GetLastError());
    }
    DcbFields wanted = FieldsOf(before);
    if (!DcbFromLineState(state, wanted)) {
        return -static_cast<ErrorCode>(ERROR_INVALID_PARAMETER);
    }
    DCB dcb = before;
    CopyToDcb(wanted, dcb);
    if (!::SetCommState(call.Handle(), &dcb)) {
        const DWORD error = ::GetLastError();
        (void)::SetCommState(call.Handle(), &before);
        return d.Fail(error);
    }
    // A driver may take a request and keep only part of it: what does not hold is a
    // refusal, and the line is put back as it was.
    DCB held{};
    held.DCBlength = sizeof held;
    if (!::GetCommState(call.Handle(), &held)) {
        return d.Fail(::GetLastError());
    }
    if (!DcbHolds(wanted, FieldsOf(held))) {
        (void)::SetCommState(call.Handle(), &before);
        return -static_cast<ErrorCode>(ERROR_INVALID_PARAMETER);
    }
    return ecOK;
}

ErrorCode SerialDevice::Escape(int function) {
    Impl& d = *impl_;
    // The line functions carry the values of EscapeCommFunction's SETRTS ... CLRDTR.
    static_assert(EscapeSetRts == SETRTS && EscapeClearRts == CLRRTS && EscapeSetDtr == SETDTR &&
                  EscapeClearDtr == CLRDTR);
    if (function < EscapeSetRts || function > EscapeClearDtr) {
        return -static_cast<ErrorCode>(ERROR_INVALID_PARAMETER);
    }
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (!::EscapeCommFunction(call.Handle(), static_cast<DWORD>(function))) {
        return d.Fail(::GetLastError());
    }
    return ecOK;
}

ErrorCode SerialDevice::ModemStatus(std::uint8_t& status) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    DWORD lines = 0;
    if (!::GetCommModemStatus(call.Handle(), &lines)) {
        return d.Fail(::GetLastError());
    }
    // MS_CTS_ON 0x10, MS_DSR_ON 0x20, MS_RING_ON 0x40 and MS_RLSD_ON 0x80 are the UART's
    // modem-status-register layout already.
    status = static_cast<std::uint8_t>(lines & 0xF0);
    return ecOK;
}

ErrorCode SerialDevice::GetStatus(DeviceStatus& status, std::uint32_t& lineErrors) {
    Impl& d = *impl_;
    lineErrors = 0;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    COMSTAT stat{};
    DWORD errors = 0;
    if (const ErrorCode rc = d.ReadComStat(call.Handle(), stat, errors); rc != ecOK) {
        return rc;
    }
    status.Flags = ComstatFlags(stat);
    status.cbInQue = stat.cbInQue;
    status.cbOutQue = stat.cbOutQue;
    std::lock_guard lock(d.stateMutex);
    lineErrors = d.pendingErrors;
    d.pendingErrors = 0;
    return ecOK;
}

std::int32_t SerialDevice::Read(void* buffer, std::size_t size) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (size == 0) {
        return 0;
    }
    // Only what the driver holds is asked for. Windows returns at once under the read
    // time-outs set at open even from an empty queue, but Wine's driver lets such a read
    // pend until data arrives; asking for no more than is queued keeps the read from
    // waiting on either.
    COMSTAT stat{};
    DWORD errors = 0;
    if (const ErrorCode rc = d.ReadComStat(call.Handle(), stat, errors); rc != ecOK) {
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
    if (!::ReadFile(call.Handle(), buffer, wanted, &got, &ov)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING) {
            return d.Fail(error);
        }
        // Bytes that are queued come at once; should the driver still hold the read, it
        // is cancelled and whatever it had moved is kept.
        bool ok = false;
        got = d.FinishOverlapped(call.Handle(), ov, ok);
        if (!ok) {
            const DWORD finish = ::GetLastError();
            if (finish != ERROR_OPERATION_ABORTED) {
                return d.Fail(finish);
            }
        }
    }
    if (got > 0) {
        ++d.inputTaken;
    }
    return static_cast<std::int32_t>(got);
}

std::int32_t SerialDevice::Write(const void* buffer, std::size_t size) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (size == 0) {
        return 0;
    }
    std::lock_guard lock(d.writeMutex);
    if (d.writePending) {
        if (!HasOverlappedIoCompleted(&d.writeOverlap)) {
            d.writeRefused = true; // the driver still sends the previous bytes
            return 0;
        }
        d.SettleWrite(call.Handle(), false);
        if (d.lost) {
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
    if (::WriteFile(call.Handle(), d.writeBuffer.data(), static_cast<DWORD>(n), &done,
                    &d.writeOverlap)) {
        d.writeRefused = false;
        return static_cast<std::int32_t>(n);
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_IO_PENDING) {
        d.writePending = true;
        d.writeRefused = false;
        return static_cast<std::int32_t>(n);
    }
    return d.Fail(error);
}

WriteWaitResult SerialDevice::WaitWritable(int timeoutMs) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (!call.Open()) {
        return WriteWaitResult::NotOpen;
    }
    if (d.lost) {
        return WriteWaitResult::DeviceLost;
    }
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
        return d.lost ? WriteWaitResult::DeviceLost : WriteWaitResult::Writable;
    case WAIT_TIMEOUT:
        return WriteWaitResult::TimedOut;
    default:
        return WriteWaitResult::Failed;
    }
}

void SerialDevice::CancelWrite() {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (call.Open()) {
        ::SetEvent(d.writeCancel.Get());
    }
}

ErrorCode SerialDevice::PurgeInput() {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (!::PurgeComm(call.Handle(), PURGE_RXABORT | PURGE_RXCLEAR)) {
        return d.Fail(::GetLastError());
    }
    ++d.inputTaken;
    return ecOK;
}

std::int32_t SerialDevice::OutputQueued() {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    COMSTAT stat{};
    DWORD errors = 0;
    if (const ErrorCode rc = d.ReadComStat(call.Handle(), stat, errors); rc != ecOK) {
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

ErrorCode SerialDevice::PurgeOutput() {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (!call.Open()) {
        return ecCommNotOpen;
    }
    ::SetEvent(d.writeCancel.Get()); // a pending write wait ends whatever the driver says
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    std::lock_guard lock(d.writeMutex);
    const BOOL purged = ::PurgeComm(call.Handle(), PURGE_TXABORT | PURGE_TXCLEAR);
    const DWORD error = ::GetLastError();
    // The aborted write completes; one the driver does not abort (Wine's PurgeComm may
    // leave it) is cancelled.
    d.SettleWrite(call.Handle(), true);
    d.writeRefused = false;
    return purged ? ecOK : d.Fail(error);
}

ErrorCode SerialDevice::SetEventMask(std::uint32_t mask) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (!call.Open()) {
        return ecCommNotOpen;
    }
    std::uint32_t driverMask = 0;
    {
        std::lock_guard lock(d.stateMutex);
        d.eventMask = mask;
        ++d.maskGeneration;
        driverMask = d.DriverMask(mask);
    }
    ::SetEvent(d.waitCancel.Get());
    // A new mask also ends the driver's wait in progress.
    if (!::SetCommMask(call.Handle(), driverMask)) {
        return d.Fail(::GetLastError());
    }
    return ecOK;
}

std::uint32_t SerialDevice::EventMask() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->eventMask;
}

EventWaitResult SerialDevice::WaitEvent(std::uint32_t& events) {
    Impl& d = *impl_;
    events = 0;
    Impl::Call call(d);
    if (!call.Open()) {
        return EventWaitResult::NotOpen;
    }
    const HANDLE h = call.Handle();
    unsigned failures = 0;
    for (;;) {
        if (d.lost) {
            return EventWaitResult::DeviceLost;
        }
        if (d.closing) {
            return EventWaitResult::Cancelled;
        }
        std::uint32_t mask = 0;
        std::uint32_t driverMask = 0;
        std::uint64_t generation = 0;
        {
            std::lock_guard lock(d.stateMutex);
            mask = d.eventMask;
            generation = d.maskGeneration;
            driverMask = d.DriverMask(mask);
        }
        const auto maskChanged = [&] {
            std::lock_guard lock(d.stateMutex);
            return d.maskGeneration != generation;
        };
        if (mask == 0) {
            return EventWaitResult::Cancelled;
        }
        if ((mask & ~EventsSupported) != 0) {
            return EventWaitResult::InvalidParameter;
        }
        ::ResetEvent(d.waitCancel.Get());
        if (maskChanged() || d.closing) {
            continue;
        }

        // Input is reported once per change of the queue's length, or again after a Read
        // that left bytes behind. Wine reports EV_RXCHAR for as long as bytes are queued,
        // so the driver is not asked while input already reported sits unread: the queue,
        // the errors and the modem lines are looked at every 50 ms instead.
        COMSTAT stat{};
        DWORD errors = 0;
        if (d.ReadComStat(h, stat, errors) != ecOK) {
            if (d.lost) {
                return EventWaitResult::DeviceLost;
            }
            return EventWaitResult::Failed;
        }
        std::uint32_t found = EventsForErrors(errors) & mask;
        bool inputSitting = false;
        if ((mask & EventRxChar) != 0) {
            const std::uint64_t taken = d.inputTaken;
            if (stat.cbInQue == 0) {
                d.reportedInput = 0;
            } else if (stat.cbInQue != d.reportedInput || taken != d.reportedTaken) {
                d.reportedInput = stat.cbInQue;
                d.reportedTaken = taken;
                found |= EventRxChar;
            } else {
                inputSitting = true;
            }
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
                if (d.closing || maskChanged()) {
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
                d.lost = true;
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
                        std::lock_guard lock(d.stateMutex);
                        now = d.closing ? 0 : d.DriverMask(d.eventMask);
                    }
                    ::SetCommMask(h, now);
                    break;
                }
                // The driver does not tell when the device goes (Wine's does not when the
                // far end of a pseudo-terminal closes): its presence is looked at.
                DCB probe{};
                probe.DCBlength = sizeof probe;
                if (!::GetCommState(h, &probe) && MeansDeviceLost(::GetLastError())) {
                    d.lost = true;
                    ::SetCommMask(h, 0);
                    break;
                }
            }
            bool ok = false;
            d.FinishOverlapped(h, ov, ok);
            completed = ok;
            error = ok ? ERROR_SUCCESS : ::GetLastError();
        }
        if (d.lost) {
            return EventWaitResult::DeviceLost;
        }
        // A changed mask ends the wait: Windows completes it with a mask of 0, Wine fails
        // it with ERROR_OPERATION_ABORTED (995) and a mask of 0. Either is a cancel here.
        if (d.closing || maskChanged()) {
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
                if (d.ReadComStat(h, now, more) == ecOK) {
                    d.reportedInput = now.cbInQue;
                    d.reportedTaken = d.inputTaken;
                }
            }
            events = got;
            return EventWaitResult::Events;
        }
        if (error == ERROR_NOT_SUPPORTED && (driverMask & EventsModemLinesMask) != 0) {
            // A driver without modem lines (Wine on a pseudo-terminal) refuses any mask
            // with them: the wait goes on for data and errors alone.
            {
                std::lock_guard lock(d.stateMutex);
                d.refusedEvents |= EventsModemLinesMask;
                driverMask = d.DriverMask(d.eventMask);
            }
            ::SetCommMask(h, driverMask);
            continue;
        }
        if (error == ERROR_INVALID_PARAMETER) {
            return EventWaitResult::InvalidParameter;
        }
        if (MeansDeviceLost(error)) {
            d.lost = true;
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

} // namespace apd
