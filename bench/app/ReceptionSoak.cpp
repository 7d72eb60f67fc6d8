// Sends numbered result records through the workstation's real reception path, the main
// window with its port component on a pseudo-terminal, in the ways a line delivers them,
// and counts per class what the window showed: received, lost, shown twice, and records
// that were never sent (noise taken for a record).
//
//   reception_soak [RECORDS] [CLASS...]     (default 1000 records in every class)
//
// Classes: line-rate (one byte per character time at 115200 baud), pieces-2 and pieces-5
// (a record in 2 or 5 writes, 1 to 50 ms apart), leading, trailing, false-header,
// trailing-false-header and false-header-possible (noise of that kind around each record,
// at line rate), flood (8192 noise bytes and the record in one write), busy-window (at line
// rate; every 100th record the window's thread is held 3.5 s while two records arrive).
// Offscreen, with a private port directory. Each record waits for the window to show a
// record (any) before the next goes, at most 1.5 s. The time from the first byte of a
// record's burst on the line to the shown result is printed beyond the burst's own line time
// (its bytes at the pacing rate, or the gaps between its pieces).

#include "app/Main.h"
#include "bench/app/QuietPrompts.h"
#include "tools/simulator/AnalyserSimulator.h"
#include "tools/simulator/FaultyRecords.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

using namespace vorsilan;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct SoakClass {
    const char* name;
    sim::NoiseClass noise = sim::NoiseClass::None;
    unsigned pacingBaud = sim::kAnalyserBaud; // 0: each send in one write
    std::size_t pieces = 1;                   // more than 1: random gaps of 1 to 50 ms
    bool busyWindow = false;
};

const SoakClass Classes[] = {
    {"line-rate"},
    {"pieces-2", sim::NoiseClass::None, 0, 2},
    {"pieces-5", sim::NoiseClass::None, 0, 5},
    {"leading", sim::NoiseClass::Leading},
    {"trailing", sim::NoiseClass::Trailing},
    {"false-header", sim::NoiseClass::FalseHeader},
    {"trailing-false-header", sim::NoiseClass::TrailingFalseHeader},
    {"false-header-possible", sim::NoiseClass::FalseHeaderPossible},
    {"flood", sim::NoiseClass::Flood, 0},
    {"busy-window", sim::NoiseClass::None, sim::kAnalyserBaud, 1, true},
};

constexpr std::chrono::milliseconds ShownBound{1500};
constexpr int BusyEvery = 100;
constexpr std::chrono::milliseconds BusyTime{3500};

// What the window showed, filled on the GUI thread and read by the sender.
class Shown {
public:
    void Add(const app::DecodedRecord& record) {
        {
            std::lock_guard hold(mutex_);
            records_.push_back({record.bytes, Clock::now()});
        }
        changed_.notify_all();
    }
    std::size_t Count() const {
        std::lock_guard hold(mutex_);
        return records_.size();
    }
    // Waits until more than `count` records were shown; false after `within`.
    bool WaitBeyond(std::size_t count, Clock::duration within) const {
        std::unique_lock hold(mutex_);
        return changed_.wait_for(hold, within, [&] { return records_.size() > count; });
    }
    struct Entry {
        app::RecordBytes bytes;
        Clock::time_point at;
    };
    std::vector<Entry> Records() const {
        std::lock_guard hold(mutex_);
        return records_;
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Entry> records_;
};

struct Sent {
    sim::ResultRecord record;
    Clock::time_point at; // when its first byte went on the line
    // What the burst alone takes: its bytes at the pacing rate, or the gaps between its
    // pieces (a pseudo-terminal adds no line time of its own).
    Clock::duration lineTime{};
};

// Sends the class's records; runs on its own thread while the GUI thread serves the window.
std::vector<Sent> SendRecords(const SoakClass& soak, unsigned count, sim::AnalyserSimulator& line,
                              const Shown& shown, app::TForm1& form) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<unsigned> value(0, 9999);
    std::uniform_int_distribution<int> kind(1, 3);
    std::uniform_int_distribution<int> gapMs(1, 50);
    std::vector<Sent> sent;
    line.SetPacing(soak.pacingBaud);
    const auto send = [&](unsigned number) {
        Clock::duration lineTime{};
        const auto record =
            *sim::EncodeResultRecord(static_cast<std::uint16_t>(number), value(random),
                                     static_cast<sim::SampleKind>(kind(random)));
        const std::vector<std::uint8_t> burst = sim::NoisyBurst(record, soak.noise, random);
        if (soak.pieces > 1) {
            const std::chrono::milliseconds gap(gapMs(random));
            line.SetPieces(soak.pieces, gap);
            lineTime = gap * static_cast<int>(soak.pieces - 1);
        } else if (soak.pacingBaud != 0) {
            lineTime = std::chrono::microseconds(burst.size() * 10 * 1'000'000 / soak.pacingBaud);
        }
        sent.push_back({record, Clock::now(), lineTime});
        if (!line.SendBytes(burst)) {
            std::fprintf(stderr, "%s: record %u not sent\n", soak.name, number);
        }
    };
    for (unsigned number = 1; number <= count; ++number) {
        const std::size_t before = shown.Count();
        if (soak.busyWindow && number % BusyEvery == 0 && number < count) {
            std::promise<void> held;
            QMetaObject::invokeMethod(
                &form,
                [&held] {
                    held.set_value();
                    std::this_thread::sleep_for(BusyTime);
                },
                Qt::QueuedConnection);
            held.get_future().wait();
            send(number);
            send(++number);
            shown.WaitBeyond(before + 1, BusyTime + 2 * ShownBound);
            continue;
        }
        send(number);
        shown.WaitBeyond(before, ShownBound);
    }
    shown.WaitBeyond(shown.Count(), ShownBound); // stragglers
    return sent;
}

struct Tally {
    std::size_t sent = 0, received = 0, lost = 0, duplicated = 0, spurious = 0;
    std::vector<double> latencyMs; // burst on the line to the shown result, less its line time
};

Tally Count(const std::vector<Sent>& sent, const std::vector<Shown::Entry>& shown) {
    Tally tally;
    tally.sent = sent.size();
    std::map<sim::ResultRecord, std::size_t> index;
    for (std::size_t i = 0; i < sent.size(); ++i) {
        index.emplace(sent[i].record, i);
    }
    std::vector<int> times(sent.size(), 0);
    for (const Shown::Entry& entry : shown) {
        const auto found = index.find(entry.bytes);
        if (found == index.end()) {
            ++tally.spurious;
            continue;
        }
        if (times[found->second]++ == 0) {
            const Sent& record = sent[found->second];
            const auto beyond = entry.at - record.at - record.lineTime;
            tally.latencyMs.push_back(std::chrono::duration<double, std::milli>(beyond).count());
        } else {
            ++tally.duplicated;
        }
    }
    tally.received = static_cast<std::size_t>(
        std::count_if(times.begin(), times.end(), [](int n) { return n > 0; }));
    tally.lost = tally.sent - tally.received;
    return tally;
}

double Quantile(std::vector<double> values, double q) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(q * values.size()))];
}

Tally RunClass(const SoakClass& soak, unsigned count, const std::string& portDir) {
    sim::SimulatorOptions options;
    options.comNumber = 7;
    options.portDir = portDir;
    sim::AnalyserSimulator line(options);
    auto prompts = std::make_unique<bench::QuietPrompts>();
    app::TForm1 form(std::move(prompts));
    Shown shown;
    QObject::connect(&form, &app::TForm1::RecordReceived,
                     [&shown](const app::DecodedRecord& record) { shown.Add(record); });
    QEventLoop loop;
    std::vector<Sent> sent;
    std::thread sender([&] {
        sent = SendRecords(soak, count, line, shown, form);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    sender.join();
    return Count(sent, shown.Records());
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QTemporaryDir ports;
    qputenv("VORSILAN_PORT_DIR", ports.path().toLocal8Bit());
    // A journal of its own, never the user's.
    qputenv("VORSILAN_JOURNAL_DB", ports.filePath("journal.sqlite").toLocal8Bit());
    QApplication application(argc, argv);

    unsigned count = 1000;
    std::vector<const SoakClass*> chosen;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i == 1 && !arg.empty() && arg.find_first_not_of("0123456789") == std::string::npos) {
            count = static_cast<unsigned>(std::min(std::strtoul(argv[i], nullptr, 10), 65535ul));
            continue;
        }
        const auto found = std::find_if(std::begin(Classes), std::end(Classes),
                                        [&](const SoakClass& c) { return arg == c.name; });
        if (found == std::end(Classes)) {
            std::fprintf(stderr, "reception_soak: unknown class %s\n", argv[i]);
            return 2;
        }
        chosen.push_back(found);
    }
    if (chosen.empty()) {
        for (const SoakClass& soak : Classes) {
            chosen.push_back(&soak);
        }
    }

    std::printf("%-22s %6s %8s %5s %10s %8s   beyond line time: median  p99    max (ms)\n", "class",
                "sent", "received", "lost", "duplicated", "spurious");
    for (const SoakClass* soak : chosen) {
        const Tally t = RunClass(*soak, count, ports.path().toStdString());
        std::printf("%-22s %6zu %8zu %5zu %10zu %8zu   %24.2f %6.2f %6.2f\n", soak->name, t.sent,
                    t.received, t.lost, t.duplicated, t.spurious, Quantile(t.latencyMs, 0.5),
                    Quantile(t.latencyMs, 0.99), Quantile(t.latencyMs, 1.0));
        std::fflush(stdout);
    }
    return 0;
}
