#include "tools/simulator/AnalyserSimulator.h"

#include "comm/device/PortName.h"
#include "tools/simulator/ExchangeProtocol.h"
#include "tools/simulator/FaultyRecords.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

namespace vorsilan::sim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kReceivedHistoryLimit = std::size_t{1} << 20;
// Long enough for any writer to notice that the line is going.
constexpr auto kVanishGrace = std::chrono::seconds(10);

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) {
        return 0;
    }
    return left.count() > INT_MAX ? INT_MAX : static_cast<int>(left.count());
}

// Ten bit times (start, 8 data, stop) per byte.
std::chrono::nanoseconds ByteTime(unsigned baud) {
    return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

} // namespace

AnalyserSimulator::AnalyserSimulator(SimulatorOptions options)
    : options_(std::move(options)), devicePath_(line_.SlavePath()),
      silent_(options_.silent), delivery_{options_.pieces > 1 ? 0 : options_.pacingBaud,
                                          options_.pieces, options_.pieceGap},
      block_(options_.block) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::system_error(errno, std::generic_category(), "wake pipe");
    }
    wakeRead_.Reset(pipeFds[0]);
    wakeWrite_.Reset(pipeFds[1]);

    const std::string dir = options_.portDir.empty() ? apd::UserPortDirectory() : options_.portDir;
    if (dir.empty()) {
        throw std::system_error(EINVAL, std::generic_category(),
                                "no port directory: set VORSILAN_PORT_DIR or HOME");
    }
    if (options_.comNumber == 0) {
        throw std::system_error(EINVAL, std::generic_category(), "port number 0");
    }
    if (const apd::ErrorCode rc = apd::PublishPortLink(dir, options_.comNumber, devicePath_);
        rc != apd::ecOK) {
        throw std::system_error(-rc, std::generic_category(),
                                "publish " + dir + "/COM" + std::to_string(options_.comNumber));
    }
    linkPath_ = dir + "/COM" + std::to_string(options_.comNumber);
    Log("COM" + std::to_string(options_.comNumber) + " is " + linkPath_ + " -> " + devicePath_);
    try {
        reader_ = std::thread([this] { ReaderLoop(); });
    } catch (...) {
        RemoveLink();
        throw;
    }
}

AnalyserSimulator::~AnalyserSimulator() {
    Vanish();
}

std::string AnalyserSimulator::PortName() const {
    return "\\\\.\\COM" + std::to_string(options_.comNumber);
}

bool AnalyserSimulator::SendRecord(const ResultRecord& record) {
    return SendRecordBytes(record, record, NoiseClass::None);
}

bool AnalyserSimulator::SendRecord(const ResultRecord& record, NoiseClass noise,
                                   std::mt19937& random) {
    return SendRecordBytes(record, NoisyBurst(record, noise, random), noise);
}

bool AnalyserSimulator::SendRecordBytes(const ResultRecord& record,
                                        std::span<const std::uint8_t> bytes, NoiseClass noise) {
    if (!SendBytes(bytes)) {
        Log("record not sent: the line is gone or full");
        return false;
    }
    const DecodedResult result = DecodeResultRecord(record);
    {
        std::lock_guard lock(mutex_);
        ++counters_.recordsSent;
    }
    changed_.notify_all();
    Log("sent record " + std::to_string(result.number) + " " +
        FormatMeasuredValue(result.value, result.kind) + " " + SampleKindName(result.kind) +
        (noise == NoiseClass::None ? std::string()
                                   : " in " + std::string(NoiseClassName(noise)) + " noise"));
    return true;
}

bool AnalyserSimulator::SendBytes(std::span<const std::uint8_t> bytes) {
    if (!AcquireLine(Owner::Sender, options_.sendTimeout)) {
        return false;
    }
    const bool sent = WriteOwned(bytes);
    ReleaseLine();
    return sent;
}

bool AnalyserSimulator::SendNoise(std::size_t count, std::uint32_t seed) {
    std::mt19937 random(seed);
    return SendBytes(NoiseBytes(count, random));
}

bool AnalyserSimulator::SendTruncated(const ResultRecord& record, std::size_t length) {
    return SendBytes(std::span(record).first(std::min(length, record.size())));
}

bool AnalyserSimulator::SendWithHeaderInside(const ResultRecord& record) {
    return SendBytes(WithHeaderInside(record));
}

void AnalyserSimulator::SetSilent(bool silent) {
    {
        std::lock_guard lock(mutex_);
        silent_ = silent;
    }
    Log(silent ? "silent: commands are ignored" : "answering commands again");
}

void AnalyserSimulator::SetPacing(unsigned baud) {
    std::lock_guard lock(mutex_);
    delivery_ = {baud, 1, {}};
}

void AnalyserSimulator::SetPieces(std::size_t pieces, std::chrono::microseconds gap) {
    std::lock_guard lock(mutex_);
    delivery_ = {0, std::max<std::size_t>(pieces, 1), gap};
}

bool AnalyserSimulator::Vanished() const {
    std::lock_guard lock(mutex_);
    return vanished_;
}

SettingsBlock AnalyserSimulator::Block() const {
    std::lock_guard lock(mutex_);
    return block_;
}

void AnalyserSimulator::SetBlock(const SettingsBlock& block) {
    std::lock_guard lock(mutex_);
    block_ = block;
}

SimulatorCounters AnalyserSimulator::Counters() const {
    std::lock_guard lock(mutex_);
    return counters_;
}

std::vector<std::uint8_t> AnalyserSimulator::ReceivedBytes() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool AnalyserSimulator::WaitUntil(const std::function<bool(const SimulatorCounters&)>& condition,
                                  std::chrono::milliseconds within) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, within, [&] { return condition(counters_); });
}

bool AnalyserSimulator::WaitForBlockReads(std::size_t count,
                                          std::chrono::milliseconds within) const {
    return WaitUntil([count](const SimulatorCounters& c) { return c.blockReads >= count; }, within);
}

bool AnalyserSimulator::WaitForBlockWrites(std::size_t count,
                                           std::chrono::milliseconds within) const {
    return WaitUntil([count](const SimulatorCounters& c) { return c.blockWrites >= count; },
                     within);
}

bool AnalyserSimulator::WaitForBytesReceived(std::size_t count,
                                             std::chrono::milliseconds within) const {
    return WaitUntil([count](const SimulatorCounters& c) { return c.bytesReceived >= count; },
                     within);
}

void AnalyserSimulator::Vanish() {
    std::lock_guard once(vanishMutex_);
    {
        std::lock_guard lock(mutex_);
        if (vanished_) {
            return;
        }
    }
    {
        // Set under the lock so that no waiter in AcquireLine misses it.
        std::lock_guard lock(mutex_);
        vanishing_ = true;
    }
    const std::uint8_t wake = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(wakeWrite_.Get(), &wake, 1);
    changed_.notify_all();
    if (reader_.joinable() && reader_.get_id() != std::this_thread::get_id()) {
        reader_.join();
    }
    {
        // Senders see the wake pipe and give the line back before it is closed under them.
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kVanishGrace, [this] { return owner_ == Owner::None; });
    }
    line_.Close();
    RemoveLink();
    {
        std::lock_guard lock(mutex_);
        vanished_ = true;
    }
    changed_.notify_all();
    Log("vanished: line closed, " + linkPath_ + " removed");
}

bool AnalyserSimulator::WaitUntilDrained(std::chrono::milliseconds within) {
    // Bytes written to the master reach the slave's queue a little later, so an empty
    // queue counts only when it has stayed empty for a while.
    constexpr auto kLook = std::chrono::milliseconds(2);
    constexpr auto kSettle = std::chrono::milliseconds(20);
    const auto deadline = Clock::now() + within;
    std::lock_guard once(vanishMutex_); // the line stays open meanwhile
    auto emptySince = Clock::time_point::max();
    for (;;) {
        const auto now = Clock::now();
        if (vanishing_) {
            return false;
        }
        if (line_.Unread() != 0) {
            emptySince = Clock::time_point::max();
        } else if (emptySince == Clock::time_point::max()) {
            emptySince = now;
        } else if (now - emptySince >= kSettle) {
            return true;
        }
        if (now >= deadline) {
            return false;
        }
        SleepUntil(std::min(deadline, now + kLook));
    }
}

void AnalyserSimulator::WakeWaiters() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

void AnalyserSimulator::RemoveLink() {
    if (linkPath_.empty()) {
        return;
    }
    // Only our own link: another simulator may have published COMn since.
    char target[PATH_MAX];
    const ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
    if (n > 0 && std::string_view(target, static_cast<std::size_t>(n)) == devicePath_) {
        ::unlink(linkPath_.c_str());
    }
}

bool AnalyserSimulator::AcquireLine(Owner who, std::chrono::milliseconds within) {
    std::unique_lock lock(mutex_);
    const bool free = changed_.wait_for(
        lock, within, [this] { return owner_ == Owner::None || vanishing_.load(); });
    if (!free || vanishing_) {
        return false;
    }
    owner_ = who;
    return true;
}

void AnalyserSimulator::ReleaseLine() {
    {
        std::lock_guard lock(mutex_);
        owner_ = Owner::None;
    }
    changed_.notify_all();
}

bool AnalyserSimulator::WaitWritable(Clock::time_point deadline) {
    pollfd fds[2] = {{line_.Master(), POLLOUT, 0}, {wakeRead_.Get(), POLLIN, 0}};
    for (;;) {
        const int rc = ::poll(fds, 2, MillisecondsUntil(deadline));
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        return rc > 0 && (fds[1].revents & POLLIN) == 0 && (fds[0].revents & POLLOUT) != 0;
    }
}

void AnalyserSimulator::SleepUntil(Clock::time_point when) {
    const auto left = when - Clock::now();
    if (left <= Clock::duration::zero()) {
        return;
    }
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
    const timespec ts{static_cast<time_t>(ns / 1'000'000'000),
                      static_cast<long>(ns % 1'000'000'000)};
    pollfd wake{wakeRead_.Get(), POLLIN, 0};
    ::ppoll(&wake, 1, &ts, nullptr);
}

bool AnalyserSimulator::WriteAll(std::span<const std::uint8_t> bytes, Clock::time_point deadline,
                                 std::size_t& done) {
    std::size_t written = 0;
    while (written < bytes.size() && !vanishing_) {
        const ssize_t n = ::write(line_.Master(), bytes.data() + written, bytes.size() - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno == EAGAIN && WaitWritable(deadline)) {
            continue;
        }
        break;
    }
    return written == bytes.size();
}

bool AnalyserSimulator::WriteOwned(std::span<const std::uint8_t> bytes) {
    Delivery delivery;
    {
        std::lock_guard lock(mutex_);
        delivery = delivery_;
    }
    const auto start = Clock::now();
    std::size_t done = 0;
    bool sent = true;
    if (delivery.pieces > 1) {
        const std::vector<std::size_t> sizes = PieceSizes(bytes.size(), delivery.pieces);
        // The gaps are the send's own time, not time spent waiting for the line.
        const auto deadline =
            start + options_.sendTimeout + delivery.gap * static_cast<long long>(sizes.size());
        for (std::size_t i = 0; i < sizes.size() && sent; ++i) {
            if (i > 0) {
                SleepUntil(Clock::now() + delivery.gap);
            }
            sent = WriteAll(bytes.subspan(done, sizes[i]), deadline, done);
        }
    } else if (delivery.pacingBaud != 0) {
        const auto byteTime = ByteTime(delivery.pacingBaud);
        const auto deadline =
            start + options_.sendTimeout + byteTime * static_cast<long long>(bytes.size());
        while (sent && done < bytes.size()) {
            sent = WriteAll(bytes.subspan(done, 1), deadline, done);
            SleepUntil(start + byteTime * static_cast<long long>(done));
        }
    } else {
        sent = WriteAll(bytes, start + options_.sendTimeout, done);
    }
    {
        std::lock_guard lock(mutex_);
        counters_.bytesSent += done;
    }
    changed_.notify_all();
    return sent && done == bytes.size();
}

void AnalyserSimulator::ReaderLoop() {
    ExchangeProtocol protocol;
    bool ownsLine = false;
    auto dropWrite = [&](const char* why) {
        const std::size_t progress = protocol.WriteProgress();
        if (protocol.Abandon()) {
            {
                std::lock_guard lock(mutex_);
                ++counters_.writesAbandoned;
            }
            Log(std::string("settings write dropped after ") + std::to_string(progress) +
                " of 256 bytes: " + why);
        }
        if (ownsLine) {
            ownsLine = false;
            ReleaseLine();
        }
    };

    std::uint8_t buffer[4096];
    for (;;) {
        pollfd fds[2] = {{line_.Master(), POLLIN, 0}, {wakeRead_.Get(), POLLIN, 0}};
        const int timeout =
            protocol.Busy() ? static_cast<int>(options_.writeByteTimeout.count()) : -1;
        const int rc = ::poll(fds, 2, timeout);
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc < 0 || (fds[1].revents & POLLIN) != 0) {
            break;
        }
        if (rc == 0) {
            dropWrite("the PC sent nothing more");
            continue;
        }
        if ((fds[0].revents & POLLIN) == 0) {
            Log("the line failed");
            break; // hang-up or error with nothing to read
        }
        const ssize_t n = ::read(line_.Master(), buffer, sizeof buffer);
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            continue;
        }
        if (n <= 0) {
            Log("the line failed");
            break;
        }
        const std::span<const std::uint8_t> bytes(buffer, static_cast<std::size_t>(n));
        bool silent = false;
        {
            std::lock_guard lock(mutex_);
            counters_.bytesReceived += bytes.size();
            const std::size_t room =
                kReceivedHistoryLimit - std::min(kReceivedHistoryLimit, received_.size());
            received_.insert(received_.end(), bytes.begin(),
                             bytes.begin() +
                                 static_cast<std::ptrdiff_t>(std::min(room, bytes.size())));
            silent = silent_;
            if (silent) {
                counters_.bytesIgnored += bytes.size();
            }
        }
        changed_.notify_all();
        if (silent) {
            dropWrite("the analyser fell silent");
            continue;
        }
        for (const std::uint8_t byte : bytes) {
            const bool wasWriting = protocol.InWrite();
            const ExchangeProtocol::Action action = protocol.Feed(byte);
            if (!wasWriting && protocol.InWrite()) {
                ownsLine = AcquireLine(Owner::Exchange, options_.sendTimeout);
                if (!ownsLine) {
                    dropWrite("the line did not come free");
                    continue;
                }
                Log("PC writes the settings block");
            }
            switch (action) {
            case ExchangeProtocol::Action::None:
                break;
            case ExchangeProtocol::Action::SendBlock: {
                if (!AcquireLine(Owner::Exchange, options_.sendTimeout)) {
                    Log("settings read not answered: the line did not come free");
                    break;
                }
                std::vector<std::uint8_t> answer;
                answer.reserve(1 + kSettingsBlockSize);
                answer.push_back(options_.readAnswer);
                const SettingsBlock block = Block();
                const std::size_t told = std::min(options_.readBlockBytes, block.size());
                answer.insert(answer.end(), block.begin(),
                              block.begin() + static_cast<std::ptrdiff_t>(told));
                const bool sent = WriteOwned(answer);
                {
                    std::lock_guard lock(mutex_);
                    owner_ = Owner::None;
                    if (sent && told == block.size()) {
                        ++counters_.blockReads;
                    }
                }
                changed_.notify_all();
                Log(sent ? "PC read the settings block" : "settings read: answer not sent");
                break;
            }
            case ExchangeProtocol::Action::AnswerByte:
                WriteOwned(std::span(&options_.writeAnswer, 1));
                break;
            case ExchangeProtocol::Action::AnswerAndCommit: {
                // The block is kept (and handed on) before the last answer goes out, so
                // that the PC, once it has that answer, finds the new block here.
                SetBlock(protocol.Written());
                if (options_.blockWritten) {
                    options_.blockWritten(protocol.Written());
                }
                WriteOwned(std::span(&options_.writeAnswer, 1));
                {
                    std::lock_guard lock(mutex_);
                    owner_ = Owner::None;
                    ++counters_.blockWrites;
                }
                ownsLine = false;
                changed_.notify_all();
                Log("PC wrote the settings block");
                break;
            }
            }
        }
        {
            std::lock_guard lock(mutex_);
            counters_.strayBytes = protocol.StrayBytes();
        }
    }
    if (ownsLine) {
        ReleaseLine();
    }
}

void AnalyserSimulator::Log(const std::string& line) const {
    if (options_.log) {
        options_.log(line);
    }
}

} // namespace vorsilan::sim
