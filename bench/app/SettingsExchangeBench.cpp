// Wall and CPU time of the engineering exchange against the simulator in the same process,
// answering at once: the read (command to the dialog filled), the write (save pressed to
// the last answer taken) and the whole exchange including the port's close and reopen.
// CPU is given for the GUI thread and for the whole process (the port's threads and the
// simulator's included), next to the time the bytes alone take on the line at 115200 baud.
//
//   settings_exchange_bench [RUNS [paced]]   (default 20 runs; offscreen, a private port
//   directory; "paced": the simulator sends one byte per character time at 115200 baud)

#include "app/Main.h"
#include "app/SetupDialog.h"
#include "bench/app/QuietPrompts.h"
#include "tools/simulator/AnalyserSimulator.h"

#include <QApplication>
#include <QPushButton>
#include <QTemporaryDir>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

using namespace vorsilan;

namespace {

double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct Sample {
    double wall = 0, gui = 0, process = 0;
};

struct Stamp {
    double wall = Seconds(CLOCK_MONOTONIC);
    double gui = Seconds(CLOCK_THREAD_CPUTIME_ID);
    double process = Seconds(CLOCK_PROCESS_CPUTIME_ID);
    Sample Since(const Stamp& start) const {
        return {wall - start.wall, gui - start.gui, process - start.process};
    }
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void Print(const char* what, const std::vector<Sample>& samples, double lineMs) {
    std::vector<double> wall, gui, process;
    for (const Sample& s : samples) {
        wall.push_back(s.wall * 1e3);
        gui.push_back(s.gui * 1e3);
        process.push_back(s.process * 1e3);
    }
    std::printf("%-9s wall median %7.2f ms (min %7.2f, max %7.2f)  CPU GUI thread %6.2f ms, "
                "process %6.2f ms  line time %5.1f ms\n",
                what, Median(wall), *std::min_element(wall.begin(), wall.end()),
                *std::max_element(wall.begin(), wall.end()), Median(gui), Median(process), lineMs);
}

} // namespace

int main(int argc, char* argv[]) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir ports;
    qputenv("VORSILAN_PORT_DIR", ports.path().toLocal8Bit());
    // A journal of its own, never the user's.
    qputenv("VORSILAN_JOURNAL_DB", ports.filePath("journal.sqlite").toLocal8Bit());
    QApplication application(argc, argv);

    sim::SimulatorOptions options;
    options.comNumber = 7;
    options.portDir = ports.path().toStdString();
    const bool paced = argc > 2 && std::string_view(argv[2]) == "paced";
    options.pacingBaud = paced ? 115200 : 0;
    sim::AnalyserSimulator simulator(options);
    auto prompts = std::make_unique<bench::QuietPrompts>();
    bench::QuietPrompts& quiet = *prompts;
    app::TForm1 form(std::move(prompts));

    std::vector<Sample> reads, writes, wholes;
    for (int run = 0; run < runs; ++run) {
        const Stamp start;
        form.SettingsOptions.runDialog = [&](app::TFSetup& dialog) {
            reads.push_back(Stamp().Since(start));
            const Stamp save;
            dialog.Button1->click();
            writes.push_back(Stamp().Since(save));
        };
        form.N3Click();
        wholes.push_back(Stamp().Since(start));
    }
    if (quiet.errors != 0 || reads.size() != std::size_t(runs) ||
        writes.size() != std::size_t(runs) ||
        !simulator.WaitForBlockWrites(std::size_t(runs), std::chrono::seconds(10))) {
        std::fprintf(stderr, "the exchanges did not all complete\n");
        return 1;
    }
    // 10 bits a byte at 115200 baud. The read's two command bytes overlap nothing worth
    // counting: 2 + 1 + 256 bytes in turn. The write alternates: 2 + 256 bytes out and 256
    // answers, each waiting for the one before.
    const double byteMs = 10.0 / 115200 * 1e3;
    std::printf("%d runs, simulator answering at once%s\n", runs,
                paced ? ", its bytes paced to 115200 baud" : "");
    Print("read", reads, (2 + 1 + 256) * byteMs);
    Print("write", writes, (2 + 256 + 256) * byteMs);
    Print("exchange", wholes, (2 + 1 + 256 + 2 + 256 + 256) * byteMs);
    return 0;
}
