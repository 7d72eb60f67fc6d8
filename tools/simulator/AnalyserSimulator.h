#pragma once
// The "Ворсилан" analyser at the far end of a pseudo-terminal: the workstation opens the
// pseudo-terminal as its serial port, published as COMn in the port directory.
//
// One reader thread answers the settings exchanges (see ExchangeProtocol.h). Everything
// that goes out on the line, records from any thread and the answers of an exchange, is
// serialised: a record never lands inside an exchange, nor an answer inside a record.
// Every wait is bounded and none polls in a loop: the threads sleep in poll() and on
// condition variables.
//
// Typical use from a test in the same process:
//   AnalyserSimulator sim({.comNumber = 7, .portDir = dir});
//   ... the code under test opens "\\.\COM7" ...
//   sim.SendRecord(*EncodeResultRecord(12345, 556, SampleKind::Serum));
//   ASSERT_TRUE(sim.WaitForBlockWrites(1, 5s));
//   EXPECT_EQ(sim.Block()[2], 1);

#include "tools/simulator/FaultyRecords.h"
#include "tools/simulator/LineDelivery.h"
#include "tools/simulator/PseudoTerminal.h"
#include "tools/simulator/ResultRecord.h"
#include "tools/simulator/SettingsBlock.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vorsilan::sim {

struct SimulatorOptions {
    unsigned comNumber = 7;
    // Where COMn is published; empty: $VORSILAN_PORT_DIR, else $HOME/.vorsilan/ports.
    std::string portDir;
    SettingsBlock block = DefaultSettingsBlock();
    // The byte ahead of the block in a read, and the answer to each byte of a write.
    std::uint8_t readAnswer = 0x06;
    std::uint8_t writeAnswer = 0x06;
    // How many bytes of the block a read answers with (fewer: an analyser that stops part-way
    // through its answer; the read is not counted as answered).
    std::size_t readBlockBytes = kSettingsBlockSize;
    // How every send (records, faults, the answers of an exchange) reaches the line. More
    // than one piece: the send is cut into that many pieces, as even as possible, each
    // written at once (not paced), with `pieceGap` between them. Otherwise, with a rate:
    // one byte per character time of that rate at 8N1 (10 bits; 115200, the analyser's
    // line, gives about 87 us a byte); with 0: each send in one write, as fast as the
    // pseudo-terminal takes it.
    unsigned pacingBaud = kAnalyserBaud;
    std::size_t pieces = 1;
    std::chrono::microseconds pieceGap{0};
    bool silent = false;
    // A write exchange whose next byte does not come within this time is dropped and the
    // kept block stays as it was.
    std::chrono::milliseconds writeByteTimeout{2000};
    // How long a send waits for the line (an exchange in progress, a full queue because
    // nobody reads the port) before it gives up.
    std::chrono::milliseconds sendTimeout{5000};
    // One line of text per thing the simulator does; called from the simulator's threads
    // and the sending thread, never under a lock.
    std::function<void(std::string_view)> log;
    // Called on the reader thread with each block the PC has written, after it is kept.
    std::function<void(const SettingsBlock&)> blockWritten;
};

struct SimulatorCounters {
    std::size_t blockReads = 0;      // read exchanges answered in full
    std::size_t blockWrites = 0;     // write exchanges completed, block kept
    std::size_t writesAbandoned = 0; // write exchanges the PC stopped in the middle
    std::size_t bytesIgnored = 0;    // bytes from the PC dropped while silent
    std::size_t strayBytes = 0;      // bytes from the PC outside any command
    std::size_t recordsSent = 0;     // SendRecord calls that went out in full
    std::size_t bytesSent = 0;       // every byte put on the line
    std::size_t bytesReceived = 0;   // every byte the PC sent
};

class AnalyserSimulator {
public:
    // Makes the pseudo-terminal, publishes COMn and starts the reader thread. Throws
    // std::system_error when the pseudo-terminal or the link cannot be made.
    explicit AnalyserSimulator(SimulatorOptions options = {});
    // Vanishes (closes the line, removes the link) if it has not yet.
    ~AnalyserSimulator();
    AnalyserSimulator(const AnalyserSimulator&) = delete;
    AnalyserSimulator& operator=(const AnalyserSimulator&) = delete;

    const std::string& DevicePath() const { return devicePath_; } // /dev/pts/N
    const std::string& LinkPath() const { return linkPath_; }     // <dir>/COMn
    std::string PortName() const;                                 // "\\.\COMn"

    // Each puts its bytes on the line as one send, nothing else between them, delivered as
    // set (paced, in pieces or whole). False when the line has vanished or did not take
    // every byte within sendTimeout (beyond the time the pacing or the gaps take).
    bool SendRecord(const ResultRecord& record);
    // The record in noise of a class (see NoisyBurst), as one send; counts as a record.
    bool SendRecord(const ResultRecord& record, NoiseClass noise, std::mt19937& random);
    bool SendBytes(std::span<const std::uint8_t> bytes);
    // Faults: `count` noise bytes (never 0xAA; the same bytes for the same seed), the
    // first `length` bytes of a record, a record with a second header inside it.
    bool SendNoise(std::size_t count, std::uint32_t seed = 1);
    bool SendTruncated(const ResultRecord& record, std::size_t length);
    bool SendWithHeaderInside(const ResultRecord& record);

    // A silent analyser reads what the PC sends and answers nothing; a write exchange in
    // progress is dropped.
    void SetSilent(bool silent);
    // The delivery of the sends that start afterwards: paced at `baud`, or whole with 0;
    // in `pieces` pieces `gap` apart, unpaced (1 piece: whole).
    void SetPacing(unsigned baud);
    void SetPieces(std::size_t pieces, std::chrono::microseconds gap);

    // Closes the analyser's end of the line and removes the link: the workstation sees a
    // hang-up and can no longer open COMn. Later sends fail. Idempotent.
    void Vanish();
    bool Vanished() const;
    // Closing the line drops what the PC has not read yet. Waits up to `within` until the
    // PC has read everything sent (looked at every few milliseconds, as nothing signals it);
    // true when it has. For an orderly end before Vanish.
    bool WaitUntilDrained(std::chrono::milliseconds within);

    SettingsBlock Block() const;
    void SetBlock(const SettingsBlock& block);

    SimulatorCounters Counters() const;
    // Every byte the PC has sent so far, in order (the first 1 MiB).
    std::vector<std::uint8_t> ReceivedBytes() const;

    // Bounded waits: true when the condition held before `within` ran out.
    bool WaitForBlockReads(std::size_t count, std::chrono::milliseconds within) const;
    bool WaitForBlockWrites(std::size_t count, std::chrono::milliseconds within) const;
    bool WaitForBytesReceived(std::size_t count, std::chrono::milliseconds within) const;
    bool WaitUntil(const std::function<bool(const SimulatorCounters&)>& condition,
                   std::chrono::milliseconds within) const;
    // Makes every WaitUntil look at its condition again, for a condition that depends on
    // something besides the counters (a stop request).
    void WakeWaiters();

private:
    enum class Owner { None, Sender, Exchange };
    struct Delivery {
        unsigned pacingBaud = 0;
        std::size_t pieces = 1;
        std::chrono::microseconds gap{0};
    };

    void ReaderLoop();
    void HandleIncoming(std::span<const std::uint8_t> bytes);
    // Takes the line for `who`; false when it did not come free within `within` or the
    // line is gone.
    bool AcquireLine(Owner who, std::chrono::milliseconds within);
    void ReleaseLine();
    bool SendRecordBytes(const ResultRecord& record, std::span<const std::uint8_t> bytes,
                         NoiseClass noise);
    // Writes while the caller owns the line, delivered as set.
    bool WriteOwned(std::span<const std::uint8_t> bytes);
    // Writes every byte of `bytes` at once, waiting for room until `deadline`; counts what
    // went out in `done`.
    bool WriteAll(std::span<const std::uint8_t> bytes,
                  std::chrono::steady_clock::time_point deadline, std::size_t& done);
    bool WaitWritable(std::chrono::steady_clock::time_point deadline);
    void SleepUntil(std::chrono::steady_clock::time_point when);
    void Log(const std::string& line) const;
    void RemoveLink();

    SimulatorOptions options_;
    PseudoTerminal line_;
    std::string devicePath_;
    std::string linkPath_;
    apd::UniqueFd wakeRead_; // readable once the simulator vanishes
    apd::UniqueFd wakeWrite_;
    std::atomic<bool> vanishing_{false};

    mutable std::mutex mutex_; // guards everything below
    mutable std::condition_variable changed_;
    Owner owner_ = Owner::None;
    bool vanished_ = false;
    bool silent_ = false;
    Delivery delivery_;
    SettingsBlock block_{};
    SimulatorCounters counters_;
    std::vector<std::uint8_t> received_;

    std::mutex vanishMutex_; // one Vanish at a time
    std::thread reader_;     // last: starts once everything above exists
};

} // namespace vorsilan::sim
