// Notification latency, idle cost and throughput of the serial dispatcher, each measured
// in the same run beside a bare poll-and-read loop on the same pseudo-terminal. The
// figures are reported as counters: latencies in microseconds, the idle cost in percent
// of one core, throughput in MB/s, and the dispatcher's figure over the bare loop's.

#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench/notify_latency/Sides.h"
#include "bench/notify_latency/VoluntarySwitches.h"

namespace apd::bench {
namespace {

constexpr int Records = 2000;
// The two sides take turns in blocks, so that a change of the machine's load during the
// run weighs on both alike.
constexpr int Block = 100;

void Append(LatencyRun& to, const LatencyRun& from) {
    to.oneWay.insert(to.oneWay.end(), from.oneWay.begin(), from.oneWay.end());
    to.roundTrip.insert(to.roundTrip.end(), from.roundTrip.begin(), from.roundTrip.end());
    to.partial += from.partial;
    to.receiverSyscalls = to.receiverSyscalls < 0 || from.receiverSyscalls < 0
                              ? -1
                              : to.receiverSyscalls + from.receiverSyscalls;
    to.receiverSwitches += from.receiverSwitches;
}

template <class Side>
void Measure(LatencyRun& to, Side side, test::PtyPair& line, const Placement& placement) {
    const long before = VoluntarySwitches();
    LatencyRun run = side(line, Block, placement);
    run.switches = VoluntarySwitches() - before;
    to.switches += run.switches;
    Append(to, run);
}

// Argument 0: the threads run where the scheduler puts them; 1: the far end on CPU 0 and
// every receiving thread on CPU 1, as the comparison with other serial libraries runs them.
void BM_NotifyLatency(benchmark::State& state) {
    const Placement placement(state.range(0) != 0);
    for (auto _ : state) {
        test::PtyPair line;
        LatencyRun bare;
        LatencyRun disp;
        for (int done = 0; done < Records; done += Block) {
            Measure(bare, &BareLoopLatency, line, placement);
            Measure(disp, &DispatcherLatency, line, placement);
        }
        Placement(false).FarSide(); // free again for the benchmarks that follow
        const double bareMedian = Percentile(bare.oneWay, 0.5);
        const double dispMedian = Percentile(disp.oneWay, 0.5);
        const double bareRtMedian = Percentile(bare.roundTrip, 0.5);
        const double dispRtMedian = Percentile(disp.roundTrip, 0.5);
        state.counters["bare_median_us"] = bareMedian;
        state.counters["bare_p99_us"] = Percentile(bare.oneWay, 0.99);
        state.counters["disp_median_us"] = dispMedian;
        state.counters["disp_p99_us"] = Percentile(disp.oneWay, 0.99);
        state.counters["median_ratio"] = bareMedian > 0 ? dispMedian / bareMedian : 0;
        state.counters["bare_rt_median_us"] = bareRtMedian;
        state.counters["bare_rt_p99_us"] = Percentile(bare.roundTrip, 0.99);
        state.counters["disp_rt_median_us"] = dispRtMedian;
        state.counters["disp_rt_p99_us"] = Percentile(disp.roundTrip, 0.99);
        state.counters["rt_median_ratio"] = bareRtMedian > 0 ? dispRtMedian / bareRtMedian : 0;
        state.counters["records"] = static_cast<double>(disp.oneWay.size());
        state.counters["partial_records"] = disp.partial;
        // Sleeps per record: every one costs a wake-up (the dispatcher's include its
        // threads' start and end in each block).
        const double records = static_cast<double>(std::max<std::size_t>(disp.oneWay.size(), 1));
        state.counters["bare_sleeps_per_record"] = static_cast<double>(bare.switches) / records;
        state.counters["disp_sleeps_per_record"] = static_cast<double>(disp.switches) / records;
        // The receiving threads alone, over the records only (not the far end, nor the
        // open and close of each block): what each record costs the receiver.
        const auto perRecord = [](long count, const LatencyRun& run) {
            const auto n = static_cast<double>(std::max<std::size_t>(run.oneWay.size(), 1));
            return count < 0 ? -1.0 : static_cast<double>(count) / n;
        };
        state.counters["bare_syscalls_per_record"] = perRecord(bare.receiverSyscalls, bare);
        state.counters["disp_syscalls_per_record"] = perRecord(disp.receiverSyscalls, disp);
        state.counters["bare_switches_per_record"] = perRecord(bare.receiverSwitches, bare);
        state.counters["disp_switches_per_record"] = perRecord(disp.receiverSwitches, disp);
    }
}
BENCHMARK(BM_NotifyLatency)
    ->ArgName("pinned")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

void BM_IdleCost(benchmark::State& state) {
    const double seconds = 10;
    for (auto _ : state) {
        test::PtyPair line;
        const double cpu = DispatcherIdleCpu(line, seconds);
        state.counters["idle_cpu_ms"] = cpu * 1e3;
        state.counters["idle_core_percent"] = cpu / seconds * 100;
    }
}
BENCHMARK(BM_IdleCost)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Throughput(benchmark::State& state) {
    const std::size_t bytes = 50u * 1000u * 1000u;
    for (auto _ : state) {
        test::PtyPair line;
        // Turns, the best of each side: load from elsewhere only ever slows a run down.
        double bare = 1e9;
        double disp = 1e9;
        bool intact = true;
        // CPU time and sleeps over all rounds, which the machine's load blurs far less
        // than the elapsed time.
        double bareCpu = 0;
        double dispCpu = 0;
        long bareSleeps = 0;
        long dispSleeps = 0;
        for (int round = 0; round < 3; ++round) {
            double cpu = ProcessCpuSeconds();
            long sleeps = VoluntarySwitches();
            const double b = BareLoopThroughput(line, bytes);
            bareCpu += ProcessCpuSeconds() - cpu;
            bareSleeps += VoluntarySwitches() - sleeps;
            cpu = ProcessCpuSeconds();
            sleeps = VoluntarySwitches();
            const double d = DispatcherThroughput(line, bytes);
            dispCpu += ProcessCpuSeconds() - cpu;
            dispSleeps += VoluntarySwitches() - sleeps;
            intact = intact && b > 0 && d > 0;
            bare = std::min(bare, b > 0 ? b : 1e9);
            disp = std::min(disp, d > 0 ? d : 1e9);
        }
        state.counters["bare_MBps"] = static_cast<double>(bytes) / bare / 1e6;
        state.counters["disp_MBps"] = static_cast<double>(bytes) / disp / 1e6;
        state.counters["ratio"] = bare / disp;
        const double megabytes = 3 * static_cast<double>(bytes) / 1e6;
        state.counters["bare_cpu_ms_per_MB"] = bareCpu * 1e3 / megabytes;
        state.counters["disp_cpu_ms_per_MB"] = dispCpu * 1e3 / megabytes;
        state.counters["bare_sleeps_per_MB"] = static_cast<double>(bareSleeps) / megabytes;
        state.counters["disp_sleeps_per_MB"] = static_cast<double>(dispSleeps) / megabytes;
        state.counters["intact"] = intact ? 1 : 0; // no byte lost or reordered in any round
    }
}
BENCHMARK(BM_Throughput)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace apd::bench
