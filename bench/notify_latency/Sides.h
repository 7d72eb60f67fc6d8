#pragma once
// The two readers measured side by side on one pseudo-terminal: a bare poll-and-read
// loop on its own thread, and the serial dispatcher delivering to a window handler on a
// thread that pumps its queue.

#include <cstddef>
#include <cstdint>
#include <string>

#include "bench/notify_latency/FarStream.h"
#include "bench/notify_latency/Measure.h"
#include "bench/notify_latency/Placement.h"
#include "tests/support/pty/PtyPair.h"

namespace apd::bench {

// `records` records, each written by the far end after the answer to the previous one,
// with the threads placed as `placement` says.
LatencyRun BareLoopLatency(test::PtyPair& line, int records, const Placement& placement);
LatencyRun DispatcherLatency(test::PtyPair& line, int records, const Placement& placement);

// Seconds to move `bytes` bytes from the far end through the reader, which checks that
// every byte arrives in order; negative when bytes were lost or reordered.
double BareLoopThroughput(test::PtyPair& line, std::size_t bytes);
double DispatcherThroughput(test::PtyPair& line, std::size_t bytes);

// The CPU time (seconds) the whole process uses over `seconds` with the port open and
// no traffic.
double DispatcherIdleCpu(test::PtyPair& line, double seconds);

} // namespace apd::bench
