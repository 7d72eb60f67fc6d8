// The POSIX backend of SerialDevice: a terminal device opened non-blocking, with poll()
// waits that a wake descriptor ends at once.

#include "comm/device/ErrnoTranslation.h"
#include "comm/device/LineCounters.h"
#include "comm/device/ModemLines.h"
#include "comm/device/PortName.h"
#include "comm/device/Rs485.h"
#include "comm/device/SerialBackend.h"
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
#include <cerrno>
#include <chrono>
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

// The open terminal, its wake signals and the records the backend keeps beside the core's.
struct SerialBackend::Native {
    explicit Native(SerialDeviceCore& c) : core(c) {}

    ErrorCode FailErrno(int error) { return core.Fail(ErrorCodeFromErrno(error)); }

    // Makes `device`, a terminal opened for reading and writing, the open device: takes
    // the exclusive lock, puts the terminal in raw mode, creates the wake signals and
    // starts the wait's baselines. On failure the lock, the exclusive flag and the
    // terminal's mode are as they were, and the descriptor is still the caller's.
    ErrorCode Start(int device);

    // Collects the events of `mask` that have arisen. `inputSitting` tells that input is
    // waiting that was already reported; `inputByReadiness` that any input would be new,
    // so that it was not counted and the wait's readiness reports it.
    std::uint32_t CollectEvents(std::uint32_t mask, bool& inputSitting, bool& inputByReadiness);

    SerialDeviceCore& core;

    // Fixed while open (see SerialDeviceCore's gate).
    int fd = -1;
    WakeSignal eventWake;
    WakeSignal writeWake;
    bool hasModemLines = false;
    bool hasCounters = false;

    // The line record and the wait's baselines; core.stateMutex.
    LineState applied;
    LineCounters statusCounters; // baseline of GetStatus
    LineCounters waitCounters;   // baseline of WaitEvent
    int waitLines = 0;
};

SerialBackend::SerialBackend(SerialDeviceCore& core) : os_(std::make_unique<Native>(core)) {}

SerialBackend::~SerialBackend() = default;

ErrorCode SerialBackend::Native::Start(int device) {
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
        std::lock_guard lock(core.stateMutex);
        applied = LineStateFromTermios(fields, LineState{});
        statusCounters = counters;
        waitCounters = counters;
        waitLines = lines;
    }
    fd = device;
    return ecOK;
}

std::uint32_t SerialBackend::Native::CollectEvents(std::uint32_t mask, bool& inputSitting,
                                                   bool& inputByReadiness) {
    std::uint32_t found = 0;
    inputSitting = false;
    inputByReadiness = (mask & EventRxChar) != 0 && core.InputWouldBeNew();
    if ((mask & EventRxChar) != 0 && !inputByReadiness) {
        int waiting = 0;
        if (ioctl(fd, FIONREAD, &waiting) != 0) {
            FailErrno(errno);
            return 0;
        }
        if (core.ReportInput(static_cast<std::uint32_t>(std::max(waiting, 0)), inputSitting)) {
            found |= EventRxChar;
        }
    }
    // The baselines move on every look, so that a change is reported once, and only
    // changes after the previous look are reported.
    if (hasModemLines) {
        int lines = 0;
        if (ReadModemLines(fd, lines) == ecOK) {
            std::lock_guard lock(core.stateMutex);
            found |= EventsFromLineChange(waitLines, lines);
            waitLines = lines;
        }
    }
    if (hasCounters) {
        LineCounters counters;
        if (ReadLineCounters(fd, counters) == ecOK) {
            std::lock_guard lock(core.stateMutex);
            found |= EventsBetween(waitCounters, counters);
            waitCounters = counters;
        }
    }
    return found & mask;
}

ErrorCode SerialBackend::Open(std::string_view name, std::string& path) {
    Native& d = *os_;
    std::string resolved = ResolvePortName(name);
    UniqueFd device(::open(resolved.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!device.Valid()) {
        return ErrorCodeFromErrno(errno, ErrnoContext::Opening);
    }
    if (const ErrorCode rc = d.Start(device.Get()); rc != ecOK) {
        return rc;
    }
    (void)device.Release();
    path = std::move(resolved);
    return ecOK;
}

ErrorCode SerialBackend::Adopt(NativeDeviceHandle handle, std::string& path) {
    Native& d = *os_;
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
    std::string ttyPath;
    if (::ttyname_r(device, name, sizeof name) == 0) {
        ttyPath = name;
    }
    if (const ErrorCode rc = d.Start(device); rc != ecOK) {
        (void)::fcntl(device, F_SETFD, fdFlags);
        (void)::fcntl(device, F_SETFL, statusFlags);
        return rc;
    }
    path = std::move(ttyPath);
    return ecOK;
}

void SerialBackend::EndWaits() {
    Native& d = *os_;
    d.eventWake.Signal();
    d.writeWake.Signal();
}

ErrorCode SerialBackend::Release() {
    Native& d = *os_;
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
    return rc == 0 ? ecOK : ErrorCodeFromErrno(error);
}

ErrorCode SerialBackend::SetupQueues(std::uint32_t /*inSize*/, std::uint32_t /*outSize*/) {
    return ecOK; // a terminal keeps queues of its own size
}

ErrorCode SerialBackend::GetState(LineState& state) {
    Native& d = *os_;
    TermiosFields fields;
    if (const ErrorCode rc = ReadTermios(d.fd, fields); rc != ecOK) {
        return d.core.Fail(rc);
    }
    std::lock_guard lock(d.core.stateMutex);
    state = LineStateFromTermios(fields, d.applied);
    return ecOK;
}

ErrorCode SerialBackend::SetState(const LineState& state) {
    Native& d = *os_;
    TermiosFields before;
    if (const ErrorCode rc = ReadTermios(d.fd, before); rc != ecOK) {
        return d.core.Fail(rc);
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
        if (const ErrorCode rc = Rs485Available(d.fd); rc != ecOK) {
            return rc;
        }
    }
    if (const ErrorCode rc = WriteTermios(d.fd, wanted); rc != ecOK) {
        return d.core.Fail(rc);
    }
    // A driver may take a request and keep only part of it (a pseudo-terminal keeps 8 data
    // bits and no parity whatever it is asked): what does not hold is a refusal, and the
    // device is put back as it was.
    TermiosFields held;
    if (const ErrorCode rc = ReadTermios(d.fd, held); rc != ecOK) {
        return d.core.Fail(rc);
    }
    if (!TermiosHolds(wanted, held)) {
        (void)WriteTermios(d.fd, before);
        return ecBadArgument;
    }
    // Any other RTS mode is the dispatcher's own: the driver's RS-485 mode goes off.
    if (const ErrorCode rc = SetRs485Toggle(d.fd, rtsToggle); rc != ecOK) {
        (void)WriteTermios(d.fd, before);
        return d.core.Fail(rc);
    }
    // DTR and RTS levels of the enable and disable modes. A driver without modem lines has
    // no level to set; Escape and ModemStatus report that to whoever asks for the lines.
    if (d.hasModemLines) {
        auto level = [&](int line, bool raise) {
            return ChangeModemLine(d.fd, LineRequest{line, raise});
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
            return d.core.Fail(rc);
        }
    }
    std::lock_guard lock(d.core.stateMutex);
    d.applied = state;
    return ecOK;
}

ErrorCode SerialBackend::CheckEscape(int function) const {
    LineRequest request;
    return LineRequestForEscape(function, request) ? ecOK : ecBadArgument;
}

ErrorCode SerialBackend::Escape(int function) {
    Native& d = *os_;
    LineRequest request;
    (void)LineRequestForEscape(function, request);
    if (const ErrorCode rc = ChangeModemLine(d.fd, request); rc != ecOK) {
        return d.core.Fail(rc);
    }
    return ecOK;
}

ErrorCode SerialBackend::ModemStatus(std::uint8_t& status) {
    Native& d = *os_;
    int lines = 0;
    if (const ErrorCode rc = ReadModemLines(d.fd, lines); rc != ecOK) {
        return d.core.Fail(rc);
    }
    status = ModemStatusFromLines(lines);
    return ecOK;
}

ErrorCode SerialBackend::GetStatus(DeviceStatus& status, std::uint32_t& lineErrors) {
    Native& d = *os_;
    std::uint32_t waiting = 0;
    if (const ErrorCode rc = InputWaiting(waiting); rc != ecOK) {
        return rc;
    }
    int pending = 0;
    if (ioctl(d.fd, TIOCOUTQ, &pending) != 0) {
        pending = 0;
    }
    status.Flags = 0;
    status.cbInQue = waiting;
    status.cbOutQue = static_cast<std::uint32_t>(std::max(pending, 0));
    return LineErrors(lineErrors);
}

ErrorCode SerialBackend::LineErrors(std::uint32_t& lineErrors) {
    Native& d = *os_;
    // Line errors come from the driver's counters; a driver without them (a
    // pseudo-terminal) cannot tell, and the bits stay 0.
    if (d.hasCounters) {
        LineCounters counters;
        if (ReadLineCounters(d.fd, counters) == ecOK) {
            std::lock_guard lock(d.core.stateMutex);
            lineErrors = LineErrorsBetween(d.statusCounters, counters);
            d.statusCounters = counters;
        }
    }
    return ecOK;
}

ErrorCode SerialBackend::InputWaiting(std::uint32_t& count) {
    Native& d = *os_;
    int waiting = 0;
    if (ioctl(d.fd, FIONREAD, &waiting) != 0) {
        return d.FailErrno(errno);
    }
    count = static_cast<std::uint32_t>(std::max(waiting, 0));
    return ecOK;
}

std::int32_t SerialBackend::Read(void* buffer, std::size_t size) {
    Native& d = *os_;
    for (;;) {
        const ssize_t n = ::read(d.fd, buffer, std::min(size, MaxTransfer));
        if (n > 0) {
            return static_cast<std::int32_t>(n);
        }
        if (n == 0) {
            // With VMIN 1 an empty queue gives EAGAIN; end of file means a hang-up.
            d.core.lost = true;
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

std::int32_t SerialBackend::Write(const void* buffer, std::size_t size) {
    Native& d = *os_;
    for (;;) {
        const ssize_t n = ::write(d.fd, buffer, std::min(size, MaxTransfer));
        if (n >= 0) {
            return static_cast<std::int32_t>(n);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN) {
            return 0; // refused: the next wait pauses first
        }
        return d.FailErrno(errno);
    }
}

WriteWaitResult SerialBackend::WaitWritable(int timeoutMs, bool refusedBefore) {
    Native& d = *os_;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    const auto backoffEnd = Clock::now() + std::chrono::milliseconds(RefusedWriteBackoffMs);
    bool backingOff = refusedBefore;
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
        pollfd fds[2] = {{d.fd, backingOff ? short{0} : short{POLLOUT}, 0},
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
            d.core.lost = true;
            return WriteWaitResult::DeviceLost;
        }
        if ((fds[0].revents & POLLOUT) != 0) {
            return WriteWaitResult::Writable;
        }
    }
}

void SerialBackend::CancelWrite() {
    Native& d = *os_;
    d.writeWake.Signal();
}

ErrorCode SerialBackend::PurgeInput() {
    Native& d = *os_;
    if (const ErrorCode rc = DiscardTerminalQueue(d.fd, TerminalQueue::Input); rc != ecOK) {
        return d.core.Fail(rc);
    }
    return ecOK;
}

std::int32_t SerialBackend::OutputQueued() {
    Native& d = *os_;
    // A driver that cannot tell counts as holding nothing, as in GetStatus.
    int pending = 0;
    if (ioctl(d.fd, TIOCOUTQ, &pending) != 0) {
        pending = 0;
    }
    return std::max(pending, 0);
}

ErrorCode SerialBackend::PurgeOutput() {
    Native& d = *os_;
    if (const ErrorCode rc = DiscardTerminalQueue(d.fd, TerminalQueue::Output); rc != ecOK) {
        return d.core.Fail(rc);
    }
    return ecOK;
}

ErrorCode SerialBackend::MaskChanged(std::uint32_t /*mask*/) {
    Native& d = *os_;
    d.eventWake.Signal();
    return ecOK;
}

EventWaitResult SerialBackend::WaitEvent(std::uint32_t& events) {
    Native& d = *os_;
    for (;;) {
        SerialDeviceCore::WaitRound round;
        if (const auto end = d.core.StartRound(round)) {
            return *end;
        }
        const std::uint32_t mask = round.mask;
        bool inputSitting = false;
        bool inputByReadiness = false;
        const std::uint32_t found = d.CollectEvents(mask, inputSitting, inputByReadiness);
        if (d.core.lost) {
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
        // Another thread may read while this one waits (a pass on the dispatch thread).
        const std::uint64_t takenBeforePoll = d.core.inputTaken;
        pollfd fds[2] = {{d.fd, input, 0}, {d.eventWake.PollFd(), POLLIN, 0}};
        const int r = ::poll(fds, 2, timeout);
        if (r < 0) {
            if (errno == EINTR) {
                continue;
            }
            return EventWaitResult::Failed;
        }
        if ((fds[0].revents & HangUp) != 0) {
            d.core.lost = true;
            return EventWaitResult::DeviceLost;
        }
        if ((fds[0].revents & POLLIN) != 0 && inputByReadiness) {
            // Input that is new whatever its length: reported without counting it, which
            // saves a call per arrival; the reader takes what is there.
            d.core.NoteInputUncounted(takenBeforePoll);
            events = EventRxChar;
            return EventWaitResult::Events;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            d.eventWake.Drain();
            if (d.core.closing) {
                return EventWaitResult::Cancelled;
            }
            if (d.core.MaskChangedSince(round.generation)) {
                return EventWaitResult::Cancelled;
            }
        }
    }
}

bool SerialBackend::SleepUntilReadable(int timeoutMs, bool watchInput) {
    Native& d = *os_;
    // The same wake signal as WaitEvent's: a new mask or Close ends this sleep too, and the
    // next wait's round reads the state they changed, so draining it here loses nothing.
    pollfd fds[2] = {{d.fd, static_cast<short>(watchInput ? POLLIN : 0), 0},
                     {d.eventWake.PollFd(), POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) > 0) {
        if ((fds[0].revents & HangUp) != 0) {
            d.core.lost = true;
        }
        if ((fds[1].revents & POLLIN) != 0) {
            d.eventWake.Drain();
        }
    }
    return true; // an interrupted poll is an early end, as the caller allows
}

void SerialBackend::InterruptSleep() {
    os_->eventWake.Signal();
}

} // namespace apd
