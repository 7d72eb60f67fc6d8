// Notification latency, idle cost and throughput of the serial dispatcher, each measured
// in the same run beside a bare poll-and-read loop on the same pseudo-terminal. The
// figures are reported as counters: latencies in microseconds, the idle cost in percent
// of one core, throughput in MB/s, and the dispatcher's figure over the bare loop's.

#include <benchmark/benchmark.h>

#include "bench/notify_latency/Sides.h"

namespace apd::bench {
namespace {

constexpr int Records = 2000;

void BM_NotifyLatency(benchmark::State& state) {
    for (auto _ : state) {
        test::PtyPair line;
        const LatencyRun bare = BareLoopLatency(line, Records);
        const LatencyRun disp = DispatcherLatency(line, Records);
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
    }
}
BENCHMARK(BM_NotifyLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

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
        const double bare = BareLoopThroughput(line, bytes);
        const double disp = DispatcherThroughput(line, bytes);
        state.counters["bare_MBps"] = bare > 0 ? static_cast<double>(bytes) / bare / 1e6 : 0;
        state.counters["disp_MBps"] = disp > 0 ? static_cast<double>(bytes) / disp / 1e6 : 0;
        state.counters["ratio"] = bare > 0 && disp > 0 ? bare / disp : 0;
        state.counters["disp_intact"] = disp > 0 ? 1 : 0;
    }
}
BENCHMARK(BM_Throughput)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace apd::bench
