// The time one store into the durable journal takes with its full sync: a journal row
// committed (WAL, synchronous=FULL), and a received record kept, each RUNS times (1000 by
// default) into a fresh database in a scratch folder of FOLDER (default the system's
// temporary folder: pass a folder on the disk that matters, e.g. the laboratory share).
//
//   journal_store_bench [RUNS [FOLDER]]

#include "app/journal/JournalStore.h"
#include "tests/support/files/ScratchFolder.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace vorsilan::app;

namespace {

double Quantile(std::vector<double> values, double q) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(q * values.size()))];
}

// Milliseconds per call, or nothing when a call failed.
std::vector<double> Time(unsigned runs, const std::function<bool()>& store) {
    std::vector<double> ms;
    for (unsigned i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!store()) {
            return {};
        }
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return ms;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    const unsigned runs = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 1000;
    if (runs == 0) {
        std::fprintf(stderr, "usage: journal_store_bench [RUNS [FOLDER]]\n");
        return 2;
    }
    if (argc > 2) {
        qputenv("TMPDIR", argv[2]);
    }
    const apd::testing::ScratchFolder folder("journal-bench-");
    journal::JournalStore store(QString::fromStdString(folder.File("journal.sqlite")));
    if (!store.Open()) {
        std::fprintf(stderr, "journal_store_bench: %s\n", store.LastError().toUtf8().constData());
        return 1;
    }
    JournalRow row{"12345", "Иванов И.И.", "5,56", "", "", "08.12.2026", "10:15:30", "Петрова"};
    const journal::Arrival arrival{{0xAA, 0x55, 0x39, 0x30}, QDateTime::currentDateTime(), "COM7"};
    int number = 0;
    const struct {
        const char* name;
        std::function<bool()> store;
    } kinds[] = {
        {"journal row",
         [&] { return store.AddRow(++number, row, arrival, std::nullopt).has_value(); }},
        {"received record", [&] { return store.AddReceived(arrival).has_value(); }},
    };
    std::printf("%u stores each into %s (WAL, synchronous=FULL)\n", runs,
                store.Path().toUtf8().constData());
    std::printf("%-16s %10s %10s %10s (ms)\n", "store", "median", "p99", "max");
    for (const auto& kind : kinds) {
        const std::vector<double> ms = Time(runs, kind.store);
        if (ms.empty()) {
            std::fprintf(stderr, "journal_store_bench: %s\n",
                         store.LastError().toUtf8().constData());
            return 1;
        }
        std::printf("%-16s %10.3f %10.3f %10.3f\n", kind.name, Quantile(ms, 0.5),
                    Quantile(ms, 0.99), Quantile(ms, 1.0));
    }
    return 0;
}
