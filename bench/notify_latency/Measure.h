#pragma once
// What the notification benchmarks share: the analyser's record, timing, percentiles.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

namespace apd::bench {

using Clock = std::chrono::steady_clock;

// The analyser's 26-byte result record: the header 0xAA 0x55 and 24 bytes of data that
// never contain the header.
inline std::string ResultRecord(unsigned n) {
    std::string record("\xAA\x55", 2);
    for (unsigned i = 0; i < 24; ++i) {
        record.push_back(static_cast<char>((n + i) % 100));
    }
    return record;
}

inline double Percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

inline double Microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

inline double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Latencies of one side, in microseconds.
struct LatencyRun {
    std::vector<double> oneWay;    // far end writes the record -> the reader has it
    std::vector<double> roundTrip; // far end writes the record -> it has the one-byte answer
    int partial = 0;               // records found incomplete when the reader ran
    long switches = 0;             // voluntary context switches of the whole process
    // The receiving threads alone (not the far end) over the records: system calls (-1
    // when they cannot be counted) and voluntary context switches.
    long receiverSyscalls = 0;
    long receiverSwitches = 0;
};

} // namespace apd::bench
