// The POSIX backend of SerialDevice: a terminal device opened non-blocking, with poll()
// waits that a wake descriptor ends at once.

#include "comm/device/SerialDevice.h"

#include "comm/device/ErrnoTranslation.h"
#include "comm/device/LineCounters.h"
#include "comm/device/ModemLines.h"
#include "comm/device/PortName.h"
#include "comm/device/Rs485.h"
#include "comm/device/TermiosAccess.h"
#include "comm/device/TermiosTranslation.h"
#include "comm/device/UniqueFd.h"
#include "comm/device/WakeSignal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>

namespace apd {
namespace {

// How often modem lines and line-error counters are looked at while a wait watches them;
// the drivers give no readiness notice for them that poll() could see.
constexpr int LineCheckIntervalMs = 50;
// How often unread input is looked at again once it has been reported.
constexpr int UnreadInputCheckIntervalMs = 50;
// How long a writability wait holds off after the driver refused a write. Some drivers
// (a pseudo-terminal whose far end does not read) report room that a write then does not
// get; without the pause the output side would spin between the two.
constexpr int RefusedWriteBackoffMs = 10;

constexpr std::size_t MaxTransfer =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

// A failure while opening: a device that a call on it found gone (a port node without
// hardware behind it) was never there for the opener.
ErrorCode OpenFailure(ErrorCode code) {
    return code == ecDeviceLost ? ecFileNotFound : code;
}

constexpr short HangUp = POLLHUP | POLLERR | POLLNVAL;

} // namespace

struct SerialDevice::Impl {
    // The gate: which descriptor is open, and how many calls are using it.
    mutable std::mutex gateMutex;
    std::condition_variable gateIdle;
    int fd = -1;
    int inFlight = 0;
    std::string path;
    std::atomic<bool> closing{false};
    std::atomic<bool> lost{false};
    std::atomic<bool> writeRefused{false}; // the last Write took nothing

    // Fixed while open; changed only by Open and Close with no call in flight.
    WakeSignal eventWake;
    WakeSignal writeWake;
    bool hasModemLines = false;
    bool hasCounters = false;

    // The record and wait state below.
    std::mutex stateMutex;
    LineState applied;
    std::uint32_t eventMask = 0;
    std::uint64_t maskGeneration = 0;
    LineCounters statusCounters; // baseline of GetStatus
    LineCounters waitCounters;   // baseline of WaitEvent
    int waitLines = 0;
    // Reads (and input purges) so far. Waiting input is reported when it was not yet, when
    // its length has changed, or when a Read has taken bytes since the last report.
    std::atomic<std::uint64_t> inputTaken{0};
    // The wait's own record of its last input report; only the waiting thread uses it.
    std::uint32_t reportedInput = 0;
    std::uint64_t reportedTaken = 0;

    // Records a failure of a call on the open device: ecDeviceLost marks it lost for good.
    ErrorCode Fail(ErrorCode code) {
        if (code == ecDeviceLost) {
            lost = true;
        }
        return code;
    }
    ErrorCode FailErrno(int error) { return Fail(ErrorCodeFromErrno(error)); }

    // Collects the events of `mask` that have arisen. `inputSitting` tells that input is
    // waiting that was already reported.
    std::uint32_t CollectEvents(int device, std::uint32_t mask, bool& inputSitting);

    ErrorCode Start(int device, std::string devicePath);

    class Call;
};

// One call's use of the open descriptor; Close waits until every Call has ended.
class SerialDevice::Impl::Call {
public:
    explicit Call(SerialDevice::Impl& impl) : impl_(impl) {
        std::lock_guard lock(impl_.gateMutex);
        if (impl_.fd >= 0 && !impl_.closing) {
            fd_ = impl_.fd;
            ++impl_.inFlight;
        }
    }
    ~Call() {
        if (fd_ >= 0) {
            std::lock_guard lock(impl_.gateMutex);
            if (--impl_.inFlight == 0) {
                impl_.gateIdle.notify_all();
            }
        }
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    bool Open() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    // ecOK when the call may go on, else the code to return.
    ErrorCode Usable() const {
        if (fd_ < 0) {
            return ecCommNotOpen;
        }
        return impl_.lost ? ecDeviceLost : ecOK;
    }

private:
    SerialDevice::Impl& impl_;
    int fd_ = -1;
};

std::uint32_t SerialDevice::Impl::CollectEvents(int device, std::uint32_t mask,
                                                bool& inputSitting) {
    std::uint32_t found = 0;
    inputSitting = false;
    if ((mask & EventRxChar) != 0) {
        int waiting = 0;
        if (ioctl(device, FIONREAD, &waiting) != 0) {
            FailErrno(errno);
            return 0;
        }
        const auto count = static_cast<std::uint32_t>(std::max(waiting, 0));
        const std::uint64_t taken = inputTaken;
        if (count == 0) {
            reportedInput = 0;
        } else if (count != reportedInput || taken != reportedTaken) {
            reportedInput = count;
            reportedTaken = taken;
            found |= EventRxChar;
        } else {
            inputSitting = true;
        }
    }
    // The baselines move on every look, so that a change is reported once, and only
    // changes after the previous look are reported.
    if (hasModemLines) {
        int lines = 0;
        if (ReadModemLines(device, lines) == ecOK) {
            std::lock_guard lock(stateMutex);
            found |= EventsFromLineChange(waitLines, lines);
            waitLines = lines;
        }
    }
    if (hasCounters) {
        LineCounters counters;
        if (ReadLineCounters(device, counters) == ecOK) {
            std::lock_guard lock(stateMutex);
            found |= EventsBetween(waitCounters, counters);
            waitCounters = counters;
        }
    }
    return found & mask;
}

SerialDevice::SerialDevice() : impl_(std::make_unique<Impl>()) {}

SerialDevice::~SerialDevice() {
    Close();
}

// Makes `device`, a terminal opened for reading and writing, the open device: takes the
// exclusive lock, puts the terminal in raw mode, creates the wake signals and starts the
// wait's baselines. On failure the lock, the exclusive flag and the terminal's mode are
// as they were, and the descriptor is still the caller's. gateMutex held, nothing open.
ErrorCode SerialDevice::Impl::Start(int device, std::string devicePath) {
    if (!::isatty(device)) {
        return ErrorCodeFromErrno(ENOTTY, ErrnoContext::Opening);
    }
    if (IsPseudoTerminalMaster(device)) {
        return ecBadId; // a terminal, but no port: the other end of a pseudo-terminal
    }
    // flock holds between processes, between two opens in one process and for root;
    // TIOCEXCL also keeps out programs that do not use flock, except root.
    while (::flock(device, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            return ErrorCodeFromErrno(errno, ErrnoContext::Opening); // EWOULDBLOCK: held
        }
    }
    (void)ioctl(device, TIOCEXCL);

    TermiosFields original;
    bool modeChanged = false;
    auto fail = [&](ErrorCode rc) {
        if (modeChanged) {
            (void)WriteTermios(device, original);
        }
        (void)ioctl(device, TIOCNXCL);
        (void)::flock(device, LOCK_UN);
        return rc;
    };
    if (const ErrorCode rc = ReadTermios(device, original); rc != ecOK) {
        return fail(OpenFailure(rc));
    }
    TermiosFields fields = original;
    MakeRaw(fields);
    modeChanged = true;
    if (const ErrorCode rc = WriteTermios(device, fields); rc != ecOK) {
        return fail(OpenFailure(rc));
    }
    if (const ErrorCode rc = ReadTermios(device, fields); rc != ecOK) {
        return fail(OpenFailure(rc));
    }
    if (eventWake.Create() != ecOK || writeWake.Create() != ecOK) {
        eventWake.Destroy();
        writeWake.Destroy();
        return fail(ecOutOfMemory);
    }

    int lines = 0;
    hasModemLines = ReadModemLines(device, lines) == ecOK;
    LineCounters counters;
    hasCounters = ReadLineCounters(device, counters) == ecOK;
    {
        std::lock_guard lock(stateMutex);
        applied = LineStateFromTermios(fields, LineState{});
        eventMask = 0;
        ++maskGeneration;
        statusCounters = counters;
        waitCounters = counters;
        waitLines = lines;
        reportedInput = 0;
        reportedTaken = inputTaken;
    }
    lost = false;
    closing = false;
    writeRefused = false;
    path = std::move(devicePath);
    fd = device;
    return ecOK;
}

ErrorCode SerialDevice::Open(std::string_view name) {
    Impl& d = *impl_;
    std::lock_guard gate(d.gateMutex);
    if (d.fd >= 0) {
        return ecAlreadyOpen;
    }
    if (const ErrorCode rc = CheckPortName(name); rc != ecOK) {
        return rc;
    }
    std::string path = ResolvePortName(name);
    UniqueFd device(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!device.Valid()) {
        return ErrorCodeFromErrno(errno, ErrnoContext::Opening);
    }
    if (const ErrorCode rc = d.Start(device.Get(), std::move(path)); rc != ecOK) {
        return rc;
    }
    (void)device.Release();
    return ecOK;
}

ErrorCode SerialDevice::Adopt(NativeDeviceHandle handle) {
    Impl& d = *impl_;
    std::lock_guard gate(d.gateMutex);
    if (d.fd >= 0) {
        return ecAlreadyOpen;
    }
    if (handle < 0 || handle > std::numeric_limits<int>::max()) {
        return ecBadHandle;
    }
    const int device = static_cast<int>(handle);
    const int fdFlags = ::fcntl(device, F_GETFD);
    const int statusFlags = fdFlags < 0 ? -1 : ::fcntl(device, F_GETFL);
    if (fdFlags < 0 || statusFlags < 0 || (statusFlags & O_ACCMODE) != O_RDWR) {
        return ecBadHandle; // not open, or not for both reading and writing
    }
    // Reads never block, and the descriptor does not pass to programs this one starts, as
    // for a device Open opened. Both are put back when the device cannot be taken.
    if (::fcntl(device, F_SETFL, statusFlags | O_NONBLOCK) != 0) {
        return ErrorCodeFromErrno(errno, ErrnoContext::Opening);
    }
    (void)::fcntl(device, F_SETFD, fdFlags | FD_CLOEXEC);
    char name[256] = {};
    std::string path;
    if (::ttyname_r(device, name, sizeof name) == 0) {
        path = name;
    }
    if (const ErrorCode rc = d.Start(device, std::move(path)); rc != ecOK) {
        (void)::fcntl(device, F_SETFD, fdFlags);
        (void)::fcntl(device, F_SETFL, statusFlags);
        return rc;
    }
    return ecOK;
}

ErrorCode SerialDevice::Close() {
    Impl& d = *impl_;
    std::unique_lock gate(d.gateMutex);
    if (d.fd < 0) {
        return ecCommNotOpen;
    }
    if (d.closing) { // another thread is closing: let it finish
        d.gateIdle.wait(gate, [&] { return d.fd < 0; });
        return ecCommNotOpen;
    }
    d.closing = true;
    d.eventWake.Signal();
    d.writeWake.Signal();
    d.gateIdle.wait(gate, [&] { return d.inFlight == 0; });
    d.eventWake.Destroy();
    d.writeWake.Destroy();
    // The exclusive flag stays on the terminal while anyone else holds it open; clear it
    // so that the next opener is not refused. The flock goes with the descriptor.
    (void)ioctl(d.fd, TIOCNXCL);
    // So does the driver's RS-485 mode: the next program finds the port without it.
    (void)SetRs485Toggle(d.fd, false);
    // Linux releases the descriptor even when close reports an error, so it is forgotten
    // either way; the error is still reported.
    const int rc = ::close(d.fd);
    const int error = errno;
    d.fd = -1;
    d.path.clear();
    d.closing = false;
    d.lost = false;
    d.gateIdle.notify_all();
    return rc == 0 ? ecOK : ErrorCodeFromErrno(error);
}

ErrorCode DeviceLostCode() {
    return ecDeviceLost;
}

ErrorCode SerialDevice::SetupQueues(std::uint32_t /*inSize*/, std::uint32_t /*outSize*/) {
    Impl::Call call(*impl_);
    return call.Open() ? ecOK : ecCommNotOpen;
}

bool SerialDevice::IsOpen() const {
    std::lock_guard gate(impl_->gateMutex);
    return impl_->fd >= 0 && !impl_->closing;
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
    TermiosFields fields;
    if (const ErrorCode rc = ReadTermios(call.Fd(), fields); rc != ecOK) {
        return d.Fail(rc);
    }
    std::lock_guard lock(d.stateMutex);
    state = LineStateFromTermios(fields, d.applied);
    return ecOK;
}

ErrorCode SerialDevice::SetState(const LineState& state) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    TermiosFields before;
    if (const ErrorCode rc = ReadTermios(call.Fd(), before); rc != ecOK) {
        return d.Fail(rc);
    }
    // The RTS toggle mode has no termios field: the driver's RS-485 mode gives it, where
    // the driver has one. Between transmissions RTS is low, as in the disable mode.
    const bool rtsToggle = state.fRtsControl == RtsControlToggle;
    LineState termiosPart = state;
    if (rtsToggle) {
        termiosPart.fRtsControl = RtsControlDisable;
    }
    TermiosFields wanted = before;
    if (const ErrorCode rc = TermiosFromLineState(termiosPart, wanted); rc != ecOK) {
        return rc;
    }
    if (rtsToggle) {
        if (const ErrorCode rc = Rs485Available(call.Fd()); rc != ecOK) {
            return rc;
        }
    }
    if (const ErrorCode rc = WriteTermios(call.Fd(), wanted); rc != ecOK) {
        return d.Fail(rc);
    }
    // A driver may take a request and keep only part of it (a pseudo-terminal keeps 8 data
    // bits and no parity whatever it is asked): what does not hold is a refusal, and the
    // device is put back as it was.
    TermiosFields held;
    if (const ErrorCode rc = ReadTermios(call.Fd(), held); rc != ecOK) {
        return d.Fail(rc);
    }
    if (!TermiosHolds(wanted, held)) {
        (void)WriteTermios(call.Fd(), before);
        return ecBadArgument;
    }
    // Any other RTS mode is the dispatcher's own: the driver's RS-485 mode goes off.
    if (const ErrorCode rc = SetRs485Toggle(call.Fd(), rtsToggle); rc != ecOK) {
        (void)WriteTermios(call.Fd(), before);
        return d.Fail(rc);
    }
    // DTR and RTS levels of the enable and disable modes. A driver without modem lines has
    // no level to set; Escape and ModemStatus report that to whoever asks for the lines.
    if (d.hasModemLines) {
        auto level = [&](int line, bool raise) {
            return ChangeModemLine(call.Fd(), LineRequest{line, raise});
        };
        ErrorCode rc = ecOK;
        LineRequest dtr;
        LineRequest rts;
        LineRequestForEscape(EscapeSetDtr, dtr);
        LineRequestForEscape(EscapeSetRts, rts);
        if (state.fDtrControl != DtrControlHandshake) {
            rc = level(dtr.line, state.fDtrControl == DtrControlEnable);
        }
        if (rc == ecOK && state.fRtsControl != RtsControlHandshake && !rtsToggle) {
            rc = level(rts.line, state.fRtsControl == RtsControlEnable);
        }
        if (rc != ecOK) {
            return d.Fail(rc);
        }
    }
    std::lock_guard lock(d.stateMutex);
    d.applied = state;
    return ecOK;
}

ErrorCode SerialDevice::Escape(int function) {
    Impl& d = *impl_;
    LineRequest request;
    if (!LineRequestForEscape(function, request)) {
        return ecBadArgument;
    }
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (const ErrorCode rc = ChangeModemLine(call.Fd(), request); rc != ecOK) {
        return d.Fail(rc);
    }
    return ecOK;
}

ErrorCode SerialDevice::ModemStatus(std::uint8_t& status) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    int lines = 0;
    if (const ErrorCode rc = ReadModemLines(call.Fd(), lines); rc != ecOK) {
        return d.Fail(rc);
    }
    status = ModemStatusFromLines(lines);
    return ecOK;
}

ErrorCode SerialDevice::GetStatus(DeviceStatus& status, std::uint32_t& lineErrors) {
    Impl& d = *impl_;
    lineErrors = 0;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    int waiting = 0;
    if (ioctl(call.Fd(), FIONREAD, &waiting) != 0) {
        return d.FailErrno(errno);
    }
    int pending = 0;
    if (ioctl(call.Fd(), TIOCOUTQ, &pending) != 0) {
        pending = 0;
    }
    status.Flags = 0;
    status.cbInQue = static_cast<std::uint32_t>(std::max(waiting, 0));
    status.cbOutQue = static_cast<std::uint32_t>(std::max(pending, 0));
    // Line errors come from the driver's counters; a driver without them (a
    // pseudo-terminal) cannot tell, and the bits stay 0.
    if (d.hasCounters) {
        LineCounters counters;
        if (ReadLineCounters(call.Fd(), counters) == ecOK) {
            std::lock_guard lock(d.stateMutex);
            lineErrors = LineErrorsBetween(d.statusCounters, counters);
            d.statusCounters = counters;
        }
    }
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
    for (;;) {
        const ssize_t n = ::read(call.Fd(), buffer, std::min(size, MaxTransfer));
        if (n > 0) {
            ++d.inputTaken;
            return static_cast<std::int32_t>(n);
        }
        if (n == 0) {
            // With VMIN 1 an empty queue gives EAGAIN; end of file means a hang-up.
            d.lost = true;
            return ecDeviceLost;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            return 0;
        }
        return d.FailErrno(errno);
    }
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
    for (;;) {
        const ssize_t n = ::write(call.Fd(), buffer, std::min(size, MaxTransfer));
        if (n >= 0) {
            d.writeRefused = n == 0;
            return static_cast<std::int32_t>(n);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            d.writeRefused = true;
            return 0;
        }
        return d.FailErrno(errno);
    }
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
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    const auto backoffEnd = Clock::now() + std::chrono::milliseconds(RefusedWriteBackoffMs);
    bool backingOff = d.writeRefused;
    for (;;) {
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = static_cast<int>(std::max<decltype(left)>(left, 0));
        }
        if (backingOff) {
            // Only a cancel or a hang-up ends the pause early.
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(backoffEnd - Clock::now()).count();
            const int pause = static_cast<int>(std::max<decltype(left)>(left, 0));
            wait = wait < 0 ? pause : std::min(wait, pause);
        }
        pollfd fds[2] = {{call.Fd(), backingOff ? short{0} : short{POLLOUT}, 0},
                         {d.writeWake.PollFd(), POLLIN, 0}};
        const int r = ::poll(fds, 2, wait);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return WriteWaitResult::Failed;
        }
        if (r == 0) {
            if (backingOff && (timeoutMs < 0 || Clock::now() < deadline)) {
                backingOff = false;
                continue;
            }
            return WriteWaitResult::TimedOut;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            d.writeWake.Drain();
            return WriteWaitResult::Cancelled;
        }
        if ((fds[0].revents & HangUp) != 0) {
            d.lost = true;
            return WriteWaitResult::DeviceLost;
        }
        if ((fds[0].revents & POLLOUT) != 0) {
            return WriteWaitResult::Writable;
        }
    }
}

void SerialDevice::CancelWrite() {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (call.Open()) {
        d.writeWake.Signal();
    }
}

ErrorCode SerialDevice::PurgeInput() {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (const ErrorCode rc = DiscardTerminalQueue(call.Fd(), TerminalQueue::Input); rc != ecOK) {
        return d.Fail(rc);
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
    // A driver that cannot tell counts as holding nothing, as in GetStatus.
    int pending = 0;
    if (ioctl(call.Fd(), TIOCOUTQ, &pending) != 0) {
        pending = 0;
    }
    return std::max(pending, 0);
}

ErrorCode SerialDevice::PurgeOutput() {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (!call.Open()) {
        return ecCommNotOpen;
    }
    d.writeWake.Signal(); // a pending write wait ends whatever the driver says
    if (const ErrorCode rc = call.Usable(); rc != ecOK) {
        return rc;
    }
    if (const ErrorCode rc = DiscardTerminalQueue(call.Fd(), TerminalQueue::Output); rc != ecOK) {
        return d.Fail(rc);
    }
    return ecOK;
}

ErrorCode SerialDevice::SetEventMask(std::uint32_t mask) {
    Impl& d = *impl_;
    Impl::Call call(d);
    if (!call.Open()) {
        return ecCommNotOpen;
    }
    {
        std::lock_guard lock(d.stateMutex);
        d.eventMask = mask;
        ++d.maskGeneration;
    }
    d.eventWake.Signal();
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
    for (;;) {
        if (d.lost) {
            return EventWaitResult::DeviceLost;
        }
        if (d.closing) {
            return EventWaitResult::Cancelled;
        }
        std::uint32_t mask = 0;
        std::uint64_t generation = 0;
        {
            std::lock_guard lock(d.stateMutex);
            mask = d.eventMask;
            generation = d.maskGeneration;
        }
        if (mask == 0) {
            return EventWaitResult::Cancelled;
        }
        if ((mask & ~EventsSupported) != 0) {
            return EventWaitResult::InvalidParameter;
        }
        bool inputSitting = false;
        const std::uint32_t found = d.CollectEvents(call.Fd(), mask, inputSitting);
        if (d.lost) {
            return EventWaitResult::DeviceLost;
        }
        if (found != 0) {
            events = found;
            return EventWaitResult::Events;
        }
        // Block until input arrives, the far end goes, the mask changes or, when lines,
        // counters or unread input are watched, the next look is due. Hang-ups are
        // reported by poll() whatever is asked for.
        const bool watchLines =
            ((mask & EventsModemLines) != 0 && (d.hasModemLines || d.hasCounters)) ||
            ((mask & EventsLineErrors) != 0 && d.hasCounters);
        int timeout = -1;
        if (watchLines) {
            timeout = LineCheckIntervalMs;
        }
        if (inputSitting) {
            timeout = timeout < 0 ? UnreadInputCheckIntervalMs
                                  : std::min(timeout, UnreadInputCheckIntervalMs);
        }
        const short input = (mask & EventRxChar) != 0 && !inputSitting ? POLLIN : 0;
        pollfd fds[2] = {{call.Fd(), input, 0}, {d.eventWake.PollFd(), POLLIN, 0}};
        const int r = ::poll(fds, 2, timeout);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return EventWaitResult::Failed;
        }
        if ((fds[0].revents & HangUp) != 0) {
            d.lost = true;
            return EventWaitResult::DeviceLost;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            d.eventWake.Drain();
            if (d.closing) {
                return EventWaitResult::Cancelled;
            }
            std::lock_guard lock(d.stateMutex);
            if (d.maskGeneration != generation) {
                return EventWaitResult::Cancelled;
            }
        }
    }
}

} // namespace apd
